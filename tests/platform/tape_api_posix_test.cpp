// The Windows tape API over SSC commands on a scripted drive: the command each call sends and the
// Windows code each drive answer becomes.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/tapeio/spti_scripted_drive_posix.h"

namespace {

using namespace spti_test;
using bytes_t = std::vector<uint8_t>;

// CHECK CONDITION with fixed-format sense; `valid` makes INFORMATION valid.
scripted_reply_t check(uint8_t key, uint8_t flags = 0, bool valid = false, int32_t info = 0, uint8_t asc = 0)
{
    return spti_test::check(sense(key, flags, valid, info, 0x70, asc));
}

class tape_api : public testing::Test {
protected:
    std::vector<bytes_t> sent()  // the CDBs since the last call; empties the script and the record
    {
        std::vector<bytes_t> cdbs;
        for (const scripted_command_t& command : drive->commands) cdbs.push_back(command.cdb);
        scripted.script({});
        return cdbs;
    }

    scripted_drive_t scripted{"tape-api", 99};
    std::shared_ptr<scripted_device_t> drive = scripted.device;
    HANDLE tape = scripted.handle.get_os_handle();
};

TEST_F(tape_api, set_tape_position_spaces_in_24_bit_pieces_and_refuses_a_drive_that_miscounts)
{
    const DWORD blocks = TAPE_SPACE_RELATIVE_BLOCKS, back = 0xFFFFFFFF;
    const bytes_t most = {0x11, 0, 0x7F, 0xFF, 0xFF, 0};
    ASSERT_EQ(SetTapePosition(tape, blocks, 0, 0x01000001, 0, FALSE), NO_ERROR);
    EXPECT_EQ(sent(), (std::vector<bytes_t>{most, most, {0x11, 0, 0, 0, 3, 0}}));
    drive->push(check(recovered_error, 0, true, -2));  // 3 of 5 passed backward: the rest follows
    ASSERT_EQ(SetTapePosition(tape, blocks, 0, 0xFFFFFFFB, back, FALSE), NO_ERROR);
    EXPECT_EQ(sent(), (std::vector<bytes_t>{{0x11, 0, 0xFF, 0xFF, 0xFB, 0}, {0x11, 0, 0xFF, 0xFF, 0xFE, 0}}));
    // Nothing passed (no endless loop), more than asked, or the wrong way: a drive fault.
    for (int32_t residue : {4, -1, 5, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(residue);
        drive->push(check(recovered_error, 0, true, residue));
        EXPECT_EQ(SetTapePosition(tape, blocks, 0, 4, 0, FALSE), ERROR_IO_DEVICE);
        EXPECT_EQ(sent().size(), 1u);
    }
    drive->push(check(recovered_error, 0, true, INT32_MIN));
    EXPECT_EQ(SetTapePosition(tape, blocks, 0, 0xFFFFFFFB, back, FALSE), ERROR_IO_DEVICE);
    EXPECT_EQ(sent().size(), 1u);
    EXPECT_EQ(SetTapePosition(tape, TAPE_SPACE_SETMARKS, 0, 1, 0, FALSE), ERROR_INVALID_FUNCTION);
    EXPECT_TRUE(sent().empty());
}

// MODE SENSE(6) data: header with the device-specific byte, an optional block descriptor, a page.
bytes_t mode_data(uint8_t device_specific, int block_length, bytes_t page = {})
{
    bytes_t data = {0, 0, device_specific, 8, 0x42, 0, 0, 0, 0, 0, uint8_t(block_length >> 8), uint8_t(block_length)};
    if (block_length < 0) data.resize(4), data[3] = 0;
    for (uint8_t byte : page) data.push_back(byte);
    data[0] = static_cast<uint8_t>(data.size() - 1);
    return data;
}

// Page 0x0F with DCE/DCC in byte 2 (PS set as drives report it), or page 0x10 with the zone.
bytes_t page(uint8_t code, uint32_t value)
{
    bytes_t bytes(16, 0);
    bytes[0] = code, bytes[1] = 14;
    if (code == 0x0F)
        bytes[0] |= 0x80, bytes[2] = uint8_t(value), bytes[4] = 0x10;
    else
        bytes[11] = uint8_t(value >> 16), bytes[12] = uint8_t(value >> 8), bytes[13] = uint8_t(value);
    return bytes;
}

TEST_F(tape_api, tape_parameters_come_from_block_limits_and_the_mode_pages_and_go_out_in_them)
{
    DWORD size = sizeof(TAPE_GET_DRIVE_PARAMETERS);
    TAPE_GET_DRIVE_PARAMETERS info{};
    for (const bytes_t& reply : {bytes_t{0x00, 0x01, 0x00, 0x00, 0x00, 0x04}, mode_data(0x10, 1024),  // max 65536, min 4
                                 mode_data(0x10, -1, page(0x0F, 0xC0)), mode_data(0x10, -1, page(0x10, 0x012345))})
        drive->push(good(reply));
    ASSERT_EQ(GetTapeParameters(tape, GET_TAPE_DRIVE_INFORMATION, &size, &info), NO_ERROR);
    EXPECT_EQ(info.MaximumBlockSize + info.MinimumBlockSize + info.DefaultBlockSize, 65536u + 4 + 1024);
    EXPECT_EQ(info.Compression + info.EOTWarningZoneSize, 1u + 0x012345);
    EXPECT_EQ(info.FeaturesLow, TAPE_DRIVE_COMPRESSION);
    EXPECT_EQ(sent(), (std::vector<bytes_t>{{0x05, 0, 0, 0, 0, 0}, {0x1A, 0, 0, 0, 255, 0},
                                            {0x1A, 0x08, 0x0F, 0, 255, 0}, {0x1A, 0x08, 0x10, 0, 255, 0}}));

    // The block size goes out in a descriptor keeping density and buffered mode.
    drive->push(good(mode_data(0x93, 512)));
    TAPE_SET_MEDIA_PARAMETERS variable{0};
    ASSERT_EQ(SetTapeParameters(tape, SET_TAPE_MEDIA_INFORMATION, &variable), NO_ERROR);
    ASSERT_EQ(drive->commands.size(), 2u);
    EXPECT_EQ(drive->commands[1].data_out, (bytes_t{0, 0, 0x13, 8, 0x42, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(sent(), (std::vector<bytes_t>{{0x1A, 0, 0, 0, 255, 0}, {0x15, 0, 0, 0, 12, 0}}));

    TAPE_SET_DRIVE_PARAMETERS settings{0, 0, 0, 0, 0x12345};  // compression off; the zone is the drive's already
    for (const bytes_t& reply : {mode_data(0x10, -1, page(0x0F, 0xC0)), bytes_t{}, mode_data(0x10, -1, page(0x10, 0x12345))})
        drive->push(good(reply));
    ASSERT_EQ(SetTapeParameters(tape, SET_TAPE_DRIVE_INFORMATION, &settings), NO_ERROR);
    ASSERT_EQ(drive->commands.size(), 3u);  // no second MODE SELECT
    EXPECT_EQ(drive->commands[1].cdb, (bytes_t{0x15, 0x10, 0, 0, 20, 0}));
    EXPECT_EQ(drive->commands[1].data_out, (bytes_t{0, 0, 0x10, 0, 0x0F, 14, 0x40, 0, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
