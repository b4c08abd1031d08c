// Variant 1's setup: header and block descriptors only, ten-byte commands first, never a failure.
#include <gtest/gtest.h>

#include "tapeio/s1pti_tape_io.h"
#include "tests/tapeio/spti_scripted_drive_posix.h"

namespace {

using namespace spti_test;

const std::vector<uint8_t> sense10 = {0x5A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00};
const std::vector<uint8_t> sense6 = {0x1A, 0x00, 0x00, 0x00, 0xFF, 0x00};
const expected_command_t read10{sense10, SCSI_IOCTL_DATA_IN, 255, {}};
const expected_command_t read6{sense6, SCSI_IOCTL_DATA_IN, 255, {}};

// Density 0x13, 0x1000 blocks, block length given.
std::vector<uint8_t> descriptor(uint32_t block_length)
{
    return {0x13, 0x00, 0x10, 0x00, 0x00, static_cast<uint8_t>(block_length >> 16),
            static_cast<uint8_t>(block_length >> 8), static_cast<uint8_t>(block_length)};
}
const std::vector<uint8_t> variable_descriptor = {0x13, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00};

expected_command_t select10(std::vector<uint8_t> list)
{
    uint32_t length = static_cast<uint32_t>(list.size());
    return {{0x55, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, static_cast<uint8_t>(length), 0x00},
            SCSI_IOCTL_DATA_OUT, length, list};
}

expected_command_t select6(std::vector<uint8_t> list)
{
    uint32_t length = static_cast<uint32_t>(list.size());
    return {{0x15, 0x00, 0x00, 0x00, static_cast<uint8_t>(length), 0x00}, SCSI_IOCTL_DATA_OUT, length, list};
}

struct setup_case_t {
    const char* name;
    std::vector<scripted_reply_t> replies;
    std::vector<expected_command_t> commands;
};

TEST(s1pti_setup, edits_header_and_descriptors_in_the_form_that_answers_and_always_returns_0)
{
    const std::vector<setup_case_t> cases = {
        {"ten-byte, buffered mode 0 and speed 3",
         {good(join({{0x00, 0x0E, 0x05, 0x03, 0x00, 0x00, 0x00, 0x08}, descriptor(0x400)}))},
         {read10, select10(join({{0x00, 0x00, 0x00, 0x13, 0x00, 0x00, 0x00, 0x08}, variable_descriptor}))}},
        {"ten-byte, buffered mode 2 sent back unchanged",
         {good(join({{0x00, 0x0E, 0x00, 0x25, 0x00, 0x00, 0x00, 0x08}, descriptor(512)}))},
         {read10, select10(join({{0x00, 0x00, 0x00, 0x25, 0x00, 0x00, 0x00, 0x08}, variable_descriptor}))}},
        {"ten-byte refused: six-byte, write protect dropped",
         {check(sense(illegal_request)), good(join({{0x0B, 0x05, 0x83, 0x08}, descriptor(0x8000)}))},
         {read10, read6, select6(join({{0x00, 0x00, 0x13, 0x08}, variable_descriptor}))}},
        {"ten-byte call failed: six-byte",
         {call_fails(ERROR_SEM_TIMEOUT), good(join({{0x0B, 0x00, 0x10, 0x08}, descriptor(0x8000)}))},
         {read10, read6, select6(join({{0x00, 0x00, 0x10, 0x08}, variable_descriptor}))}},
        {"ten-byte shorter than its header: six-byte",
         {good({0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00}), good({0x03, 0x00, 0x20, 0x00})},
         {read10, read6, select6({0x00, 0x00, 0x20, 0x00})}},
        {"two descriptors",
         {status(status_busy), good(join({{0x13, 0x00, 0x00, 0x10}, descriptor(0x400), descriptor(0x800)}))},
         {read10, read6, select6(join({{0x00, 0x00, 0x10, 0x10}, variable_descriptor, variable_descriptor}))}},
        {"lengths reported beyond the 12 bytes received",
         {check(sense(illegal_request)), good(join({{0xFE, 0x00, 0x00, 0xF0}, descriptor(0x400)}))},
         {read10, read6, select6(join({{0x00, 0x00, 0x10, 0x08}, variable_descriptor}))}},
        {"neither form answers: nothing is sent",
         {check(sense(illegal_request)), call_fails(ERROR_SEM_TIMEOUT)},
         {read10, read6}},
        {"MODE SELECT refused",
         {good(join({{0x00, 0x0E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08}, descriptor(0x400)})),
          check(sense(illegal_request))},
         {read10, select10(join({{0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x08}, variable_descriptor}))}},
    };
    scripted_drive_t drive("s1pti-setup", 75);
    s1pti_tape_io_t driver;
    for (const setup_case_t& c : cases) {
        SCOPED_TRACE(c.name);
        drive.script(c.replies);
        set_setup_address(drive.handle);
        drive.handle.block_count = 7;
        drive.handle.position = 1;
        SetLastError(planted_error);
        EXPECT_EQ(driver.setup(&drive.handle, drive.buffer.data(), 65536), 0);
        EXPECT_EQ(drive.handle.last_error, NO_ERROR);
        EXPECT_EQ(drive.handle.block_count, 7);
        EXPECT_EQ(drive.handle.position, 1u);
        expect_commands(drive.device->commands, c.commands);
    }
}

TEST(s1pti_setup, a_buffer_without_room_for_the_mode_data_sends_nothing)
{
    scripted_drive_t drive("s1pti-small", 78);
    s1pti_tape_io_t driver;
    set_setup_address(drive.handle);
    drive.script({});
    EXPECT_EQ(driver.setup(&drive.handle, drive.buffer.data(), 512 + 254), 0);
    EXPECT_TRUE(drive.device->commands.empty());
    drive.script({check(sense(illegal_request)), good({0x03, 0x00, 0x00, 0x00})});
    EXPECT_EQ(driver.setup(&drive.handle, drive.buffer.data(), 512 + 255), 0);
    expect_commands(drive.device->commands, {read10, read6, select6({0x00, 0x00, 0x10, 0x00})});
}

}  // namespace
