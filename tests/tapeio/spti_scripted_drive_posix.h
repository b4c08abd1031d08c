// A scripted drive attached to a handle, for the drivers' tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/platform.h"
#include "tapeio/tape_io_handle.h"
#include "tests/support/scripted_device_posix.h"

namespace spti_test {

// \\.\TapeN opened with BRX_TAPEN naming device_string.
inline HANDLE open_tape_unit(int unit, const std::string& device_string)
{
    setenv(("BRX_TAPE" + std::to_string(unit)).c_str(), device_string.c_str(), 1);
    HANDLE os = CreateFileA(("\\\\.\\Tape" + std::to_string(unit)).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(os, INVALID_HANDLE_VALUE) << device_string;
    return os;
}

// A scripted device registered under name, reached as \\.\TapeN, a handle attached to it and a
// 64 KiB transfer buffer. Each test file takes units of its own.
class scripted_drive_t {
public:
    scripted_drive_t(const std::string& name, int unit) : device(std::make_shared<scripted_device_t>())
    {
        register_scripted_device(name, device);
        handle.attach(open_tape_unit(unit, "script:" + name));
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
