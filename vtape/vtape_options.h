// The options of a virtual tape: "PATH?opt&opt...", so tests and users can reproduce real faults.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

struct vtape_bad_block_t {
    uint32_t index = 0;      // block index from the beginning, records and marks counted alike
    uint32_t failures = 0;   // reads that still fail; ignored when always
    bool always = true;
};

struct vtape_options_t {
    std::string medium_path;
    std::vector<vtape_bad_block_t> bad_blocks;
    uint32_t min_block = 1;
    uint32_t max_block = 0xFFFFFF;
    uint8_t buffered_mode = 1;
    uint8_t speed = 0;
    uint64_t capacity = 0;       // medium file bytes, headers included; 0: unlimited
    uint64_t early_warning = 0;  // bytes before capacity where writes report EOM
    uint32_t attention = 0;      // commands that answer UNIT ATTENTION first
    bool not_ready = false;
    bool write_protected = false;
    std::string trace_path;      // empty: no trace
    uint8_t devconfig8 = 0x40;   // Device Configuration page byte 8 before any MODE SELECT (BIS)
    uint8_t changeable8 = 0x1C;  // ...and which of its bits MODE SELECT may change (AVC, SOCF)
};

// Splits "PATH?OPTIONS" and reads the options. Returns NO_ERROR, or ERROR_INVALID_PARAMETER with
// the reason in why (when given), e.g. "unknown option 'colour=red'".
DWORD parse_vtape_spec(const char* spec, vtape_options_t& options, std::string* why);
