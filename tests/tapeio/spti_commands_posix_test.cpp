// The command each operation of the SCSI driver sends: CDB, data phase, time-out and SCSI address,
// and where its data lies in the transfer buffer.
#include <gtest/gtest.h>

#include <functional>

#include "tapeio/s2pti_tape_io.h"
#include "tests/tapeio/spti_scripted_drive_posix.h"

namespace {

using namespace spti_test;

constexpr uint8_t data_in = SCSI_IOCTL_DATA_IN;
constexpr uint8_t data_out = SCSI_IOCTL_DATA_OUT;
constexpr uint32_t one_block = 60;
constexpr uint32_t long_move = 86400;

using operation_t = std::function<int32_t(tape_io_t&, tape_io_handle_t*, uint8_t*)>;

struct command_case_t {
    const char* name;
    operation_t operation;
    std::vector<uint8_t> cdb;
    uint8_t direction;
    uint32_t data_length;
    uint32_t timeout;
};

TEST(spti_commands, every_operation_sends_its_cdb_data_phase_time_out_and_address)
{
    const std::vector<command_case_t> cases = {
        {"read 65536", [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.read_forward(h, b, 65536); },
         {0x08, 0x00, 0x00, 0xFE, 0x00, 0x00}, data_in, 65024, one_block},
        {"read above 65536", [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.read_forward(h, b, 70000); },
         {0x08, 0x00, 0x00, 0xFE, 0x00, 0x00}, data_in, 65024, one_block},
        {"read 1024", [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.read_forward(h, b, 1024); },
         {0x08, 0x00, 0x00, 0x02, 0x00, 0x00}, data_in, 512, one_block},
        {"write 100", [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.write_record(h, b, 100); },
         {0x0A, 0x00, 0x00, 0x00, 0x64, 0x00}, data_out, 100, one_block},
        {"write 65024", [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.write_record(h, b, 65024); },
         {0x0A, 0x00, 0x00, 0xFE, 0x00, 0x00}, data_out, 65024, one_block},
        {"tape mark", [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.write_tape_mark(h, b, 0); },
         {0x10, 0x00, 0x00, 0x00, 0x01, 0x00}, data_out, 0, one_block},
        {"flush", [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.flush(h, b, 0); },
         {0x10, 0x00, 0x00, 0x00, 0x00, 0x00}, data_out, 0, long_move},
        {"rewind", [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.rewind(h, b, 0); },
         {0x01, 0x00, 0x00, 0x00, 0x00, 0x00}, data_out, 0, long_move},
        {"erase", [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.erase(h, b, 0); },
         {0x19, 0x01, 0x00, 0x00, 0x00, 0x00}, data_out, 0, long_move},
        {"unload", [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.unload(h, b, 0); },
         {0x1B, 0x00, 0x00, 0x00, 0x00, 0x00}, data_out, 0, long_move},
        {"file forward", [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.space_file_forward(h, b, 0); },
         {0x11, 0x00, 0x7F, 0xFF, 0xFF, 0x00}, data_out, 0, long_move},
        {"file reverse", [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.space_file_reverse(h, b, 0); },
         {0x11, 0x00, 0x80, 0x00, 0x01, 0x00}, data_out, 0, long_move},
        {"records forward 0",
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.space_record_forward(h, b, 0, 0); },
         {0x11, 0x00, 0x00, 0x00, 0x00, 0x00}, data_out, 0, one_block},
        {"records forward 9000000",
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.space_record_forward(h, b, 0, 9000000); },
         {0x11, 0x00, 0x7F, 0xFF, 0xFF, 0x00}, data_out, 0, one_block},
        {"records forward 0xFFFFFFFF",
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.space_record_forward(h, b, 0, 0xFFFFFFFF); },
         {0x11, 0x00, 0x7F, 0xFF, 0xFF, 0x00}, data_out, 0, one_block},
        {"records reverse 10",
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.space_record_reverse(h, b, 0, 10); },
         {0x11, 0x00, 0xFF, 0xFF, 0xF6, 0x00}, data_out, 0, one_block},
        {"records reverse 9000000",
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.space_record_reverse(h, b, 0, 9000000); },
         {0x11, 0x00, 0x80, 0x00, 0x01, 0x00}, data_out, 0, one_block},
        {"step forward 3",
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.step_record_forward(h, b, 0, 3); },
         {0x11, 0x00, 0x00, 0x00, 0x03, 0x00}, data_out, 0, one_block},
        {"step reverse 3",
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* b) { return d.step_record_reverse(h, b, 0, 3); },
         {0x11, 0x00, 0xFF, 0xFF, 0xFD, 0x00}, data_out, 0, long_move},
    };
    scripted_drive_t drive("spti-commands", 71);
    s2pti_tape_io_t driver;
    struct address_t {
        int32_t path, target, lun;
        uint8_t sent_path, sent_target, sent_lun;
    };
    // As attached (-1 everywhere), and as dump sets it; only the low bytes travel.
    for (address_t address : {address_t{-1, -1, -1, 0xFF, 0xFF, 0xFF}, address_t{0x102, 4, 0, 0x02, 0x04, 0x00}}) {
        for (const command_case_t& c : cases) {
            SCOPED_TRACE(c.name);
            drive.script({});
            drive.handle.path_id = address.path;
            drive.handle.target_id = address.target;
            drive.handle.lun = address.lun;
            c.operation(driver, &drive.handle, drive.buffer.data());
            ASSERT_EQ(drive.device->commands.size(), 1u);
            const scripted_command_t& sent = drive.device->commands[0];
            EXPECT_EQ(sent.cdb, c.cdb);
            EXPECT_EQ(sent.direction, c.direction);
            EXPECT_EQ(sent.data_length, c.data_length);
            EXPECT_EQ(sent.timeout_seconds, c.timeout);
            EXPECT_EQ(sent.path_id, address.sent_path);
            EXPECT_EQ(sent.target_id, address.sent_target);
            EXPECT_EQ(sent.lun, address.sent_lun);
        }
    }
}

TEST(spti_commands, record_data_lies_at_512_and_the_bytes_before_it_stay)
{
    scripted_drive_t drive("spti-data", 72);
    s2pti_tape_io_t driver;
    uint8_t* buffer = drive.buffer.data();
    std::vector<uint8_t> record(100);
    for (size_t i = 0; i < record.size(); ++i)
        record[i] = static_cast<uint8_t>(i * 7 + 3);

    std::fill(drive.buffer.begin(), drive.buffer.end(), 0xEE);
    scripted_reply_t reply = check(sense(no_sense, ili, true, 65024 - 100));
    reply.data_in = record;
    drive.script({reply});
    EXPECT_EQ(driver.read_forward(&drive.handle, buffer, 65536), 100);
    EXPECT_EQ(std::vector<uint8_t>(buffer + 512, buffer + 612), record);
    EXPECT_EQ(buffer[612], 0xEE);
    EXPECT_EQ(std::vector<uint8_t>(buffer + 192, buffer + 512), std::vector<uint8_t>(320, 0xEE));

    std::fill(drive.buffer.begin(), drive.buffer.end(), 0xEE);
    std::copy(record.begin(), record.end(), buffer + 512);
    drive.script({});
    EXPECT_EQ(driver.write_record(&drive.handle, buffer, 100), 100);
    ASSERT_EQ(drive.device->commands.size(), 1u);
    EXPECT_EQ(drive.device->commands[0].data_out, record);
    EXPECT_EQ(std::vector<uint8_t>(buffer + 192, buffer + 512), std::vector<uint8_t>(320, 0xEE));
}

TEST(spti_commands, a_buffer_too_small_for_any_data_sends_nothing)
{
    scripted_drive_t drive("spti-small", 73);
    s2pti_tape_io_t driver;
    drive.script({});
    EXPECT_EQ(driver.read_forward(&drive.handle, drive.buffer.data(), 511), -3);
    EXPECT_EQ(drive.handle.last_error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(drive.handle.block_count, 0);
    EXPECT_TRUE(drive.device->commands.empty());
}

TEST(spti_commands, rewind_sends_the_very_same_request_again_after_check_condition)
{
    scripted_drive_t drive("spti-rewind", 74);
    s2pti_tape_io_t driver;
    drive.handle.target_id = 6;
    drive.script({check(sense(unit_attention)), good()});
    EXPECT_EQ(driver.rewind(&drive.handle, drive.buffer.data(), 65536), 1);
    ASSERT_EQ(drive.device->commands.size(), 2u);
    const scripted_command_t& first = drive.device->commands[0];
    const scripted_command_t& second = drive.device->commands[1];
    EXPECT_EQ(second.cdb, first.cdb);
    EXPECT_EQ(second.timeout_seconds, 86400u);
    EXPECT_EQ(second.target_id, 6);
}

}  // namespace
