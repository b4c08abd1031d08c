// The process-wide state the front end owns for the whole run.
#pragma once

#include <cstdint>
#include <cstdio>

#include "copy/copy_context.h"

struct front_end_state_t {
    FILE* log_stream = nullptr;   // "/log=": dump's and restore's messages are copied here
    int32_t bad_block_reads = 0;  // "/reads=": further attempts at a record that fails to read
    uint8_t ignore = 0;           // "/ignore": keep the dump file after a failed read
    uint8_t* buffer_base = nullptr;  // as allocated, for freeing
    uint8_t* buffer = nullptr;       // what dump, restore and the drivers work in
};

extern front_end_state_t front_end;

extern const uint32_t buffer_size;
extern const char log_option[];
extern const char reads_option[];
extern const char ignore_option[];
