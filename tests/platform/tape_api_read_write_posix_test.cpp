// ReadFile and WriteFile on a tape handle: READ(6)/WRITE(6) and what each outcome answers.
#include "tests/platform/tape_api_fixture_posix.h"

namespace {

constexpr uint8_t no_sense = 0, recovered = 1, not_ready = 2, medium_error = 3, hardware_error = 4,
                  illegal_request = 5, unit_attention = 6, data_protect = 7, blank_check = 8, volume_overflow = 13;
constexpr uint8_t filemark = 0x80, eom = 0x40, ili = 0x20;

struct read_case_t {
    const char* what;
    scripted_reply_t reply;
    BOOL result;
    DWORD error;  // GetLastError after a failure
    DWORD count;
};

using tape_read_file = scripted_tape_t;

TEST_F(tape_read_file, each_outcome_of_read6_answers_as_a_tape_class_driver)
{
    scripted_reply_t call_failed;
    call_failed.error = ERROR_SEM_TIMEOUT;
    scripted_reply_t busy;
    busy.status = 0x08;
    const read_case_t cases[] = {
        {"record of the asked length", good_with(std::vector<uint8_t>(100, 0x5A)), TRUE, 0, 100},
        {"tape mark", check_condition(tape_sense(no_sense, filemark | ili, true, 100)), FALSE,
         ERROR_FILEMARK_DETECTED, 0},
        {"end of data", check_condition(tape_sense(blank_check, 0, true, 100)), FALSE, ERROR_NO_DATA_DETECTED, 0},
        {"end of medium", check_condition(tape_sense(medium_error, eom, true, 100)), FALSE, ERROR_END_OF_MEDIA, 0},
        {"short record", check_condition(tape_sense(no_sense, ili, true, 60)), TRUE, 0, 40},
        {"short record, recovered", check_condition(tape_sense(recovered, ili, true, 1)), TRUE, 0, 99},
        {"long record", check_condition(tape_sense(no_sense, ili, true, -28)), FALSE, ERROR_MORE_DATA, 100},
        {"length mismatch without residue", check_condition(tape_sense(no_sense, ili)), FALSE,
         ERROR_INVALID_BLOCK_LENGTH, 0},
        {"recovered error", check_condition(tape_sense(recovered)), TRUE, 0, 100},
        {"unreadable block", check_condition(tape_sense(medium_error)), FALSE, ERROR_CRC, 0},
        {"no medium", check_condition(tape_sense(not_ready, 0, false, 0, 0x3A)), FALSE, ERROR_NO_MEDIA_IN_DRIVE, 0},
        {"becoming ready", check_condition(tape_sense(not_ready, 0, false, 0, 0x04)), FALSE, ERROR_NOT_READY, 0},
        {"medium changed", check_condition(tape_sense(unit_attention, 0, false, 0, 0x28)), FALSE,
         ERROR_MEDIA_CHANGED, 0},
        {"reset", check_condition(tape_sense(unit_attention, 0, false, 0, 0x29)), FALSE, ERROR_BUS_RESET, 0},
        {"write protected", check_condition(tape_sense(data_protect)), FALSE, ERROR_WRITE_PROTECT, 0},
        {"hardware error", check_condition(tape_sense(hardware_error)), FALSE, ERROR_IO_DEVICE, 0},
        {"illegal request", check_condition(tape_sense(illegal_request)), FALSE, ERROR_INVALID_FUNCTION, 0},
        {"sense not delivered", check_condition({}), FALSE, ERROR_IO_DEVICE, 0},
        {"descriptor-format sense", check_condition({0x72, 0x08, 0, 0}), FALSE, ERROR_IO_DEVICE, 0},
        {"busy", busy, FALSE, ERROR_BUSY, 0},
        {"call failed", call_failed, FALSE, ERROR_SEM_TIMEOUT, 0},
    };
    for (const read_case_t& c : cases) {
        SCOPED_TRACE(c.what);
        drive->push(c.reply);
        uint8_t buffer[100] = {};
        DWORD count = 0xDEAD;
        SetLastError(0x5A5A);
        EXPECT_EQ(ReadFile(tape, buffer, sizeof buffer, &count, nullptr), c.result);
        if (!c.result) {
            EXPECT_EQ(GetLastError(), c.error);
        }
        EXPECT_EQ(count, c.count);
        scripted_command_t sent = only_command();
        EXPECT_EQ(sent.cdb, (std::vector<uint8_t>{0x08, 0x00, 0x00, 0x00, 100, 0x00}));
        EXPECT_EQ(sent.direction, SCSI_IOCTL_DATA_IN);
        EXPECT_EQ(sent.data_length, 100u);
    }
}

TEST_F(tape_read_file, record_data_lands_in_the_callers_buffer)
{
    drive->push(good_with({1, 2, 3, 4}));
    uint8_t buffer[4] = {};
    DWORD count = 0;
    ASSERT_TRUE(ReadFile(tape, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST_F(tape_read_file, a_length_beyond_24_bits_is_refused_without_a_command)
{
    DWORD count = 7;
    EXPECT_FALSE(ReadFile(tape, nullptr, 0x1000000, &count, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(drive->commands.empty());
}

struct write_case_t {
    const char* what;
    scripted_reply_t reply;
    BOOL result;
    DWORD error;
    DWORD written;
};

using tape_write_file = scripted_tape_t;

TEST_F(tape_write_file, each_outcome_of_write6_answers_as_a_tape_class_driver)
{
    const write_case_t cases[] = {
        {"written", scripted_reply_t{}, TRUE, 0, 64},
        {"early warning: written, end reported", check_condition(tape_sense(no_sense, eom, true, 0)), FALSE,
         ERROR_END_OF_MEDIA, 64},
        {"early warning without residue", check_condition(tape_sense(recovered, eom)), FALSE, ERROR_END_OF_MEDIA, 64},
        {"medium full: nothing written", check_condition(tape_sense(volume_overflow, eom, true, 64)), FALSE,
         ERROR_END_OF_MEDIA, 0},
        {"medium full without residue", check_condition(tape_sense(volume_overflow, eom)), FALSE,
         ERROR_END_OF_MEDIA, 0},
        {"write protected", check_condition(tape_sense(data_protect)), FALSE, ERROR_WRITE_PROTECT, 0},
        {"medium error", check_condition(tape_sense(medium_error)), FALSE, ERROR_CRC, 0},
        {"recovered error", check_condition(tape_sense(recovered)), TRUE, 0, 64},
    };
    std::vector<uint8_t> record(64);
    for (size_t i = 0; i < record.size(); ++i)
        record[i] = static_cast<uint8_t>(i * 3);
    for (const write_case_t& c : cases) {
        SCOPED_TRACE(c.what);
        drive->push(c.reply);
        DWORD written = 0xDEAD;
        EXPECT_EQ(WriteFile(tape, record.data(), 64, &written, nullptr), c.result);
        if (!c.result) {
            EXPECT_EQ(GetLastError(), c.error);
        }
        EXPECT_EQ(written, c.written);
        scripted_command_t sent = only_command();
        EXPECT_EQ(sent.cdb, (std::vector<uint8_t>{0x0A, 0x00, 0x00, 0x00, 64, 0x00}));
        EXPECT_EQ(sent.direction, SCSI_IOCTL_DATA_OUT);
        EXPECT_EQ(sent.data_out, record);
    }
}

}  // namespace
