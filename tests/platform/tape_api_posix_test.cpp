// The Windows tape API over SSC commands on a scripted drive: the command each call sends and the
// Windows code each drive answer becomes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/scripted_device_posix.h"

namespace {

using bytes_t = std::vector<uint8_t>;
constexpr uint8_t no_sense = 0, recovered = 1, not_ready = 2, medium_error = 3, hardware_error = 4,
                  illegal_request = 5, unit_attention = 6, data_protect = 7, blank_check = 8, overflow = 13;
constexpr uint8_t filemark = 0x80, eom = 0x40, ili = 0x20;

// CHECK CONDITION with fixed-format sense; `info` set makes INFORMATION valid.
scripted_reply_t check(uint8_t key, uint8_t flags = 0, bool valid = false, int32_t info = 0, uint8_t asc = 0)
{
    scripted_reply_t reply;
    reply.status = 2;
    reply.sense = {static_cast<uint8_t>(valid ? 0xF0 : 0x70), 0, static_cast<uint8_t>(flags | key),
                   static_cast<uint8_t>(uint32_t(info) >> 24), static_cast<uint8_t>(uint32_t(info) >> 16),
                   static_cast<uint8_t>(uint32_t(info) >> 8), static_cast<uint8_t>(info), 10, 0, 0, 0, 0, asc, 0,
                   0, 0, 0, 0};
    return reply;
}

scripted_reply_t good(bytes_t data = {})
{
    scripted_reply_t reply;
    reply.data_in = std::move(data);
    return reply;
}

class tape_api : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string name = std::string("tape-api-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        register_scripted_device(name, drive);
        setenv("BRX_TAPE99", ("script:" + name).c_str(), 1);
        tape = CreateFileA("\\\\.\\Tape99", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        unsetenv("BRX_TAPE99");
        ASSERT_NE(tape, INVALID_HANDLE_VALUE);
    }
    void TearDown() override { CloseHandle(tape); }

    // The CDBs received since the last call; the script and the record are emptied.
    std::vector<bytes_t> sent()
    {
        std::vector<bytes_t> cdbs;
        for (const scripted_command_t& command : drive->commands)
            cdbs.push_back(command.cdb);
        drive->commands.clear();
        drive->replies.clear();
        return cdbs;
    }

    std::shared_ptr<scripted_device_t> drive = std::make_shared<scripted_device_t>();
    HANDLE tape = INVALID_HANDLE_VALUE;
};

struct transfer_case_t {
    const char* what;
    scripted_reply_t reply;
    DWORD error;  // NO_ERROR: the call succeeds
    DWORD count;
};

TEST_F(tape_api, read_file_sends_read6_and_translates_each_sense)
{
    const transfer_case_t cases[] = {
        {"record", good(bytes_t(100, 0x5A)), NO_ERROR, 100},
        {"tape mark", check(no_sense, filemark | ili, true, 100), ERROR_FILEMARK_DETECTED, 0},
        {"end of data", check(blank_check, 0, true, 100), ERROR_NO_DATA_DETECTED, 0},
        {"end of medium", check(medium_error, eom, true, 100), ERROR_END_OF_MEDIA, 0},
        {"short record", check(no_sense, ili, true, 60), NO_ERROR, 40},
        {"long record", check(no_sense, ili, true, -28), ERROR_MORE_DATA, 100},
        {"length mismatch without residue", check(no_sense, ili), ERROR_INVALID_BLOCK_LENGTH, 0},
        {"recovered", check(recovered), NO_ERROR, 100},
        {"unreadable", check(medium_error), ERROR_CRC, 0},
        {"no medium", check(not_ready, 0, false, 0, 0x3A), ERROR_NO_MEDIA_IN_DRIVE, 0},
        {"becoming ready", check(not_ready, 0, false, 0, 0x04), ERROR_NOT_READY, 0},
        {"medium changed", check(unit_attention, 0, false, 0, 0x28), ERROR_MEDIA_CHANGED, 0},
        {"reset", check(unit_attention, 0, false, 0, 0x29), ERROR_BUS_RESET, 0},
        {"write protected", check(data_protect), ERROR_WRITE_PROTECT, 0},
        {"hardware error", check(hardware_error), ERROR_IO_DEVICE, 0},
        {"illegal request", check(illegal_request), ERROR_INVALID_FUNCTION, 0},
        {"sense not delivered", scripted_reply_t{NO_ERROR, 2, {}, {}}, ERROR_IO_DEVICE, 0},
        {"descriptor-format sense", scripted_reply_t{NO_ERROR, 2, {0x72, 0x08, 0, 0}, {}}, ERROR_IO_DEVICE, 0},
        {"busy", scripted_reply_t{NO_ERROR, 8, {}, {}}, ERROR_BUSY, 0},
        {"call failed", scripted_reply_t{ERROR_SEM_TIMEOUT, 0, {}, {}}, ERROR_SEM_TIMEOUT, 0},
    };
    for (const transfer_case_t& c : cases) {
        SCOPED_TRACE(c.what);
        drive->push(c.reply);
        uint8_t buffer[100] = {};
        DWORD count = 0xDEAD;
        SetLastError(0x5A5A);
        EXPECT_EQ(ReadFile(tape, buffer, sizeof buffer, &count, nullptr), c.error == NO_ERROR);
        EXPECT_EQ(GetLastError(), c.error == NO_ERROR ? 0x5A5Au : c.error);
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(buffer[0], c.reply.data_in.empty() ? 0 : 0x5A);
        ASSERT_EQ(drive->commands.size(), 1u);
        EXPECT_EQ(drive->commands[0].direction, SCSI_IOCTL_DATA_IN);
        EXPECT_EQ(sent(), (std::vector<bytes_t>{{0x08, 0, 0, 0, 100, 0}}));
    }
    DWORD count = 7;
    EXPECT_FALSE(ReadFile(tape, nullptr, 0x1000000, &count, nullptr));  // beyond READ(6)'s 24 bits
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(sent().empty());
}

TEST_F(tape_api, write_file_sends_write6_and_reports_the_end_of_the_medium)
{
    const transfer_case_t cases[] = {
        {"written", good(), NO_ERROR, 64},
        {"early warning: written", check(no_sense, eom, true, 0), ERROR_END_OF_MEDIA, 64},
        {"early warning without residue", check(recovered, eom), ERROR_END_OF_MEDIA, 64},
        {"full: nothing written", check(overflow, eom, true, 64), ERROR_END_OF_MEDIA, 0},
        {"full without residue", check(overflow, eom), ERROR_END_OF_MEDIA, 0},
        {"write protected", check(data_protect), ERROR_WRITE_PROTECT, 0},
    };
    bytes_t record(64);
    for (size_t i = 0; i < record.size(); ++i)
        record[i] = static_cast<uint8_t>(i * 3);
    for (const transfer_case_t& c : cases) {
        SCOPED_TRACE(c.what);
        drive->push(c.reply);
        DWORD written = 0xDEAD;
        EXPECT_EQ(WriteFile(tape, record.data(), 64, &written, nullptr), c.error == NO_ERROR);
        if (c.error != NO_ERROR) {
            EXPECT_EQ(GetLastError(), c.error);
        }
        EXPECT_EQ(written, c.count);
        ASSERT_EQ(drive->commands.size(), 1u);
        EXPECT_EQ(drive->commands[0].direction, SCSI_IOCTL_DATA_OUT);
        EXPECT_EQ(drive->commands[0].data_out, record);
        EXPECT_EQ(sent(), (std::vector<bytes_t>{{0x0A, 0, 0, 0, 64, 0}}));
    }
}

struct move_case_t {
    const char* what;
    DWORD method, low, high;
    scripted_reply_t reply;
    DWORD code;
    bytes_t cdb;
};

TEST_F(tape_api, set_tape_position_sends_one_space_and_names_what_stopped_it)
{
    const DWORD blocks = TAPE_SPACE_RELATIVE_BLOCKS, marks = TAPE_SPACE_FILEMARKS, back = 0xFFFFFFFF;
    const move_case_t cases[] = {
        {"records forward", blocks, 0x7FFFFF, 0, good(), NO_ERROR, {0x11, 0, 0x7F, 0xFF, 0xFF, 0}},
        {"one mark back", marks, back, back, good(), NO_ERROR, {0x11, 1, 0xFF, 0xFF, 0xFF, 0}},
        {"rewind", TAPE_REWIND, 0, 0, good(), NO_ERROR, {0x01, 0, 0, 0, 0, 0}},
        {"mark met", blocks, 5, 0, check(no_sense, filemark, true, 3), ERROR_FILEMARK_DETECTED, {0x11, 0, 0, 0, 5, 0}},
        {"end of data", marks, 1, 0, check(blank_check, 0, true, 1), ERROR_NO_DATA_DETECTED, {0x11, 1, 0, 0, 1, 0}},
        {"end of medium", blocks, 2, 0, check(medium_error, eom, true, 1), ERROR_END_OF_MEDIA, {0x11, 0, 0, 0, 2, 0}},
        {"beginning", marks, back, back, check(no_sense, eom, true, -1), ERROR_BEGINNING_OF_MEDIA,
         {0x11, 1, 0xFF, 0xFF, 0xFF, 0}},
        {"beginning under MEDIUM ERROR", blocks, back, back, check(medium_error, eom, true, -1),
         ERROR_BEGINNING_OF_MEDIA, {0x11, 0, 0xFF, 0xFF, 0xFF, 0}},
        {"refused", marks, 1, 0, check(illegal_request), ERROR_INVALID_FUNCTION, {0x11, 1, 0, 0, 1, 0}},
    };
    for (const move_case_t& c : cases) {
        SCOPED_TRACE(c.what);
        drive->push(c.reply);
        SetLastError(0x5A5A);
        EXPECT_EQ(SetTapePosition(tape, c.method, 0, c.low, c.high, FALSE), c.code);
        EXPECT_EQ(GetLastError(), c.code == NO_ERROR ? 0x5A5Au : c.code);
        EXPECT_EQ(sent(), std::vector<bytes_t>{c.cdb});
    }
    // Long spaces go in 24-bit pieces, and resume after a short recovered piece.
    const bytes_t most = {0x11, 0, 0x7F, 0xFF, 0xFF, 0};
    ASSERT_EQ(SetTapePosition(tape, blocks, 0, 0x01000001, 0, FALSE), NO_ERROR);
    EXPECT_EQ(sent(), (std::vector<bytes_t>{most, most, {0x11, 0, 0, 0, 3, 0}}));
    drive->push(check(recovered, 0, true, -2));  // 3 of 5 passed backward
    ASSERT_EQ(SetTapePosition(tape, blocks, 0, 0xFFFFFFFB, back, FALSE), NO_ERROR);
    EXPECT_EQ(sent(), (std::vector<bytes_t>{{0x11, 0, 0xFF, 0xFF, 0xFB, 0}, {0x11, 0, 0xFF, 0xFF, 0xFE, 0}}));
    drive->push(check(recovered, 0, true, 4));  // nothing passed: no endless loop
    EXPECT_EQ(SetTapePosition(tape, blocks, 0, 4, 0, FALSE), ERROR_IO_DEVICE);
    EXPECT_EQ(sent().size(), 1u);
}

TEST_F(tape_api, position_marks_unload_and_erase)
{
    bytes_t position(20, 0);
    position[4] = 0x01, position[5] = 0x02, position[6] = 0x03, position[7] = 0x04;
    drive->push(good(position));
    DWORD partition = 9, low = 0, high = 9;
    ASSERT_EQ(GetTapePosition(tape, TAPE_LOGICAL_POSITION, &partition, &low, &high), NO_ERROR);
    EXPECT_EQ(low, 0x01020304u);
    EXPECT_EQ(high + partition, 0u);
    EXPECT_EQ(sent(), (std::vector<bytes_t>{{0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0}}));
    position[0] = 0x04;  // block position unknown
    drive->push(good(position));
    EXPECT_EQ(GetTapePosition(tape, TAPE_LOGICAL_POSITION, &partition, &low, &high), ERROR_IO_DEVICE);
    sent();

    drive->push(check(no_sense, eom, true, 0));
    EXPECT_EQ(WriteTapemark(tape, TAPE_FILEMARKS, 2, FALSE), ERROR_END_OF_MEDIA);
    EXPECT_EQ(PrepareTape(tape, TAPE_UNLOAD, FALSE), NO_ERROR);
    EXPECT_EQ(PrepareTape(tape, TAPE_LOAD, FALSE), NO_ERROR);
    EXPECT_EQ(EraseTape(tape, TAPE_ERASE_LONG, FALSE), NO_ERROR);
    drive->push(check(data_protect));
    EXPECT_EQ(EraseTape(tape, TAPE_ERASE_SHORT, FALSE), ERROR_WRITE_PROTECT);
    EXPECT_EQ(sent(), (std::vector<bytes_t>{{0x10, 0, 0, 0, 2, 0}, {0x1B, 0, 0, 0, 0, 0}, {0x1B, 0, 0, 0, 1, 0},
                                            {0x19, 1, 0, 0, 0, 0}, {0x19, 0, 0, 0, 0, 0}}));

    // Requests the drivers never make are refused before any command.
    EXPECT_EQ(SetTapePosition(tape, TAPE_SPACE_SETMARKS, 0, 1, 0, FALSE), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(SetTapePosition(tape, TAPE_SPACE_FILEMARKS, 2, 1, 0, FALSE), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetTapePosition(tape, TAPE_ABSOLUTE_POSITION, &partition, &low, &high), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(WriteTapemark(tape, TAPE_SETMARKS, 1, FALSE), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(EraseTape(tape, 7, FALSE), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(SetTapePosition(INVALID_HANDLE_VALUE, TAPE_REWIND, 0, 0, 0, FALSE), ERROR_INVALID_HANDLE);
}

// MODE SENSE(6) data: header with the device-specific byte, an optional block descriptor, a page.
bytes_t mode_data(uint8_t device_specific, int block_length, bytes_t page = {})
{
    bytes_t data = {0, 0, device_specific, static_cast<uint8_t>(block_length < 0 ? 0 : 8)};
    if (block_length >= 0)
        data.insert(data.end(), {0x42, 0, 0, 0, 0, 0, static_cast<uint8_t>(block_length >> 8),
                                 static_cast<uint8_t>(block_length)});
    data.insert(data.end(), page.begin(), page.end());
    data[0] = static_cast<uint8_t>(data.size() - 1);
    return data;
}

// Page 0x0F with DCE/DCC in byte 2 (PS set as drives report it), or page 0x10 with the zone.
bytes_t page(uint8_t code, uint32_t value)
{
    bytes_t bytes(16, 0);
    bytes[0] = code, bytes[1] = 14;
    if (code == 0x0F)
        bytes[0] |= 0x80, bytes[2] = static_cast<uint8_t>(value), bytes[4] = 0x10;
    else
        bytes[11] = static_cast<uint8_t>(value >> 16), bytes[12] = static_cast<uint8_t>(value >> 8),
        bytes[13] = static_cast<uint8_t>(value);
    return bytes;
}

TEST_F(tape_api, tape_parameters_from_block_limits_and_the_mode_pages)
{
    DWORD size = sizeof(TAPE_GET_DRIVE_PARAMETERS) - 1;
    TAPE_GET_DRIVE_PARAMETERS info{};
    EXPECT_EQ(GetTapeParameters(tape, GET_TAPE_DRIVE_INFORMATION, &size, &info), ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof info);
    drive->push(good({0x00, 0x01, 0x00, 0x00, 0x00, 0x04}));  // max 65536, min 4
    drive->push(good(mode_data(0x10, 1024)));
    drive->push(good(mode_data(0x10, -1, page(0x0F, 0xC0))));
    drive->push(good(mode_data(0x10, -1, page(0x10, 0x012345))));
    ASSERT_EQ(GetTapeParameters(tape, GET_TAPE_DRIVE_INFORMATION, &size, &info), NO_ERROR);
    EXPECT_EQ(info.MaximumBlockSize + info.MinimumBlockSize + info.DefaultBlockSize, 65536u + 4 + 1024);
    EXPECT_EQ(info.Compression, 1);
    EXPECT_EQ(info.FeaturesLow, TAPE_DRIVE_COMPRESSION);
    EXPECT_EQ(info.EOTWarningZoneSize, 0x012345u);
    EXPECT_EQ(sent(), (std::vector<bytes_t>{{0x05, 0, 0, 0, 0, 0}, {0x1A, 0, 0, 0, 255, 0},
                                            {0x1A, 0x08, 0x0F, 0, 255, 0}, {0x1A, 0x08, 0x10, 0, 255, 0}}));
    drive->push(good({0, 0, 0xFF, 0xFF, 0, 1}));
    drive->push(good(mode_data(0x10, 0)));
    drive->push(check(illegal_request));                       // no compression page
    drive->push(good(mode_data(0x10, -1, page(0x0F, 0xC0))));  // not the page asked for
    ASSERT_EQ(GetTapeParameters(tape, GET_TAPE_DRIVE_INFORMATION, &size, &info), NO_ERROR);
    EXPECT_EQ(info.Compression + info.FeaturesLow + info.EOTWarningZoneSize, 0u);
    sent();

    TAPE_GET_MEDIA_PARAMETERS media{};
    size = sizeof media;
    drive->push(good(mode_data(0x90, 512)));
    ASSERT_EQ(GetTapeParameters(tape, GET_TAPE_MEDIA_INFORMATION, &size, &media), NO_ERROR);
    EXPECT_EQ(media.BlockSize, 512u);
    EXPECT_EQ(media.WriteProtected, 1);
    sent();

    // The block size goes out in a descriptor keeping density and buffered mode.
    drive->push(good(mode_data(0x93, 512)));
    TAPE_SET_MEDIA_PARAMETERS variable{0};
    ASSERT_EQ(SetTapeParameters(tape, SET_TAPE_MEDIA_INFORMATION, &variable), NO_ERROR);
    ASSERT_EQ(drive->commands.size(), 2u);
    EXPECT_EQ(drive->commands[1].cdb, (bytes_t{0x15, 0, 0, 0, 12, 0}));
    EXPECT_EQ(drive->commands[1].data_out, (bytes_t{0, 0, 0x13, 8, 0x42, 0, 0, 0, 0, 0, 0, 0}));
    sent();
    variable.BlockSize = 0x1000000;
    EXPECT_EQ(SetTapeParameters(tape, SET_TAPE_MEDIA_INFORMATION, &variable), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(sent().empty());
}

TEST_F(tape_api, drive_settings_select_a_page_only_when_it_changes)
{
    const bytes_t zone_page = page(0x10, 0x1234);
    TAPE_SET_DRIVE_PARAMETERS settings{0, 0, 0, 0, 0x1234};
    drive->push(good(mode_data(0x10, -1, page(0x0F, 0xC0))));
    drive->push(good());  // its MODE SELECT
    drive->push(good(mode_data(0x10, -1, zone_page)));
    ASSERT_EQ(SetTapeParameters(tape, SET_TAPE_DRIVE_INFORMATION, &settings), NO_ERROR);
    ASSERT_EQ(drive->commands.size(), 3u);  // the zone is the drive's: no second MODE SELECT
    bytes_t off = page(0x0F, 0x40);
    off[0] = 0x0F;
    off.insert(off.begin(), {0, 0, 0x10, 0});
    EXPECT_EQ(drive->commands[1].cdb, (bytes_t{0x15, 0x10, 0, 0, 20, 0}));
    EXPECT_EQ(drive->commands[1].data_out, off);
    sent();

    settings.EOTWarningZoneSize = 0x020001;
    drive->push(good(mode_data(0x10, -1, page(0x0F, 0x40))));  // already off: nothing to select
    drive->push(good(mode_data(0x10, -1, zone_page)));
    ASSERT_EQ(SetTapeParameters(tape, SET_TAPE_DRIVE_INFORMATION, &settings), NO_ERROR);
    ASSERT_EQ(drive->commands.size(), 3u);
    bytes_t zone = page(0x10, 0x020001);
    zone.insert(zone.begin(), {0, 0, 0x10, 0});
    EXPECT_EQ(drive->commands[2].data_out, zone);
    sent();

    settings.Compression = 1;
    drive->push(good(mode_data(0x10, -1, page(0x0F, 0x00))));  // not capable
    EXPECT_EQ(SetTapeParameters(tape, SET_TAPE_DRIVE_INFORMATION, &settings), ERROR_INVALID_FUNCTION);
    EXPECT_EQ(sent().size(), 1u);
}

}  // namespace
