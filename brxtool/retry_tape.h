// retry's work on the tape: each run of lost records is read once more where it stands, after the
// record next to it has been read again and found equal to the image's copy.
#pragma once

#include <cstdint>
#include <vector>

#include "brxtool/tape.h"
#include "copy/dump_read.h"

struct lost_record_t {
    uint64_t block = 0, file = 0, record = 0;
    uint64_t offset = 0;  // in the image, for the messages
    // What this pass found: still nothing (with the sense of its last failure, when it failed
    // again), or the record or a tape mark after all.
    enum class found_t { nothing, record, mark } found = found_t::nothing;
    bool failed_again = false;
    dump_sense_t sense;
    std::vector<uint8_t> data;
};

// Lost records in a row, and the whole block next to them: the one before, or for a run at the
// beginning of the tape the one after (none when the image ends there).
struct lost_run_t {
    size_t first = 0, count = 0;  // in the list of lost records
    bool has_neighbour = false, neighbour_after = false;
    uint64_t neighbour_block = 0, neighbour_file = 0, neighbour_record = 0, neighbour_offset = 0;
    bool neighbour_mark = false;
    std::vector<uint8_t> neighbour;  // the image's copy of a record
};

enum class retry_outcome_t { read, other_tape, unverified };

// Reads the runs from drive with reads further attempts at each record. other_tape (reported)
// when a neighbour differs from the image's copy; unverified when no neighbour could be read.
retry_outcome_t read_lost_runs(tape_t& drive, int32_t reads, const std::vector<lost_run_t>& runs,
                               std::vector<lost_record_t>& lost);
