// Two questions to a SCSI drive that leave the tape where it is: where it stands (READ POSITION)
// and the longest record it takes (READ BLOCK LIMITS); and LOCATE, which goes to a block. The
// request block goes at the start of buffer, the answer behind it at byte 512.
#pragma once

#include <cstdint>

#include "tapeio/tape_io_handle.h"

// The block the drive stands before, counted from the beginning (records and marks alike).
// false when the drive gave no answer or said it does not know.
bool spti_read_position(tape_io_handle_t* handle, uint8_t* buffer, uint32_t& block);

// The drive's maximum record length (false for 0, which names none). A UNIT ATTENTION (a new tape) is asked again, up to 100
// times in all; false when no answer came.
bool spti_read_block_limits(tape_io_handle_t* handle, uint8_t* buffer, uint32_t& maximum);

// LOCATE(10) to the block counted from the beginning (records and marks alike), in partition 0.
// false when the drive refused it (some have none) or failed; the tape may then stand anywhere.
// The handle's block count is left as it was: whoever asks checks with READ POSITION.
bool spti_locate(tape_io_handle_t* handle, uint8_t* buffer, uint32_t block);
