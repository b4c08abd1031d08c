// "/progress": one status line on standard error while it is a terminal: tape file, records,
// bytes, the recent rate and the elapsed time. It is erased before every message line and at the
// end, so the screen keeps exactly the messages.
#pragma once

#include <cstdint>

// Begins a count; draws only with the option and a terminal on standard error.
void progress_start();
// After each record (length bytes) or tape mark (0) copied. Redraws at most four times a second.
void progress_block(uint32_t length);
// Before a message line: takes the status line off the screen.
void progress_erase();
// At the end of the copy: erases the line and stops counting.
void progress_end();

class ring_space_t;
// "/buffer=": the line shows how full the ring is; nullptr when the copy goes without one.
void progress_show_ring(ring_space_t* ring);

// Where the system has a signal asking for one status line (SIGUSR1 on Linux), set at start-up:
// begin holds the signal back so that it never cuts a request short (only with "/progress"),
// taken tells whether it came since the last look.
struct progress_request_t {
    void (*begin)() = nullptr;
    bool (*taken)() = nullptr;
};

extern progress_request_t progress_request;
