// Variant 2's setup: all pages, six-byte commands first, the Device Configuration page rebuilt
// within the changeable bits, and its failures reported.
#include <gtest/gtest.h>

#include "tapeio/s2pti_tape_io.h"
#include "tests/tapeio/spti_scripted_drive_posix.h"

namespace {

using namespace spti_test;

const expected_command_t current6{{0x1A, 0x00, 0x3F, 0x00, 0xFF, 0x00}, SCSI_IOCTL_DATA_IN, 255, {}};
const expected_command_t changeable6{{0x1A, 0x00, 0x7F, 0x00, 0xFF, 0x00}, SCSI_IOCTL_DATA_IN, 255, {}};
const expected_command_t current10{{0x5A, 0x00, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00},
                                   SCSI_IOCTL_DATA_IN, 255, {}};
const expected_command_t changeable10{{0x5A, 0x00, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00},
                                      SCSI_IOCTL_DATA_IN, 255, {}};

expected_command_t select6(std::vector<uint8_t> list)
{
    uint32_t length = static_cast<uint32_t>(list.size());
    return {{0x15, 0x10, 0x00, 0x00, static_cast<uint8_t>(length), 0x00}, SCSI_IOCTL_DATA_OUT, length, list};
}

expected_command_t select10(std::vector<uint8_t> list)
{
    uint32_t length = static_cast<uint32_t>(list.size());
    return {{0x55, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, static_cast<uint8_t>(length), 0x00},
            SCSI_IOCTL_DATA_OUT, length, list};
}

const std::vector<uint8_t> descriptor = {0x13, 0x00, 0x10, 0x00, 0x00, 0x00, 0x04, 0x00};
const std::vector<uint8_t> variable_descriptor = {0x13, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00};
const std::vector<uint8_t> changeable_descriptor = {0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF};
const std::vector<uint8_t> disconnect_page = {0x02, 0x0E, 0x80, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const std::vector<uint8_t> compression_page = {0x0F, 0x0E, 0xC0, 0x80, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0};
// PS set, CAP/CAF/active format, partition, buffer ratios, write delay 0x0064, byte 8 0x5F, the rest.
const std::vector<uint8_t> configuration_page = {0x90, 0x0E, 0x61, 0x02, 0x30, 0x40, 0x00, 0x64,
                                                 0x5F, 0x7F, 0x18, 0x05, 0x00, 0x00, 0x01, 0x00};

std::vector<uint8_t> configuration_mask(uint8_t byte8)
{
    std::vector<uint8_t> page(16, 0);
    page[0] = 0x10;
    page[1] = 0x0E;
    page[6] = page[7] = 0xFF;
    page[8] = byte8;
    return page;
}

std::vector<uint8_t> rebuilt(uint8_t byte8)
{
    return {0x10, 0x0E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x64, byte8, 0x7F, 0x18, 0x05, 0x00, 0x00, 0x01, 0x00};
}

// Six-byte mode data: header with the right length, one descriptor, then the pages.
std::vector<uint8_t> six(uint8_t device_specific, const std::vector<uint8_t>& descriptors,
                         const std::vector<uint8_t>& pages)
{
    std::vector<uint8_t> data = {0, 0x05, device_specific, static_cast<uint8_t>(descriptors.size())};
    data = join({data, descriptors, pages});
    data[0] = static_cast<uint8_t>(data.size() - 1);
    return data;
}

std::vector<uint8_t> ten(uint8_t device_specific, const std::vector<uint8_t>& descriptors,
                         const std::vector<uint8_t>& pages)
{
    std::vector<uint8_t> data = {0, 0, 0x05, device_specific, 0, 0, 0, static_cast<uint8_t>(descriptors.size())};
    data = join({data, descriptors, pages});
    data[1] = static_cast<uint8_t>(data.size() - 2);
    return data;
}

const std::vector<uint8_t> all_pages = join({disconnect_page, configuration_page, compression_page});
const std::vector<uint8_t> all_masks = join({std::vector<uint8_t>(16, 0), configuration_mask(0xFF),
                                             std::vector<uint8_t>(16, 0)});

struct setup_case_t {
    const char* name;
    std::vector<scripted_reply_t> replies;
    int32_t result;
    DWORD last_error;
    std::vector<expected_command_t> commands;
};

std::vector<setup_case_t> setup_cases()
{
    const std::vector<uint8_t> header6 = {0x00, 0x00, 0x1F, 0x08};
    return {
        {"buffered mode 0, speed 3; byte 8 0x5F all changeable",
         {good(six(0x03, descriptor, all_pages)), good(six(0x7F, changeable_descriptor, all_masks))},
         0, NO_ERROR,
         {current6, changeable6, select6(join({header6, variable_descriptor, rebuilt(0x52)}))}},
        {"write protected, buffered mode 0",
         {good(six(0x83, descriptor, all_pages)), good(six(0x7F, changeable_descriptor, all_masks))},
         0, NO_ERROR,
         {current6, changeable6, select6(join({header6, variable_descriptor, rebuilt(0x52)}))}},
        {"buffered mode 2 sent back unchanged",
         {good(six(0x23, descriptor, all_pages)), good(six(0x7F, changeable_descriptor, all_masks))},
         0, NO_ERROR,
         {current6, changeable6, select6(join({{0x00, 0x00, 0x23, 0x08}, variable_descriptor, rebuilt(0x52)}))}},
        {"only some bits of byte 8 changeable",
         {good(six(0x10, descriptor, configuration_page)),
          good(six(0, changeable_descriptor, configuration_mask(0x21)))},
         0, NO_ERROR,
         {current6, changeable6, select6(join({{0x00, 0x00, 0x10, 0x08}, variable_descriptor, rebuilt(0x5E)}))}},
        {"nothing of byte 8 changeable",
         {good(six(0x10, descriptor, configuration_page)), good(six(0, changeable_descriptor, configuration_mask(0)))},
         0, NO_ERROR,
         {current6, changeable6, select6(join({{0x00, 0x00, 0x10, 0x08}, variable_descriptor, rebuilt(0x5F)}))}},
        {"no Device Configuration page",
         {good(six(0x00, descriptor, compression_page)), good(six(0, changeable_descriptor, {}))},
         0, NO_ERROR,
         {current6, changeable6, select6(join({header6, variable_descriptor}))}},
        {"six-byte refused: ten-byte for every later request",
         {check(sense(illegal_request)), good(ten(0x03, descriptor, all_pages)),
          good(ten(0x7F, changeable_descriptor, all_masks))},
         0, NO_ERROR,
         {current6, current10, changeable10,
          select10(join({{0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00, 0x08}, variable_descriptor, rebuilt(0x52)}))}},
        {"neither form answers",
         {check(sense(illegal_request)), call_fails(ERROR_SEM_TIMEOUT)},
         -1, ERROR_GEN_FAILURE, {current6, current10}},
        {"six-byte shorter than its header, ten-byte refused",
         {good({0x02, 0x00, 0x00}), status(status_busy)},
         -1, ERROR_GEN_FAILURE, {current6, current10}},
        {"changeable values: call failed",
         {good(six(0x03, descriptor, all_pages)), call_fails(ERROR_SEM_TIMEOUT)},
         -2, ERROR_SEM_TIMEOUT, {current6, changeable6}},
        {"changeable values: check condition",
         {good(six(0x03, descriptor, all_pages)), check(sense(illegal_request))},
         -3, planted_error, {current6, changeable6}},
        {"MODE SELECT: call failed",
         {good(six(0x03, descriptor, {})), good(six(0, changeable_descriptor, {})), call_fails(ERROR_IO_DEVICE)},
         -2, ERROR_IO_DEVICE, {current6, changeable6, select6(join({header6, variable_descriptor}))}},
        {"MODE SELECT: check condition",
         {good(six(0x03, descriptor, {})), good(six(0, changeable_descriptor, {})), check(sense(illegal_request))},
         -3, planted_error, {current6, changeable6, select6(join({header6, variable_descriptor}))}},
        {"MODE SELECT: busy",
         {good(six(0x03, descriptor, {})), good(six(0, changeable_descriptor, {})), status(status_busy)},
         -3, planted_error, {current6, changeable6, select6(join({header6, variable_descriptor}))}},
    };
}

TEST(s2pti_setup, rebuilds_modes_within_the_changeable_bits_and_reports_failures)
{
    scripted_drive_t drive("s2pti-setup", 76);
    s2pti_tape_io_t driver;
    for (const setup_case_t& c : setup_cases()) {
        SCOPED_TRACE(c.name);
        drive.script(c.replies);
        set_setup_address(drive.handle);
        drive.handle.block_count = 7;
        drive.handle.position = 1;
        SetLastError(planted_error);
        EXPECT_EQ(driver.setup(&drive.handle, drive.buffer.data(), 65536), c.result);
        EXPECT_EQ(drive.handle.last_error, c.last_error);
        if (c.result == -1) {
            EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
        }
        EXPECT_EQ(drive.handle.block_count, 7);
        EXPECT_EQ(drive.handle.position, 1u);
        expect_commands(drive.device->commands, c.commands);
    }
}

TEST(s2pti_setup, lengths_reported_beyond_the_bytes_received_never_take_the_walk_past_them)
{
    scripted_drive_t drive("s2pti-lengths", 77);
    s2pti_tape_io_t driver;
    set_setup_address(drive.handle);
    const std::vector<uint8_t> header6 = {0x00, 0x00, 0x1F, 0x08};

    // Header claims 255 bytes; the Device Configuration page is cut off after 8 of its 16 bytes.
    std::vector<uint8_t> cut = join({{0xFE, 0x00, 0x00, 0x08}, descriptor,
                                     std::vector<uint8_t>(configuration_page.begin(), configuration_page.begin() + 8)});
    drive.script({good(cut), good(six(0, changeable_descriptor, all_masks))});
    EXPECT_EQ(driver.setup(&drive.handle, drive.buffer.data(), 65536), 0);
    expect_commands(drive.device->commands,
                    {current6, changeable6, select6(join({header6, variable_descriptor}))});

    // The whole page arrives, but the changeable values stop before its byte 8: nothing is changeable.
    std::vector<uint8_t> short_mask = join({{0xFE, 0x00, 0x7F, 0x08}, changeable_descriptor, {0x10, 0x0E, 0, 0}});
    drive.script({good(six(0x03, descriptor, configuration_page)), good(short_mask)});
    EXPECT_EQ(driver.setup(&drive.handle, drive.buffer.data(), 65536), 0);
    expect_commands(drive.device->commands,
                    {current6, changeable6, select6(join({header6, variable_descriptor, rebuilt(0x5F)}))});

    // A descriptor length beyond the data: the walk of pages starts at the received end and finds none.
    drive.script({good({0x0B, 0x00, 0x00, 0x40, 0x13, 0x00, 0x10, 0x00, 0x00, 0x00, 0x04, 0x00}),
                  good(six(0, changeable_descriptor, {}))});
    EXPECT_EQ(driver.setup(&drive.handle, drive.buffer.data(), 65536), 0);
    expect_commands(drive.device->commands,
                    {current6, changeable6, select6(join({header6, variable_descriptor}))});
}

TEST(s2pti_setup, a_buffer_without_room_for_both_areas_sends_nothing)
{
    scripted_drive_t drive("s2pti-small", 79);
    s2pti_tape_io_t driver;
    set_setup_address(drive.handle);
    drive.script({});
    EXPECT_EQ(driver.setup(&drive.handle, drive.buffer.data(), 1024 + 254), -1);
    EXPECT_EQ(drive.handle.last_error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_TRUE(drive.device->commands.empty());
    drive.script({good(six(0x10, descriptor, {})), good(six(0, changeable_descriptor, {}))});
    EXPECT_EQ(driver.setup(&drive.handle, drive.buffer.data(), 1024 + 255), 0);
    expect_commands(drive.device->commands,
                    {current6, changeable6, select6(join({{0x00, 0x00, 0x10, 0x08}, variable_descriptor}))});
}

}  // namespace
