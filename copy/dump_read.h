// Reading one record for dump, with the further attempts that "/reads=" allows.
#pragma once

#include <cstdint>

#include "copy/dump_restore_output.h"
#include "tapeio/tape_io.h"
#include "tapeio/tape_io_handle.h"

// read_dump_record's results besides a record length (0 for a tape mark).
constexpr int32_t dump_end_of_data = -9;  // the SCSI driver's answer behind the last recorded data
constexpr int32_t dump_read_failed = -1;  // reported already; the dump has failed
// Dump's own results lie below every driver result, so that a failed read is never taken for one.
constexpr int32_t dump_record_too_long = -100;  // longer than the data area behind the data offset
constexpr int32_t dump_record_skipped = -101;   // "/skip": reported; the tape stands behind the record
constexpr int32_t dump_gave_up = -102;          // "/skip": too many unreadable records in a row

// "/skip" stops after this many unreadable records in a row.
constexpr uint32_t dump_skips_in_a_row = 1000;

// Sense key, ASC and ASCQ of a failed read; all 0 when the failure carried no sense.
struct dump_sense_t {
    uint8_t key = 0, asc = 0, ascq = 0;
};

// The sense of the last request laid at the start of buffer (a SCSI driver's transfer buffer).
dump_sense_t sense_of_last_request(uint8_t* buffer);

struct skipped_record_t {
    uint32_t block = 0;   // from the beginning of the tape, records and marks alike
    uint32_t file = 0;    // from 0
    uint32_t record = 0;  // within its file, from 1
    uint64_t offset = 0;  // where the dump file goes on without it
    dump_sense_t sense;
};

// Where the reading stands; reset by start_dump_reading.
struct dump_walk_t {
    uint32_t file = 0;    // tape marks read
    uint32_t record = 0;  // records of the current file, skipped ones included
    uint32_t skipped = 0;
    uint32_t skipped_in_a_row = 0;
    skipped_record_t last_skipped;  // the record of the last dump_record_skipped
    dump_sense_t last_sense;        // of the last read that did not give a record or mark
};

// What a dump does with records that will not read.
struct rescue_options_t {
    int32_t reads = 0;            // further attempts at a record whose read failed
    uint32_t longest_record = 0;  // the longest record to copy ("/block="); 0: what the buffer holds
    bool skip = false;            // go on past records that stay unreadable
};

// One drive read for a dump: brx has one, brxtool one per drive and thread.
struct dump_reader_t {
    tape_io_t* driver = nullptr;
    tape_io_handle_t* handle = nullptr;
    uint8_t* buffer = nullptr;  // buffer_size bytes: the driver's own bytes, then the record's data
    uint32_t buffer_size = 0;
    rescue_options_t options;
    message_target_t messages;
    dump_walk_t walk;
    int32_t last_length = 0;  // what the driver gave for the last read, a too long record's true length
};

void start_dump_reading(dump_reader_t& reader);

// Reads the next record into the buffer at the driver's data offset. Retries a failed read as
// often as the attempt count allows, without moving the tape (with "/skip" in front of the
// record each time), and reports each attempt; dump_offset, the dump file's size so far, is only
// the offset those messages give.
int32_t read_dump_record(dump_reader_t& reader, uint64_t dump_offset);
