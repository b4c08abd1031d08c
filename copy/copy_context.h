// What dump and restore take from the program that runs them; the front end fills it before dispatch.
#pragma once

#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

constexpr uint32_t transfer_buffer_size = 65536;

struct copy_context_t {
    FILE* log_stream = nullptr;      // messages of dump and restore are copied here when not null
    int32_t bad_block_reads = 0;     // further read attempts for a record whose read failed
    uint8_t* buffer = nullptr;       // the page-aligned transfer buffer, transfer_buffer_size bytes
    // The front end's message services: report writes one formatted message to standard error
    // and the same bytes to the log; system_error_text gives the system's text for an error code.
    void (*report)(const char* format, ...) = nullptr;
    const char* (*system_error_text)(DWORD code) = nullptr;
    bool dump_file_created = false;  // set by dump once it has created the dump file
};

extern copy_context_t copy_context;
