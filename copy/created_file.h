// What brx and brxtool remove after a failure: a file the run created (or truncated) only while
// it is a regular file, never a pipe, a device, a directory or a symbolic link (nor the link's
// target, which the run wrote through it).
#pragma once

// true when name was such a file and is now removed.
bool remove_created_file(const char* name);
