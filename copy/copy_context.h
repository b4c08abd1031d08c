// What dump and restore take from the program that runs them; the front end fills it before dispatch.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"

constexpr uint32_t transfer_buffer_size = 65536;

struct copy_context_t {
    FILE* log_stream = nullptr;      // messages of dump and restore are copied here when not null
    int32_t bad_block_reads = 0;     // further read attempts for a record whose read failed
    uint8_t* buffer = nullptr;       // the page-aligned transfer buffer, buffer_size bytes
    // The front end's message services: report writes one formatted message to standard error
    // and the same bytes to the log; system_error_text gives the system's text for an error code.
    void (*report)(const char* format, ...) = nullptr;
    const char* (*system_error_text)(DWORD code) = nullptr;
    bool dump_file_created = false;  // set by dump once it has created the dump file
    bool dump_file_kept = false;     // set by dump when records were skipped: the file stays
    std::string bad_list_created;    // the list of skipped records dump created; it goes with the dump file
    const char* log_name = nullptr;  // the log file's name, when one is open
    // The extension options; their defaults leave every behaviour as without them.
    uint32_t buffer_size = transfer_buffer_size;  // grows with "/block="
    uint32_t longest_record = 0;     // "/block=": 0 when not given
    bool skip = false;               // "/skip": dump goes on past records that stay unreadable
    const char* bad_list = nullptr;  // "/bad=": where the list of skipped records goes
    bool strict = false;             // "/strict": an incomplete copy ends with status 4
    bool progress = false;           // "/progress": a status line while standard error is a terminal
    bool manifest = false;           // "/manifest": the dump file's manifest beside it at the end
    std::vector<std::string> command_line;  // as typed, and when the run started: for the manifest
    int64_t started = 0;
    // "/buffer=": the ring between drive and file, ring_size bytes and room for one transfer buffer
    // more; 0 and null without the option.
    uint64_t ring_size = 0;
    uint8_t* ring = nullptr;
};

// Exit statuses of the extension options.
constexpr int status_records_skipped = 2;
constexpr int status_incomplete = 4;

constexpr uint32_t longest_block_option = 0xFFFFFF;  // the 24-bit length of READ(6) and WRITE(6)
constexpr uint32_t largest_ring_mib = 4096;          // "/buffer=" and brxtool's "--buffer="

extern copy_context_t copy_context;
