// A small file system of a test's own: a tmpfs seen only by a child process.
#pragma once

#include <functional>
#include <string>

// Runs body in a child process with a tmpfs of mib MiB mounted on the existing directory
// mountpoint (in a mount namespace of its own, so nothing outlives the child). Returns body's
// result, or -1 when this system lets no process mount one (no privileges, no namespaces).
int with_small_tmpfs(const std::string& mountpoint, unsigned mib, const std::function<int()>& body);
