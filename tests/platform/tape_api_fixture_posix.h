// A tape handle on a scripted drive, and the sense bytes the tape API tests script with.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/scripted_device_posix.h"

// Fixed-format sense: flags are FILEMARK 0x80, EOM 0x40, ILI 0x20 over the key.
inline std::vector<uint8_t> tape_sense(uint8_t key, uint8_t flags = 0, bool valid = false, int32_t information = 0,
                                       uint8_t asc = 0)
{
    std::vector<uint8_t> sense(18, 0);
    sense[0] = static_cast<uint8_t>(valid ? 0xF0 : 0x70);
    sense[2] = static_cast<uint8_t>(flags | key);
    uint32_t info = static_cast<uint32_t>(information);
    sense[3] = static_cast<uint8_t>(info >> 24);
    sense[4] = static_cast<uint8_t>(info >> 16);
    sense[5] = static_cast<uint8_t>(info >> 8);
    sense[6] = static_cast<uint8_t>(info);
    sense[7] = 10;
    sense[12] = asc;
    return sense;
}

inline scripted_reply_t check_condition(std::vector<uint8_t> sense)
{
    scripted_reply_t reply;
    reply.status = 2;
    reply.sense = std::move(sense);
    return reply;
}

inline scripted_reply_t good_with(std::vector<uint8_t> data)
{
    scripted_reply_t reply;
    reply.data_in = std::move(data);
    return reply;
}

// Opens a device string as \\.\Tape99, the way a user names a tape drive.
inline HANDLE open_tape_as_tape99(const std::string& device_string)
{
    setenv("BRX_TAPE99", device_string.c_str(), 1);
    HANDLE tape = CreateFileA("\\\\.\\Tape99", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    unsetenv("BRX_TAPE99");
    return tape;
}

class scripted_tape_t : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string name = std::string("tape-api-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        register_scripted_device(name, drive);
        tape = open_tape_as_tape99("script:" + name);
        ASSERT_NE(tape, INVALID_HANDLE_VALUE);
    }
    void TearDown() override { CloseHandle(tape); }

    // The one command the drive received since the last call, and the script emptied.
    scripted_command_t only_command()
    {
        EXPECT_EQ(drive->commands.size(), 1u);
        scripted_command_t command = drive->commands.empty() ? scripted_command_t{} : drive->commands.back();
        drive->commands.clear();
        drive->replies.clear();
        return command;
    }

    std::shared_ptr<scripted_device_t> drive = std::make_shared<scripted_device_t>();
    HANDLE tape = INVALID_HANDLE_VALUE;
};
