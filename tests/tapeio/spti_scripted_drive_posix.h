// A scripted drive attached to a handle, and the answers a test scripts for it, built field by field.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tapeio/tape_io_handle.h"
#include "tests/support/scripted_device_posix.h"

namespace spti_test {

constexpr uint8_t filemark = 0x80, eom = 0x40, ili = 0x20;
constexpr uint8_t no_sense = 0x0, recovered_error = 0x1, not_ready = 0x2, medium_error = 0x3, illegal_request = 0x5,
                  unit_attention = 0x6, data_protect = 0x7, blank_check = 0x8, volume_overflow = 0xD;
constexpr uint8_t status_check_condition = 0x02, status_busy = 0x08, status_reservation_conflict = 0x18;

// What the thread's last error holds before each command: failures that take "whatever it holds"
// must show exactly this.
constexpr DWORD planted_error = 0x4242;

// Fixed-format sense: response code, key with FILEMARK/EOM/ILI bits, INFORMATION, VALID.
inline std::vector<uint8_t> sense(uint8_t key, uint8_t bits = 0, bool valid = false, int32_t information = 0,
                                  uint8_t response = 0x70)
{
    std::vector<uint8_t> bytes(18, 0);
    uint32_t info = static_cast<uint32_t>(information);
    bytes[0] = static_cast<uint8_t>(response | (valid ? 0x80 : 0x00));
    bytes[2] = static_cast<uint8_t>(key | bits);
    for (int i = 0; i < 4; ++i)
        bytes[3 + i] = static_cast<uint8_t>(info >> (24 - 8 * i));
    bytes[7] = 10;
    return bytes;
}

inline scripted_reply_t good(std::vector<uint8_t> data = {}) { return {NO_ERROR, 0, {}, std::move(data)}; }
inline scripted_reply_t status(uint8_t value, std::vector<uint8_t> sense_bytes = {}) { return {NO_ERROR, value, std::move(sense_bytes), {}}; }
inline scripted_reply_t check(std::vector<uint8_t> sense_bytes) { return status(status_check_condition, std::move(sense_bytes)); }
inline scripted_reply_t call_fails(DWORD error) { return {error, 0, {}, {}}; }

// A scripted device registered under name, reached as \\.\TapeN (BRX_TAPEN names it), a handle
// attached to it and a 64 KiB transfer buffer. Each test file takes units of its own.
class scripted_drive_t {
public:
    scripted_drive_t(const std::string& name, int unit) : device(std::make_shared<scripted_device_t>())
    {
        register_scripted_device(name, device);
        setenv(("BRX_TAPE" + std::to_string(unit)).c_str(), ("script:" + name).c_str(), 1);
        std::string path = "\\\\.\\Tape" + std::to_string(unit);
        HANDLE os = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(os, INVALID_HANDLE_VALUE) << path;
        handle.attach(os);
    }
    ~scripted_drive_t() { CloseHandle(handle.get_os_handle()); }

    // A fresh script: earlier answers and the record of commands are dropped.
    void script(std::vector<scripted_reply_t> replies)
    {
        device->replies.assign(replies.begin(), replies.end());
        device->commands.clear();
    }

    std::shared_ptr<scripted_device_t> device;
    tape_io_handle_t handle;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(65536);
};

inline std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const std::vector<uint8_t>& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace spti_test
