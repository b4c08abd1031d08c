// Two questions to a SCSI drive that leave the tape where it is: where it stands (READ POSITION)
// and the longest record it takes (READ BLOCK LIMITS). The request block goes at the start of
// buffer, the answer behind it at byte 512.
#pragma once

#include <cstdint>

#include "tapeio/tape_io_handle.h"

// The block the drive stands before, counted from the beginning (records and marks alike).
// false when the drive gave no answer or said it does not know.
bool spti_read_position(tape_io_handle_t* handle, uint8_t* buffer, uint32_t& block);

// The drive's maximum record length (false for 0, which names none). A UNIT ATTENTION (a new tape) is asked again, up to 100
// times in all; false when no answer came.
bool spti_read_block_limits(tape_io_handle_t* handle, uint8_t* buffer, uint32_t& maximum);
