// A progress line on standard error, rewritten in place: only when standard error is a terminal,
// and only once the command has run for a few seconds. Whatever else the command prints while it
// runs is printed after clear(), so that no part of the line stays on the screen.
#pragma once

#include <chrono>
#include <cstdint>

class progress_t {
public:
    explicit progress_t(const char* command, bool drawn = true);
    ~progress_t() { clear(); }
    progress_t(const progress_t&) = delete;
    progress_t& operator=(const progress_t&) = delete;

    void update(uint64_t bytes, uint64_t records);
    void clear();

private:
    using clock = std::chrono::steady_clock;
    const char* command;
    bool terminal;
    bool shown = false;
    clock::time_point start, next;
};

// Erases the line this thread's progress_t has drawn, if any: for a message printed where the
// command's own code does not see it (a failed read, reported as it happens).
void clear_progress_line();
