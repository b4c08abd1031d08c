// Restore's record loop: every block of the container file becomes a record or a tape mark.
#pragma once

#include <cstdio>

#include "copy/restore_request.h"

// Our own number for a header longer than the transfer buffer (the other messages of restore
// leave it free).
constexpr int restore_too_long_number = 1110;

// Copies the blocks from the file's position to its end or to the first failure, each failure
// reported. Returns 1 only for a header too long for the transfer buffer, 0 otherwise; with
// "/strict", 4 for every other stop before the end of the file.
int copy_restore_records(const restore_target_t& target, FILE* file, const char* file_name);
