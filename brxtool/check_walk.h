// What check's walks over an image share: reads at offsets, the faults found, and the repaired
// copy that receives every whole record.
#pragma once

#include <cstdint>
#include <string>

#include "brxtool/progress.h"
#include "brxtool/tape.h"

struct check_walk_t {
    tape_t& image;
    tape_t* repair = nullptr;  // the copy being written, when --repair asked for one
    uint64_t faults = 0;
    uint64_t blocks = 0;        // blocks passed forwards
    uint64_t end = 0;           // where the last whole block ends
    uint64_t last_header = 1;   // brx and aws: the header of the last whole block's last part (1: none)
    uint32_t fill = 0;          // data gathered for the record being kept
    bool failed = false;        // a read or write failed: trouble, not damage
    progress_t progress{"check"};

    // Exactly length bytes at offset; false (and failed) when the file cannot give them.
    bool read_at(uint64_t offset, uint8_t* buffer, uint32_t length);
    void fault(uint64_t offset, const std::string& text);
    // Said when repairing: what the copy cannot hold.
    void lost(uint64_t from, uint64_t to, const std::string& what);
    // Adds length bytes at offset to the record being kept; false when it cannot be kept whole.
    bool gather(uint64_t offset, uint32_t length);
    void keep_record(bool bad);
    void keep_mark();
    void drop_record() { fill = 0; }
};

// The forward walks, one per format; each stops at the first fault it cannot walk past.
void walk_brx(check_walk_t& walk);
void walk_simh(check_walk_t& walk, bool padded);
void walk_aws(check_walk_t& walk, bool het);
