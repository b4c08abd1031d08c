// The process-wide state the front end owns for the whole run.
#pragma once

#include <cstdint>
#include <cstdio>

#include "copy/copy_context.h"

struct front_end_state_t {
    FILE* log_stream = nullptr;   // "/log=": dump's and restore's messages are copied here
    const char* log_name = nullptr;  // the name log_stream was opened with
    int32_t bad_block_reads = 0;  // "/reads=": further attempts at a record that fails to read
    uint8_t ignore = 0;           // "/ignore": keep the dump file after a failed read
    uint32_t longest_record = 0;     // "/block=": the longest record to copy; 0 when not given
    bool skip = false;               // "/skip"
    const char* bad_list = nullptr;  // "/bad=": the file for the list of skipped records
    bool strict = false;             // "/strict"
    bool progress = false;           // "/progress"
    bool manifest = false;           // "/manifest"
    uint32_t ring_mib = 0;           // "/buffer=": the ring between drive and file; 0 without one
    uint8_t* buffer_base = nullptr;  // as allocated, for freeing
    uint8_t* buffer = nullptr;       // what dump, restore and the drivers work in
    uint8_t* ring = nullptr;         // "/buffer=": the ring's memory, as allocated
};

extern front_end_state_t front_end;

extern const uint32_t buffer_size;
extern const char log_option[];
extern const char reads_option[];
extern const char ignore_option[];
extern const char block_option[];
extern const char bad_option[];
extern const char skip_option[];
extern const char strict_option[];
extern const char progress_option[];
extern const char manifest_option[];
extern const char buffer_option[];

// The transfer buffer for a "/block=" value (0: none): 65,536 bytes, or the longest record and the
// request block in front of it when that is more.
uint32_t transfer_buffer_for(uint32_t longest_record);
