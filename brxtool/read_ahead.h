// --buffer=: a device read by a thread of its own into a ring, ahead of the command that takes its
// blocks, so that the drive streams while the command works. read_block takes the blocks from
// there in order, each with what the driver answered for it.
#pragma once

#include <cstdint>

#include "brxtool/arguments.h"
#include "copy/record_ring.h"
#include "tapeio/tape_io_handle.h"

struct tape_t;

struct device_entry_t {
    int32_t result = 0;
    uint32_t last_error = 0;
    uint8_t* buffer = nullptr;  // the driver's request block, then the record's data at data_at
};


struct read_ahead_t {
    read_ahead_t(uint8_t* memory, uint64_t size, uint32_t room);  // memory: size + room bytes, freed here
    ~read_ahead_t();
    uint8_t* memory;
    record_ring_t<device_entry_t> ring;
    tape_io_handle_t handle;  // the reading thread's; the tape's own stays with the command
};

// Starts reading ahead on a device when --buffer=MiB was given (images go on as they are).
// false, after saying why, for a bad value or too little memory.
bool read_ahead_as_asked(const arguments_t& arguments, tape_t& tape);

// Starts reading the device ahead into a ring of mib MiB (library mode's default is 64). false,
// after saying why, when there is no memory for it. The reading stops by itself after the end or
// a failure; stop_read_ahead stops it before anything else is asked of the drive.
bool start_read_ahead(tape_t& tape, uint32_t mib);

// The next block's driver result; data is its bytes, the driver's request block (the sense of a
// failed read) is copied to the tape's own buffer and its error code to its handle. The reading
// stops after a failure or the end.
int32_t take_read_ahead(tape_t& tape, uint8_t*& data);

// Stops the reading; the tape's handle stands where the reading left the drive.
void stop_read_ahead(tape_t& tape);
