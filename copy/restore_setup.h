// Restore's preparation of the drive: rewind, buffered mode 1, and a check that the drive
// takes records as short as one byte.
#pragma once

#include "copy/restore_request.h"

// UNIT ATTENTION is answered by sending the command again, this many times in all; a drive
// that keeps answering it is given up as failed.
constexpr int restore_setup_tries = 100;

// false once the failure has been reported.
bool prepare_restore_drive(const restore_target_t& target);
