// A dump whose drive is read ahead of the writing, through a ring: the drive is read on the ring's
// thread, and each record's result goes to the writing side in tape order, with the messages said
// while reading it, so that they come out in the order and with the offsets of a dump without one.
#pragma once

#include <vector>

#include "copy/dump_read.h"
#include "copy/record_ring.h"

struct dump_entry_t {
    int32_t length = 0;        // read_dump_record's result
    uint8_t* data = nullptr;   // the record's bytes; the driver's own bytes in front are free to use
    skipped_record_t skipped;  // for dump_record_skipped and dump_gave_up
    std::vector<held_message_t> messages;
};

using dump_ring_t = record_ring_t<dump_entry_t>;

// Reads the next record into the reader's buffer as entry; offset is the dump file's size before
// it, and grows by the block the record makes there.
void read_dump_entry(dump_reader_t& reader, uint64_t& offset, dump_entry_t& entry);

// The file is written once the ring holds 2% of its size, or a record has waited 50 ms (a drive
// retrying a bad record holds nothing back); a drive that found the ring full waits until half of
// it is free again, so that it stops seldom and then streams long.
constexpr ring_marks_t dump_marks = {2, 50, 50};

// Reads the drive into the ring on the ring's thread, for a dump file written from offset 0, up to
// the entry that ends the reading. reader belongs to that thread until the ring is joined.
void start_dump_ahead(dump_reader_t& reader, dump_ring_t& ring);

// The next entry, its messages put out to messages first. false when the ring was stopped.
bool take_dump_entry(dump_ring_t& ring, const message_target_t& messages, dump_entry_t& entry);
