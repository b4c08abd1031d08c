// One progress line per drive on standard error while it is a terminal, redrawn in place.
#pragma once

#include <chrono>
#include <vector>

#include "brxtool/library.h"

class library_progress_t {
public:
    explicit library_progress_t(library_t& library);
    ~library_progress_t();  // erases the lines
    library_progress_t(const library_progress_t&) = delete;
    library_progress_t& operator=(const library_progress_t&) = delete;

    void paint();

private:
    using clock = std::chrono::steady_clock;
    std::string line_of(library_drive_t& drive, size_t index, double seconds);
    void erase();

    library_t& library;
    bool terminal;
    bool in_place = true;  // the terminal takes escape sequences: one line per drive
    size_t shown = 0;      // lines on the screen
    clock::time_point last;
    std::vector<uint64_t> last_bytes;
};
