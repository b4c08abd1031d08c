// One function per SCSI command: each lays a fresh request block at the start of buffer.
#pragma once

#include <cstdint>

#include "tapeio/spti_request.h"

namespace spti_timeout {
constexpr uint32_t one_block = 60;      // single records and marks, counted spaces, mode pages
constexpr uint32_t long_move = 86400;   // rewind, erase, flush, unload, file spaces: a whole tape
}  // namespace spti_timeout

// Largest count of a six-byte SPACE or transfer length: 24 bits, signed for SPACE.
constexpr uint32_t spti_max_space_count = 0x7FFFFF;

// A block with the CDB (at most 16 bytes; the rest stays zero) and time-out, no data phase.
spti_request_t* new_command(tape_io_handle_t* handle, uint8_t* buffer, const uint8_t* cdb, uint8_t cdb_length,
                            uint32_t timeout);
void set_data_phase(spti_request_t* request, uint8_t direction, uint8_t* data, uint32_t length);

// READ(6), variable block, SILI clear: one record of at most length bytes into data.
spti_request_t* read6_command(tape_io_handle_t* handle, uint8_t* buffer, uint8_t* data, uint32_t length);
// WRITE(6), variable block: one record of length bytes from data (its low 24 bits in the CDB).
spti_request_t* write6_command(tape_io_handle_t* handle, uint8_t* buffer, uint8_t* data, uint32_t length);
// WRITE FILEMARKS(6); a count of 0 only writes out the drive's buffer.
spti_request_t* write_filemarks_command(tape_io_handle_t* handle, uint8_t* buffer, uint8_t count, uint32_t timeout);
// SPACE(6) over blocks; a negative count moves backward (24-bit two's complement).
spti_request_t* space_blocks_command(tape_io_handle_t* handle, uint8_t* buffer, int32_t count, uint32_t timeout);
spti_request_t* rewind_command(tape_io_handle_t* handle, uint8_t* buffer);
// ERASE(6) with LONG set: from here to the end of the medium.
spti_request_t* erase_long_command(tape_io_handle_t* handle, uint8_t* buffer);
// LOAD UNLOAD with LOAD clear.
spti_request_t* unload_command(tape_io_handle_t* handle, uint8_t* buffer);
