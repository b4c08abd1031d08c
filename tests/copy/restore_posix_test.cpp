// Restore against a scripted drive: the requests it builds, the set-up outcome rule, the loop
// outcome rule and the ends of damaged files, with the exact messages on console and log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "copy/copy_context.h"
#include "copy/restore.h"
#include "frontend/front_end_state.h"
#include "frontend/report.h"
#include "frontend/system_error_text.h"
#include "tests/support/run_brx.h"
#include "tests/support/scripted_device_posix.h"

namespace {

using bytes_t = std::vector<uint8_t>;

constexpr uint8_t check_condition = 0x02;

// Fixed-format sense: key with its flags in byte 2, ASC and ASCQ in bytes 12 and 13.
bytes_t sense(uint8_t key_and_flags, uint8_t asc = 0, uint8_t ascq = 0)
{
    bytes_t bytes(18, 0);
    bytes[0] = 0x70;
    bytes[2] = key_and_flags;
    bytes[7] = 10;
    bytes[12] = asc;
    bytes[13] = ascq;
    return bytes;
}

scripted_reply_t answer(uint8_t key_and_flags, uint8_t asc = 0, uint8_t ascq = 0)
{
    return {NO_ERROR, check_condition, sense(key_and_flags, asc, ascq), {}};
}

scripted_reply_t good(bytes_t data_in = {}) { return {NO_ERROR, 0, {}, std::move(data_in)}; }

scripted_reply_t call_fails(DWORD code) { return {code, 0, {}, {}}; }

const bytes_t sensed_header = {0x13, 0x00, 0x00, 0x00};
const bytes_t limits_min_1 = {0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x01};

std::string block(const std::string& data)
{
    const uint32_t n = static_cast<uint32_t>(data.size());
    std::string header = {char(n >> 24), char(n >> 16), char(n >> 8), char(n), 0, 0, 0, 1};
    return header + data;
}

std::string system_text(DWORD code) { return system_error_text(code); }

// Each write of an unnumbered failure message looks the system's text up itself.
int lookups;
const char* counting_text(DWORD code)
{
    ++lookups;
    return system_error_text(code);
}

class restore_test : public ::testing::Test {
protected:
    void SetUp() override
    {
        register_scripted_device("restore_test", drive);
        setenv("BRX_TAPE9", "script:restore_test", 1);
        buffer.assign(transfer_buffer_size, 0xEE);
        copy_context.buffer = buffer.data();
        copy_context.report = report;
        copy_context.system_error_text = system_error_text;
    }

    void TearDown() override
    {
        unsetenv("BRX_TAPE9");
    }

    // The four set-up commands answered as a drive that is ready and takes any record length.
    void ready_drive()
    {
        drive->push(good());
        drive->push(good(sensed_header));
        drive->push(good());
        drive->push(good(limits_min_1));
    }

    // Restores file contents to \\.\tape9; the console must say what the log says.
    int restore(const std::string& contents, const char* device = "\\\\.\\tape9")
    {
        directory.write("in.dmp", contents);
        std::string file = directory.file("in.dmp");
        std::string name = device;
        FILE* log = tmpfile();
        copy_context.log_stream = log;
        front_end.log_stream = log;  // report writes the front end's log
        testing::internal::CaptureStderr();
        const int result = restore_tape(file.data(), name.data());
        console = testing::internal::GetCapturedStderr();
        fflush(log);
        rewind(log);
        logged.clear();
        for (int c; (c = fgetc(log)) != EOF;)
            logged.push_back(static_cast<char>(c));
        copy_context.log_stream = nullptr;
        front_end.log_stream = nullptr;
        fclose(log);
        EXPECT_EQ(console, logged);
        return result;
    }

    std::shared_ptr<scripted_device_t> drive = std::make_shared<scripted_device_t>();
    scratch_directory_t directory;
    std::vector<uint8_t> buffer;
    std::string console;
    std::string logged;
};

TEST_F(restore_test, set_up_requests_carry_the_exact_commands_and_address)
{
    const struct {
        const char* device;
        uint8_t path_id, target_id;
    } cases[] = {{"\\\\.\\TAPE9", 0, 0}, {"\\\\.\\scsi4:1:6", 1, 6}, {"\\\\.\\scsi4", 0, 0}};
    setenv("BRX_SCSI4", "script:restore_test", 1);
    for (const auto& c : cases) {
        drive->commands.clear();
        ready_drive();
        EXPECT_EQ(restore("", c.device), 0) << c.device;
        EXPECT_EQ(console, "");
        ASSERT_EQ(drive->commands.size(), 4u) << c.device;
        const bytes_t cdbs[] = {{0x01, 0, 0, 0, 0, 0}, {0x1A, 0, 0, 0, 4, 0}, {0x15, 0, 0, 0, 4, 0}, {0x05, 0, 0, 0, 0, 0}};
        const uint8_t directions[] = {SCSI_IOCTL_DATA_UNSPECIFIED, SCSI_IOCTL_DATA_IN, SCSI_IOCTL_DATA_OUT,
                                      SCSI_IOCTL_DATA_IN};
        const uint32_t lengths[] = {0, 4, 4, 65536};
        for (size_t i = 0; i < 4; ++i) {
            const scripted_command_t& command = drive->commands[i];
            EXPECT_EQ(command.cdb, cdbs[i]) << c.device << " command " << i;
            EXPECT_EQ(command.direction, directions[i]) << i;
            EXPECT_EQ(command.data_length, lengths[i]) << i;
            EXPECT_EQ(command.timeout_seconds, 255u) << i;
            EXPECT_EQ(command.path_id, c.path_id) << c.device;
            EXPECT_EQ(command.target_id, c.target_id) << c.device;
            EXPECT_EQ(command.lun, 0);
        }
    }
    unsetenv("BRX_SCSI4");
}

TEST_F(restore_test, mode_select_sends_the_sensed_header_with_buffered_mode_1)
{
    const struct {
        bytes_t sensed, sent;
    } cases[] = {
        {{0x13, 0x00, 0x00, 0x08}, {0, 0, 0x10, 0}},
        {{0x03, 0x7F, 0xFF, 0x00}, {0, 0, 0x9F, 0}},  // write protect and speed kept
        {{0x0B, 0x01, 0x25, 0x08}, {0, 0, 0x15, 0}},  // buffered mode 2 becomes 1
    };
    for (const auto& c : cases) {
        drive->commands.clear();
        drive->push(good());
        drive->push(good(c.sensed));
        drive->push(good());
        drive->push(good(limits_min_1));
        EXPECT_EQ(restore(""), 0);
        ASSERT_EQ(drive->commands.size(), 4u);
        EXPECT_EQ(drive->commands[2].data_out, c.sent);
    }
}

TEST_F(restore_test, records_and_tape_marks_become_writes_and_write_filemarks)
{
    std::string one(1, 'x'), medium(300, 'm'), largest(65536, '\0');
    for (size_t i = 0; i < largest.size(); ++i)
        largest[i] = static_cast<char>(i * 7 + 3);
    ready_drive();
    EXPECT_EQ(restore(block(one) + block("") + block(medium) + block("") + block("") + block(largest)), 0);
    EXPECT_EQ(console, "");
    ASSERT_EQ(drive->commands.size(), 4u + 6u);
    const bytes_t mark = {0x10, 0, 0, 0, 1, 0};
    const struct {
        bytes_t cdb;
        const std::string* data;
    } expected[] = {{{0x0A, 0, 0, 0, 1, 0}, &one},     {mark, nullptr}, {{0x0A, 0, 0, 0x01, 0x2C, 0}, &medium},
                    {mark, nullptr},                   {mark, nullptr}, {{0x0A, 0, 0x01, 0, 0, 0}, &largest}};
    for (size_t i = 0; i < 6; ++i) {
        const scripted_command_t& command = drive->commands[4 + i];
        EXPECT_EQ(command.cdb, expected[i].cdb) << i;
        EXPECT_EQ(command.timeout_seconds, 255u);
        if (expected[i].data == nullptr) {
            EXPECT_EQ(command.direction, SCSI_IOCTL_DATA_UNSPECIFIED) << i;
            EXPECT_EQ(command.data_length, 0u) << i;
        } else {
            EXPECT_EQ(command.direction, SCSI_IOCTL_DATA_OUT) << i;
            EXPECT_EQ(std::string(command.data_out.begin(), command.data_out.end()), *expected[i].data) << i;
        }
    }
}

TEST_F(restore_test, set_up_outcome_rule)
{
    const char* failure_texts[] = {"Failed to rewind tape: ", "Failed to mode sense the tape: ",
                                   "Failed to mode select the tape: ", "Failed to read block limits tape: "};
    const std::string path = "\\\\.\\Tape9";
    for (size_t step = 0; step < 4; ++step) {
        const struct {
            scripted_reply_t reply;
            int result;
            std::string message;
        } cases[] = {
            {call_fails(ERROR_IO_DEVICE), 1, failure_texts[step] + system_text(ERROR_IO_DEVICE) + "\n"},
            {answer(0x02, 0x04, 0x01), 1, path + ": device not ready\n"},
            {answer(0x03, 0x11, 0x00), 1, path + ": fatal error (70...03...11 00)\n"},
            {answer(0x45, 0x24, 0x00), 1, path + ": fatal error (70...45...24 00)\n"},
            {answer(0x0F), 1, path + ": fatal error (70...0F...00 00)\n"},
            {answer(0x00, 0x00, 0x16), 0, ""},  // NO SENSE and RECOVERED ERROR let the step pass
            {answer(0x81, 0x17, 0x01), 0, ""},
        };
        for (const auto& c : cases) {
            drive->commands.clear();
            drive->replies.clear();
            const scripted_reply_t normal[] = {good(), good(sensed_header), good(), good(limits_min_1)};
            for (size_t i = 0; i < 4; ++i) {
                if (i == step)
                    drive->push(c.reply);
                if (i == step && c.result == 0 && step == 3)
                    drive->replies.back().data_in = limits_min_1;
                if (i == step && c.result == 0 && step == 1)
                    drive->replies.back().data_in = sensed_header;
                if (i != step)
                    drive->push(normal[i]);
            }
            copy_context.system_error_text = counting_text;
            lookups = 0;
            EXPECT_EQ(restore(block("r")), c.result) << "step " << step << ": " << c.message;
            EXPECT_EQ(console, c.message) << "step " << step;
            EXPECT_EQ(lookups, c.reply.error != NO_ERROR ? 2 : 0) << "step " << step << ": " << c.message;
            // A failed step sends nothing further.
            EXPECT_EQ(drive->commands.size(), c.result == 1 ? step + 1 : 5u) << "step " << step;
        }
    }
}

TEST_F(restore_test, unit_attention_is_answered_by_a_fresh_request_up_to_100_times)
{
    for (int attentions : {1, 99, 100}) {
        drive->commands.clear();
        drive->replies.clear();
        for (int i = 0; i < attentions; ++i)
            drive->push(answer(0x06, 0x28, 0x00));
        ready_drive();
        const bool gives_up = attentions == 100;
        EXPECT_EQ(restore(""), gives_up ? 1 : 0) << attentions;
        EXPECT_EQ(console, gives_up ? "\\\\.\\Tape9: fatal error (70...06...28 00)\n" : "") << attentions;
        const size_t rewinds = gives_up ? 100 : static_cast<size_t>(attentions) + 1;
        ASSERT_EQ(drive->commands.size(), rewinds + (gives_up ? 0 : 3)) << attentions;
        for (size_t i = 0; i < rewinds; ++i)
            EXPECT_EQ(drive->commands[i].cdb, (bytes_t{0x01, 0, 0, 0, 0, 0}));
    }
    // On a later step too: MODE SELECT is sent again with the same edited header.
    drive->commands.clear();
    drive->replies.clear();
    drive->push(good());
    drive->push(good({0x13, 0, 0x80, 0}));
    drive->push(answer(0x06, 0x2A, 0x01));
    drive->push(good());
    drive->push(good(limits_min_1));
    EXPECT_EQ(restore(""), 0);
    ASSERT_EQ(drive->commands.size(), 5u);
    EXPECT_EQ(drive->commands[2].data_out, (bytes_t{0, 0, 0x90, 0}));
    EXPECT_EQ(drive->commands[3].data_out, (bytes_t{0, 0, 0x90, 0}));
}

TEST_F(restore_test, minimum_block_length_must_be_exactly_one)
{
    const struct {
        uint8_t high, low;
        bool accepted;
    } cases[] = {{0, 1, true}, {0, 0, false}, {0, 2, false}, {1, 1, false}, {0xFF, 0xFF, false}};
    for (const auto& c : cases) {
        drive->commands.clear();
        drive->push(good());
        drive->push(good(sensed_header));
        drive->push(good());
        drive->push(good({0, 0, 0xFF, 0xFF, c.high, c.low}));
        EXPECT_EQ(restore(block("abc")), c.accepted ? 0 : 1);
        EXPECT_EQ(console, c.accepted ? "" : "\\\\.\\Tape9: block length error\n");
        EXPECT_EQ(drive->commands.size(), c.accepted ? 5u : 4u);
    }
}

TEST_F(restore_test, loop_outcome_rule_ends_the_copy_with_status_0)
{
    const std::string path = "\\\\.\\Tape9";
    const struct {
        scripted_reply_t reply;
        std::string record_message, mark_message;
    } cases[] = {
        {call_fails(ERROR_IO_DEVICE), "BRX:1152: " + path + ": can't complete record write operation\n",
         "BRX:1274: " + path + ": can't complete write mark operation\n"},
        {answer(0x48, 0x00, 0x02), "BRX:1166: " + path + ": can't complete record write operation; tape full\n",
         "BRX:1288: " + path + ": can't complete write mark operation; tape full\n"},
        {answer(0x06, 0x29, 0x00), "BRX:1172: " + path + ": can't complete record write operation; attention\n",
         "BRX:1294: " + path + ": can't complete write mark operation; attention\n"},
        {answer(0x02, 0x3A, 0x00), "BRX:1177: " + path + ": can't complete record write operation; not ready\n",
         "BRX:1299: " + path + ": can't complete write mark operation; not ready\n"},
        {answer(0x03, 0x0C, 0x00), "BRX:1184: " + path + ": fatal SCSI error (70...03...0C 00)\n",
         "BRX:1306: " + path + ": fatal SCSI error (70...03...0C 00)\n"},
        {answer(0x4D), "BRX:1184: " + path + ": fatal SCSI error (70...4D...00 00)\n",
         "BRX:1306: " + path + ": fatal SCSI error (70...4D...00 00)\n"},
        {answer(0x07, 0x27, 0x00), "BRX:1184: " + path + ": fatal SCSI error (70...07...27 00)\n",
         "BRX:1306: " + path + ": fatal SCSI error (70...07...27 00)\n"},
        {answer(0x40, 0x00, 0x02), "BRX:1191: " + path + ": can't complete record write operation; tape full\n",
         "BRX:1313: " + path + ": can't complete write mark operation; tape full\n"},
        {answer(0x41), "BRX:1191: " + path + ": can't complete record write operation; tape full\n",
         "BRX:1313: " + path + ": can't complete write mark operation; tape full\n"},
        {answer(0x00), "BRX:1198: " + path + ": fatal SCSI error (70...00...00 00)\n",
         "BRX:1320: " + path + ": fatal SCSI error (70...00...00 00)\n"},
        {answer(0x01, 0x37, 0x00), "BRX:1198: " + path + ": fatal SCSI error (70...01...37 00)\n",
         "BRX:1320: " + path + ": fatal SCSI error (70...01...37 00)\n"},
    };
    for (const auto& c : cases) {
        for (bool mark : {false, true}) {
            drive->commands.clear();
            drive->replies.clear();
            ready_drive();
            drive->push(c.reply);
            // The block after the one that failed is never written.
            EXPECT_EQ(restore(block(mark ? "" : "data") + block("next")), 0);
            EXPECT_EQ(console, mark ? c.mark_message : c.record_message);
            EXPECT_EQ(drive->commands.size(), 5u);
        }
    }
}

TEST_F(restore_test, damaged_files_end_the_copy_where_the_damage_is)
{
    const std::string two = block("first") + block("");
    const std::string path = directory.file("in.dmp");
    const std::string too_long = std::string("\x00\x01\x00\x01\x00\x00\x00\x01", 8) + std::string(70000, 'z');
    const struct {
        std::string contents;
        int result;
        std::string message;
        size_t writes;
    } cases[] = {
        {"", 0, "", 0},
        {std::string("\x00\x00\x00", 3), 0, "", 0},
        {two + std::string(7, '\0'), 0, "", 2},  // a partial header counts as the end
        {two + block("whole").substr(0, 12), 0, "BRX:1104: " + path + ": unexpected end-of-file\n", 2},
        {two + too_long, 1, "BRX:1110: " + path + ": record length 65537 exceeds the transfer buffer\n", 2},
    };
    for (const auto& c : cases) {
        drive->commands.clear();
        ready_drive();
        EXPECT_EQ(restore(c.contents), c.result) << c.message;
        EXPECT_EQ(console, c.message);
        EXPECT_EQ(drive->commands.size(), 4 + c.writes) << c.message;
    }
}

TEST_F(restore_test, devices_that_cannot_be_named_or_opened_stop_before_any_request)
{
    unsetenv("BRX_TAPE9");
    setenv("BRX_TAPE9", "script:nobody", 1);
    EXPECT_EQ(restore(block("r"), "\\\\.\\TAPE9"), 1);
    EXPECT_EQ(console, "BRX:729: \\\\.\\Tape9: failed to open tape device\n");
    EXPECT_EQ(restore(block("r"), "\\\\.\\CDROM0"), 1);
    EXPECT_EQ(console, "BRX:714: \\\\.\\cdrom0: wrong device name\n");
    EXPECT_TRUE(drive->commands.empty());
}

}  // namespace
