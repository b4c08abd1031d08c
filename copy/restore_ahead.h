// A restore whose container file is read ahead of the drive, through a ring: the file is read on
// the ring's thread and each block, or what ended the reading, goes to the drive in order.
#pragma once

#include <cstdio>

#include "copy/container_reader.h"
#include "copy/record_ring.h"

struct restore_entry_t {
    container_read_t outcome = container_read_t::end;
    container_header_t header;
    uint8_t* data = nullptr;  // a record's bytes
    int error = 0;            // errno after the read
    int64_t at = -1;          // at the end: where the file stood
};

using restore_ring_t = record_ring_t<restore_entry_t>;

// The drive begins, and begins again after the ring ran empty, when it is three quarters full,
// so that it streams; the file is read again as soon as there is room.
constexpr ring_marks_t restore_marks = {75, 100, 0};

// Reads the next block into room (capacity bytes).
void read_restore_entry(FILE* file, uint8_t* room, uint32_t capacity, restore_entry_t& entry);

// Reads file into the ring on the ring's thread up to what ends the reading; the file belongs to
// that thread until the ring is joined.
void start_restore_ahead(FILE* file, uint32_t capacity, restore_ring_t& ring);
