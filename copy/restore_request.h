// Restore's own pass-through request: the system's SCSI_PASS_THROUGH_DIRECT, then a sense area
// at a fixed offset, in one 312-byte block sent and received by DeviceIoControl.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "tapeio/scsi_codes.h"

constexpr uint32_t restore_request_size = 312;
constexpr uint32_t restore_sense_offset = 56;
constexpr uint8_t restore_sense_capacity = 192;
constexpr uint32_t restore_timeout_seconds = 255;

struct restore_request_t {
    SCSI_PASS_THROUGH_DIRECT spt;
    uint8_t rest[restore_request_size - sizeof(SCSI_PASS_THROUGH_DIRECT)];

    const uint8_t* sense() const { return rest + (restore_sense_offset - sizeof(SCSI_PASS_THROUGH_DIRECT)); }
};

// 44 bytes on 32-bit Windows, 56 on 64-bit: the sense area follows it either way.
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) <= restore_sense_offset);
static_assert(restore_sense_offset + restore_sense_capacity <= restore_request_size);
static_assert(sizeof(restore_request_t) == restore_request_size);
static_assert(offsetof(restore_request_t, rest) == sizeof(SCSI_PASS_THROUGH_DIRECT));

// The drive that restore writes to: the open device and its address behind an adapter.
struct restore_target_t {
    HANDLE device = INVALID_HANDLE_VALUE;
    const char* path = "";  // \\.\TapeN or \\.\ScsiN:, for the messages
    uint8_t path_id = 0;
    uint8_t target_id = 0;
};

struct restore_command_t {
    uint8_t cdb[6];
    uint8_t direction;  // SCSI_IOCTL_DATA_IN, _OUT or _UNSPECIFIED
    uint32_t length;    // data bytes; 0 for commands without data
};

// Builds request afresh for command (data is the transfer buffer, unused without a length) and
// sends it. false when the call itself failed; GetLastError tells why.
bool send_restore_command(const restore_target_t& target, const restore_command_t& command, uint8_t* data,
                          restore_request_t& request);

// Sense bytes as delivered; meaningful only when the returned SenseInfoLength is not 0.
// (sense_key::blank_check after a WRITE is told as a full tape.)

inline bool has_sense(const restore_request_t& request) { return request.spt.SenseInfoLength != 0; }
inline uint8_t sense_key_of(const restore_request_t& request) { return request.sense()[2] & sense_bit::key_mask; }
inline bool end_of_medium(const restore_request_t& request) { return (request.sense()[2] & sense_bit::eom) != 0; }
