// setup of the tape-API driver: the drive switches, variable blocks and buffered mode, on a
// scripted drive command by command and on the virtual drive by its state afterwards.
#include "tapeio/spti_request.h"
#include "tapeio/tape_io_objects.h"
#include "tests/tapeio/physical_tape_io_fixture_posix.h"
#include "tests/tapeio/spti_scripted_drive_posix.h"

namespace {

using namespace spti_test;
using bytes_t = std::vector<uint8_t>;

bytes_t six_byte_mode(uint8_t medium, uint8_t device_specific, uint32_t block_length, bytes_t page = {})
{
    bytes_t data = {0, medium, device_specific, 8, 0x42, 0, 0, 0, 0, static_cast<uint8_t>(block_length >> 16),
                    static_cast<uint8_t>(block_length >> 8), static_cast<uint8_t>(block_length)};
    data.insert(data.end(), page.begin(), page.end());
    data[0] = static_cast<uint8_t>(data.size() - 1);
    return data;
}

bytes_t page_only(bytes_t page)
{
    bytes_t data = {static_cast<uint8_t>(3 + page.size()), 0, 0x10, 0};
    data.insert(data.end(), page.begin(), page.end());
    return data;
}

bytes_t compression_page(bool enabled)
{
    bytes_t page(16, 0);
    page[0] = 0x0F, page[1] = 14, page[2] = static_cast<uint8_t>(0x40 | (enabled ? 0x80 : 0));
    return page;
}

bytes_t configuration_page(uint32_t zone)
{
    bytes_t page(16, 0);
    page[0] = 0x10, page[1] = 14;
    page[11] = static_cast<uint8_t>(zone >> 16), page[12] = static_cast<uint8_t>(zone >> 8);
    page[13] = static_cast<uint8_t>(zone);
    return page;
}

// Ten-byte mode data: the length field, medium type 0x33, the device-specific byte, bytes 4 and 5.
bytes_t ten_byte_header(uint16_t length_field, uint8_t device_specific)
{
    return {static_cast<uint8_t>(length_field >> 8), static_cast<uint8_t>(length_field), 0x33, device_specific,
            0x01, 0x02, 0, 8, 0x42, 0, 0, 0, 0, 0, 0x02, 0};
}

const bytes_t sense10 = {0x5A, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0};
const bytes_t select10 = {0x55, 0, 0, 0, 0, 0, 0, 0, 8, 0};
const bytes_t sense6 = {0x1A, 0, 0, 0, 0xFF, 0};
const bytes_t select6 = {0x15, 0, 0, 0, 4, 0};

TEST(physical_setup, turns_compression_off_keeps_the_reported_zone_selects_variable_blocks_and_buffering)
{
    scripted_drive_t drive("physical-setup-all", 85);
    drive.script({
        good({0x00, 0x01, 0x00, 0x00, 0x00, 0x01}),           // READ BLOCK LIMITS
        good(six_byte_mode(0, 0x10, 512)),                    // default block size 512
        good(page_only(compression_page(true))),              // compression on and settable
        good(page_only(configuration_page(0x1234))),          // the drive's warning zone
        good(page_only(compression_page(true))),              // SetTapeParameters: compression page
        good(),                                               // its MODE SELECT
        good(page_only(configuration_page(0x1234))),          // the zone sent equals the drive's
        good(six_byte_mode(0, 0x10, 512)),                    // media: block size 512
        good(six_byte_mode(0, 0x10, 512)),                    // SetTapeParameters: header and descriptor
        good(),                                               // its MODE SELECT
        good(ten_byte_header(14, 0x85)),                      // buffered mode 0, write protect and speed 5
        good(),                                               // MODE SELECT(10)
    });
    EXPECT_EQ(physical_tape_io.setup(&drive.handle, drive.buffer.data(), 65536), 0);
    EXPECT_EQ(drive.handle.last_error, 0u);
    const std::vector<scripted_command_t>& sent = drive.device->commands;
    ASSERT_EQ(sent.size(), 12u);  // a zone other than the drive's would add a MODE SELECT at 7
    EXPECT_EQ(sent[5].cdb, (bytes_t{0x15, 0x10, 0, 0, 20, 0}));
    EXPECT_EQ(sent[5].data_out[4 + 2], 0x40);  // DCE off, DCC as reported
    EXPECT_EQ(sent[6].cdb, (bytes_t{0x1A, 0x08, 0x10, 0, 0xFF, 0}));
    EXPECT_EQ(sent[9].cdb, (bytes_t{0x15, 0, 0, 0, 12, 0}));
    EXPECT_EQ(sent[9].data_out, (bytes_t{0, 0, 0x10, 8, 0x42, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(sent[10].cdb, sense10);
    EXPECT_EQ(sent[10].direction, SCSI_IOCTL_DATA_IN);
    EXPECT_EQ(sent[10].data_length, 255u);
    EXPECT_EQ(sent[10].timeout_seconds, 60u);
    EXPECT_EQ(sent[11].cdb, select10);
    EXPECT_EQ(sent[11].data_out, (bytes_t{0, 0, 0x33, 0x15, 0x01, 0x02, 0, 0}));
    EXPECT_EQ(sent[11].timeout_seconds, 60u);
}

struct buffered_case_t {
    const char* what;
    std::vector<scripted_reply_t> replies;  // after the two refused parameter queries
    std::vector<bytes_t> cdbs;              // the mode commands sent
    bytes_t selected;                       // the MODE SELECT's header, if one is sent
};

TEST(physical_setup, buffered_mode_through_one_sense_and_select_pair_ten_byte_first)
{
    scripted_drive_t drive("physical-setup-buffered", 86);
    const scripted_reply_t refused = check(sense(illegal_request));
    const buffered_case_t cases[] = {
        {"ten-byte, buffered mode 0", {good(ten_byte_header(6, 0x03))}, {sense10, select10},
         {0, 0, 0x33, 0x13, 0x01, 0x02, 0, 0}},
        {"ten-byte, already buffered", {good(ten_byte_header(6, 0x20))}, {sense10}, {}},
        {"no ten-byte: six-byte, buffered mode 0", {refused, good({3, 0x33, 0x87, 8})}, {sense10, sense6, select6},
         {0, 0x33, 0x17, 0}},
        {"no ten-byte: six-byte, already buffered", {refused, good({3, 0x33, 0x10, 0})}, {sense10, sense6}, {}},
        {"ten-byte header short", {good(ten_byte_header(5, 0x00)), good({3, 0, 0x00, 0})},
         {sense10, sense6, select6}, {0, 0, 0x10, 0}},
        {"ten-byte call fails, six-byte header short", {call_fails(ERROR_SEM_TIMEOUT), good({2, 0, 0, 0})},
         {sense10, sense6}, {}},
        {"neither answered", {refused, status(status_busy)}, {sense10, sense6}, {}},
    };
    for (const buffered_case_t& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<scripted_reply_t> replies = {refused, refused};  // drive and media queries
        replies.insert(replies.end(), c.replies.begin(), c.replies.end());
        drive.script(replies);
        EXPECT_EQ(physical_tape_io.setup(&drive.handle, drive.buffer.data(), 65536), 0);
        const std::vector<scripted_command_t>& sent = drive.device->commands;
        ASSERT_EQ(sent.size(), 2 + c.cdbs.size());
        EXPECT_EQ(sent[0].cdb, (bytes_t{0x05, 0, 0, 0, 0, 0}));
        for (size_t i = 0; i < c.cdbs.size(); ++i)
            EXPECT_EQ(sent[2 + i].cdb, c.cdbs[i]) << i;
        if (!c.selected.empty()) {
            EXPECT_EQ(sent.back().data_out, c.selected);
        }
    }
}

TEST(physical_setup, a_buffer_without_room_for_the_mode_data_sends_no_mode_command)
{
    scripted_drive_t drive("physical-setup-small", 84);
    const scripted_reply_t refused = check(sense(illegal_request));
    drive.script({refused, refused, good(ten_byte_header(6, 0x03))});
    EXPECT_EQ(physical_tape_io.setup(&drive.handle, drive.buffer.data(), 4350), 0);
    ASSERT_EQ(drive.device->commands.size(), 2u);  // the two parameter queries only
    EXPECT_EQ(drive.device->commands[1].cdb, (bytes_t{0x1A, 0, 0, 0, 0xFF, 0}));
    drive.script({refused, refused, good(ten_byte_header(6, 0x03))});
    EXPECT_EQ(physical_tape_io.setup(&drive.handle, drive.buffer.data(), 4351), 0);
    EXPECT_EQ(drive.device->commands.size(), 4u);
}

// The device-specific byte of the virtual drive's current mode data.
uint8_t device_specific(tape_io_handle_t& handle, uint8_t* buffer)
{
    init_request(&handle, buffer);
    spti_request_t* request = request_block(buffer);
    const uint8_t cdb[6] = {0x1A, 0, 0, 0, 255, 0};
    std::memcpy(request->sptd.Cdb, cdb, sizeof cdb);
    request->sptd.CdbLength = 6;
    request->sptd.DataIn = SCSI_IOCTL_DATA_IN;
    request->sptd.DataTransferLength = 255;
    request->sptd.DataBuffer = buffer + 512;
    request->sptd.TimeOutValue = 60;
    EXPECT_TRUE(send_request(&handle, request));
    EXPECT_EQ(request->sptd.ScsiStatus, 0);
    return buffer[512 + 2];
}

TEST(physical_setup, on_the_virtual_drive_buffering_and_variable_blocks_hold_afterwards)
{
    physical_test::scratch_directory_t directory;
    physical_test::write_medium(directory.file("tape.brx"), {10, 0});
    const std::pair<const char*, uint8_t> drives[] = {{"?bufmode=0&speed=3", 0x13}, {"?bufmode=2&speed=3", 0x23}};
    for (const auto& [options, after] : drives) {
        SCOPED_TRACE(options);
        physical_test::tape_drive_t drive("vtape:" + directory.file("tape.brx") + options, 87);
        TAPE_SET_MEDIA_PARAMETERS fixed{512};
        ASSERT_EQ(SetTapeParameters(drive.handle.get_os_handle(), SET_TAPE_MEDIA_INFORMATION, &fixed), NO_ERROR);
        EXPECT_EQ(physical_tape_io.setup(&drive.handle, drive.buffer.data(), 65536), 0);
        EXPECT_EQ(device_specific(drive.handle, drive.buffer.data()), after);
        TAPE_GET_MEDIA_PARAMETERS media{};
        DWORD length = sizeof media;
        ASSERT_EQ(GetTapeParameters(drive.handle.get_os_handle(), GET_TAPE_MEDIA_INFORMATION, &length, &media),
                  NO_ERROR);
        EXPECT_EQ(media.BlockSize, 0u);
        EXPECT_EQ(physical_tape_io.rewind(&drive.handle, drive.buffer.data(), 65536), 1);
        EXPECT_EQ(physical_tape_io.read_forward(&drive.handle, drive.buffer.data(), 65536), 10);
    }
}

}  // namespace
