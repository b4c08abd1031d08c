// A SCSI device whose answers a test scripts: exact status and sense bytes, failed calls, missing sense.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/scsi_device.h"
#include "vtape/vtape.h"

struct scripted_reply_t {
    DWORD error = NO_ERROR;         // not NO_ERROR: the DeviceIoControl call fails with this code
    uint8_t status = 0;             // SCSI status byte
    std::vector<uint8_t> sense;     // delivered after the status (any status)
    std::vector<uint8_t> data_in;   // copied into the caller's data buffer (at most data_length bytes)
};

struct scripted_command_t {
    std::vector<uint8_t> cdb;
    uint8_t direction = 0;
    uint32_t data_length = 0;
    std::vector<uint8_t> data_out;  // the bytes sent, for data-out commands
    uint32_t timeout_seconds = 0;
    uint8_t path_id = 0, target_id = 0, lun = 0;
};

class scripted_device_t : public posix::scsi_device_t {
public:
    // Replies are used in order; when none is left, every command answers GOOD with no data.
    void push(scripted_reply_t reply) { replies.push_back(std::move(reply)); }
    posix::scsi_reply_t execute(const posix::scsi_command_t& command) override;

    std::deque<scripted_reply_t> replies;
    std::vector<scripted_command_t> commands;  // every command received, in order
};

// Answers a test scripts, built field by field.
namespace spti_test {

constexpr uint8_t filemark = 0x80, eom = 0x40, ili = 0x20;
constexpr uint8_t no_sense = 0x0, recovered_error = 0x1, not_ready = 0x2, medium_error = 0x3, illegal_request = 0x5,
                  unit_attention = 0x6, data_protect = 0x7, blank_check = 0x8, volume_overflow = 0xD;
constexpr uint8_t status_check_condition = 0x02, status_busy = 0x08, status_reservation_conflict = 0x18;

// What the thread's last error holds before each command: failures that take "whatever it holds"
// must show exactly this.
constexpr DWORD planted_error = 0x4242;

// Fixed-format sense: response code, key with FILEMARK/EOM/ILI bits, INFORMATION, VALID, ASC, ASCQ.
inline std::vector<uint8_t> sense(uint8_t key, uint8_t bits = 0, bool valid = false, int32_t information = 0,
                                  uint8_t response = 0x70, uint8_t asc = 0, uint8_t ascq = 0)
{
    std::vector<uint8_t> bytes(18, 0);
    bytes[0] = static_cast<uint8_t>(response | (valid ? 0x80 : 0x00));
    bytes[2] = static_cast<uint8_t>(key | bits);
    vtape_put_be32(&bytes[3], static_cast<uint32_t>(information));
    bytes[7] = 10, bytes[12] = asc, bytes[13] = ascq;
    return bytes;
}

inline scripted_reply_t good(std::vector<uint8_t> data = {}) { return {NO_ERROR, 0, {}, std::move(data)}; }
inline scripted_reply_t status(uint8_t value, std::vector<uint8_t> sense_bytes = {}) { return {NO_ERROR, value, std::move(sense_bytes), {}}; }
inline scripted_reply_t check(std::vector<uint8_t> sense_bytes) { return status(status_check_condition, std::move(sense_bytes)); }
inline scripted_reply_t call_fails(DWORD error) { return {error, 0, {}, {}}; }

}  // namespace spti_test

// CreateFileA("script:NAME") opens the device registered under NAME (the device outlives handles).
void register_scripted_device(const std::string& name, std::shared_ptr<scripted_device_t> device);
