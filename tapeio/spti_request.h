// The SCSI pass-through request block, laid at the start of the caller's transfer buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "tapeio/tape_io_handle.h"

constexpr uint32_t spti_request_size = 192;
constexpr uint32_t spti_sense_offset = 128;
constexpr uint8_t spti_sense_length = 64;

// The platform structure first (44 bytes on 32-bit Windows, 56 where addresses are 64-bit), then
// reserved bytes up to the sense area, which stays at 128 on every platform.
struct spti_request_t {
    SCSI_PASS_THROUGH_DIRECT sptd;
    uint8_t reserved[spti_sense_offset - sizeof(SCSI_PASS_THROUGH_DIRECT)];
    uint8_t sense[spti_sense_length];
};

static_assert(sizeof(spti_request_t) == spti_request_size, "the request block is 192 bytes");
static_assert(offsetof(spti_request_t, sense) == spti_sense_offset, "the sense area starts at byte 128");

// Zeroes the 192 bytes at block and fills in length, address, sense area and nothing else.
void init_request(tape_io_handle_t* handle, void* block);

// The block that init_request laid at the start of buffer.
spti_request_t* request_block(uint8_t* buffer);

// One synchronous IOCTL_SCSI_PASS_THROUGH_DIRECT call with the block as input and output.
// Non-zero when the command completed (whatever its status); zero with GetLastError() otherwise.
BOOL send_request(tape_io_handle_t* handle, spti_request_t* request);
