// The program's entry: options, transfer buffer, dump or restore, exit status.
#pragma once

#include "platform/platform.h"

// What a run copies with; tests put their own in place of dump_tape, restore_tape and the
// system's allocation of the transfer buffer.
struct copy_operations_t {
    int (*dump)(char* device_name, char* file_name);
    int (*restore)(char* file_name, char* device_name);
    decltype(&VirtualAlloc) allocate = VirtualAlloc;
};

// Returns the exit status: 0, 1 (bad option, no direction, failed copy), 2 (records skipped),
// 3 (no buffer) or 4 (an incomplete copy under "/strict").
int brx_main(int argc, char** argv);
int run_front_end(int argc, char** argv, const copy_operations_t& operations);

// A device path begins with \\.\ exactly; every other argument names a file.
bool is_device_path(const char* argument);
