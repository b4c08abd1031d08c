// Starting a program in the background on Linux, the one runner every test that forks uses.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct spawn_t {
    std::string program;
    std::vector<std::string> arguments;
    std::string directory;
    std::vector<std::pair<std::string, std::string>> variables;  // set in the child only
    int output = -1, error = -1;  // descriptors for its standard output and error; -1: /dev/null
    uint64_t file_limit = 6ull << 30;  // a write beyond fails with EFBIG, as on a full disk
    unsigned timeout_seconds = 300;    // then it is killed
    int* terminal = nullptr;  // given: it runs on a new pseudo-terminal whose master end lands here
};

// The child's process id, or -1.
pid_t spawn(const spawn_t& how);
// Its exit status, or -1 when it ended by a signal.
int finish(pid_t child);
// What a temporary file holds (written by a child through its descriptor); closes it.
std::string contents_of(FILE* stream);
