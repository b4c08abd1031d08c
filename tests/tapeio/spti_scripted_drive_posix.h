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

constexpr uint8_t filemark = 0x80;
constexpr uint8_t eom = 0x40;
constexpr uint8_t ili = 0x20;

constexpr uint8_t no_sense = 0x0;
constexpr uint8_t recovered_error = 0x1;
constexpr uint8_t not_ready = 0x2;
constexpr uint8_t medium_error = 0x3;
constexpr uint8_t illegal_request = 0x5;
constexpr uint8_t unit_attention = 0x6;
constexpr uint8_t data_protect = 0x7;
constexpr uint8_t blank_check = 0x8;
constexpr uint8_t volume_overflow = 0xD;

constexpr uint8_t status_check_condition = 0x02;
constexpr uint8_t status_busy = 0x08;
constexpr uint8_t status_reservation_conflict = 0x18;

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
    bytes[3] = static_cast<uint8_t>(info >> 24);
    bytes[4] = static_cast<uint8_t>(info >> 16);
    bytes[5] = static_cast<uint8_t>(info >> 8);
    bytes[6] = static_cast<uint8_t>(info);
    bytes[7] = 10;
    return bytes;
}

inline scripted_reply_t good(std::vector<uint8_t> data = {})
{
    scripted_reply_t reply;
    reply.data_in = std::move(data);
    return reply;
}

inline scripted_reply_t check(std::vector<uint8_t> sense_bytes)
{
    scripted_reply_t reply;
    reply.status = status_check_condition;
    reply.sense = std::move(sense_bytes);
    return reply;
}

inline scripted_reply_t status(uint8_t value)
{
    scripted_reply_t reply;
    reply.status = value;
    return reply;
}

inline scripted_reply_t call_fails(DWORD error)
{
    scripted_reply_t reply;
    reply.error = error;
    return reply;
}

// A scripted device registered under name, reached as \\.\TapeN (BRX_TAPEN names it), a handle
// attached to it and a 64 KiB transfer buffer. Each test file takes units of its own.
class scripted_drive_t {
public:
    scripted_drive_t(const std::string& name, int unit) : device(std::make_shared<scripted_device_t>())
    {
        register_scripted_device(name, device);
        std::string variable = "BRX_TAPE" + std::to_string(unit);
        setenv(variable.c_str(), ("script:" + name).c_str(), 1);
        std::string path = "\\\\.\\Tape" + std::to_string(unit);
        HANDLE os = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(os, INVALID_HANDLE_VALUE) << path;
        handle.attach(os);
    }
    ~scripted_drive_t() { CloseHandle(handle.get_os_handle()); }
    scripted_drive_t(const scripted_drive_t&) = delete;
    scripted_drive_t& operator=(const scripted_drive_t&) = delete;

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

// The SCSI address the setup tests give their handle, and the bytes every request must carry.
constexpr int32_t setup_path_id = 0x301, setup_target_id = 5, setup_lun = 2;
constexpr uint8_t setup_address[3] = {0x01, 0x05, 0x02};

inline void set_setup_address(tape_io_handle_t& handle)
{
    handle.path_id = setup_path_id;
    handle.target_id = setup_target_id;
    handle.lun = setup_lun;
}

// A command of the setup operations as a test expects it: data_out is compared for data-out commands only.
struct expected_command_t {
    std::vector<uint8_t> cdb;
    uint8_t direction = SCSI_IOCTL_DATA_OUT;
    uint32_t data_length = 0;
    std::vector<uint8_t> data_out;
};

inline void expect_commands(const std::vector<scripted_command_t>& sent,
                            const std::vector<expected_command_t>& expected)
{
    ASSERT_EQ(sent.size(), expected.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "command " << i);
        EXPECT_EQ(sent[i].cdb, expected[i].cdb);
        EXPECT_EQ(sent[i].direction, expected[i].direction);
        EXPECT_EQ(sent[i].data_length, expected[i].data_length);
        EXPECT_EQ(sent[i].timeout_seconds, 60u);
        EXPECT_EQ(sent[i].path_id, setup_address[0]);
        EXPECT_EQ(sent[i].target_id, setup_address[1]);
        EXPECT_EQ(sent[i].lun, setup_address[2]);
        if (expected[i].direction == SCSI_IOCTL_DATA_OUT) {
            EXPECT_EQ(sent[i].data_out, expected[i].data_out);
        }
    }
}

inline std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const std::vector<uint8_t>& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace spti_test
