// Dump and restore against a scripted drive, for answers a virtual tape cannot give: the exact
// requests, each outcome rule with its messages on console and log, and records of every length.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "copy/copy_context.h"
#include "copy/dump.h"
#include "copy/restore.h"
#include "frontend/front_end_state.h"
#include "frontend/report.h"
#include "frontend/system_error_text.h"
#include "tests/support/e2e_posix.h"
#include "tests/support/scripted_device_posix.h"

namespace {

using bytes_t = std::vector<uint8_t>;

constexpr uint32_t data_area = 65024;

// Fixed-format sense: key with its flags, the information field, ASC and ASCQ.
scripted_reply_t answer(uint8_t key, uint8_t asc = 0, uint8_t ascq = 0, int32_t information = 0)
{
    const uint32_t info = static_cast<uint32_t>(information);
    bytes_t sense = {uint8_t(information != 0 ? 0xF0 : 0x70), 0, key, uint8_t(info >> 24), uint8_t(info >> 16),
                     uint8_t(info >> 8), uint8_t(info), 10, 0, 0, 0, 0, asc, ascq, 0, 0, 0, 0};
    return {NO_ERROR, 0x02, sense, {}};
}
scripted_reply_t good(bytes_t data_in = {}) { return {NO_ERROR, 0, {}, std::move(data_in)}; }
scripted_reply_t fails(DWORD code) { return {code, 0, {}, {}}; }

// A record of length bytes as the drive delivers it: other lengths than asked for come with ILI.
scripted_reply_t record(uint32_t length, unsigned seed)
{
    const std::string data = record_of(std::min(length, data_area), seed);
    scripted_reply_t reply = length == data_area ? good() : answer(0x20, 0, 0, int32_t(data_area - length));
    reply.data_in.assign(data.begin(), data.end());
    return reply;
}
const scripted_reply_t mark = answer(0x80), blank = answer(0x08), medium = answer(0x03);

const bytes_t sensed_header = {0x13, 0x00, 0x00, 0x00};
const bytes_t limits_min_1 = {0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x01};
const std::vector<scripted_reply_t> ready = {good(), good(sensed_header), good(), good(limits_min_1)};
const bytes_t rewind_cdb = {0x01, 0, 0, 0, 0, 0};

std::string text(DWORD code) { return system_error_text(code); }
std::string bad(int offset) { return "TAPE BAD BLOCK detected (offset " + std::to_string(offset) + " bytes), trying to recover...\n"; }
std::string failed_read(DWORD code) { return "Failed to read tape block: " + text(code) + "\n"; }

int lookups;
const char* counting_text(DWORD code)
{
    ++lookups;
    return system_error_text(code);
}

class scripted_drive : public ::testing::Test {
protected:
    void SetUp() override
    {
        register_scripted_device("scripted_drive", drive);
        setenv("BRX_TAPE8", "script:scripted_drive", 1);
        setenv("BRX_SCSI4", "script:scripted_drive", 1);
        buffer.assign(transfer_buffer_size, 0xEE);
        copy_context.buffer = buffer.data();
        copy_context.report = report;
        copy_context.system_error_text = counting_text;
    }
    void TearDown() override
    {
        unsetenv("BRX_TAPE8");
        unsetenv("BRX_SCSI4");
        copy_context.bad_block_reads = 0;
    }

    // Scripts the drive afresh and runs dump (into the file) or restore (from the file's contents).
    int run(bool dumping, const std::vector<scripted_reply_t>& replies, std::string file = "out.dmp",
            std::string device = "\\\\.\\tape8", const std::string& contents = "")
    {
        drive->commands.clear();
        drive->replies.assign(replies.begin(), replies.end());
        if (!dumping)
            directory.write(file, contents);
        file = directory.file(file);
        FILE* log = tmpfile();
        copy_context.log_stream = front_end.log_stream = log;
        copy_context.dump_file_created = false;
        lookups = 0;
        testing::internal::CaptureStderr();
        const int result = dumping ? dump_tape(device.data(), file.data()) : restore_tape(file.data(), device.data());
        console = testing::internal::GetCapturedStderr();
        copy_context.log_stream = front_end.log_stream = nullptr;
        logged.clear();
        rewind(log);
        for (int c; (c = fgetc(log)) != EOF;)
            logged.push_back(static_cast<char>(c));
        fclose(log);
        return result;
    }
    int restore(const std::string& contents, std::vector<scripted_reply_t> replies = ready,
                std::string device = "\\\\.\\tape9")
    {
        setenv("BRX_TAPE9", "script:scripted_drive", 1);
        const int result = run(false, replies, "in.dmp", device, contents);
        EXPECT_EQ(console, logged);
        return result;
    }

    std::shared_ptr<scripted_device_t> drive = std::make_shared<scripted_device_t>();
    scratch_directory_t directory;
    std::vector<uint8_t> buffer;
    std::string console, logged;
};

std::string block(const std::string& data) { return container_of({data}); }

}  // namespace

TEST_F(scripted_drive, dump_outcomes)
{
    const std::string r10 = record_of(10, 1), r20 = record_of(20, 1), r30 = record_of(30, 3);
    const std::string more = failed_read(ERROR_MORE_DATA), none = failed_read(NO_ERROR);
    const struct {
        const char* what;
        std::vector<scripted_reply_t> replies;
        int32_t reads;
        int status;
        std::string console, log;  // the log: besides the console's lines
        std::vector<std::string> blocks;  // in the dump file
        const char* file = "out.dmp";
        const char* device = "\\\\.\\tape8";
        uint8_t bus = 0, target = 0;
    } cases[] = {
        {"records and marks to the end of data", {good(), record(80, 1), mark, record(data_area, 2), record(1, 3), blank},
         0, 0, "", "", {record_of(80, 1), "", record_of(data_area, 2), record_of(1, 3)}, "out.dmp", "\\\\.\\SCSI4:2:3", 2, 3},
        {"end of data during a retry", {good(), record(10, 1), medium, blank}, 3, 1, bad(18) + failed_read(NO_ERROR),
         bad(18) + failed_read(NO_ERROR) + "DUMP file offset: 18\n", {r10}},
        {"attempts counted afresh per record", {good(), medium, record(10, 1), medium, mark, blank}, 1, 0,
         bad(0) + bad(18), bad(0) + bad(18), {r10, ""}},
        {"65,025 bytes", {good(), record(65025, 2)}, 0, 1, more, more + "DUMP file offset: 0\n", {}},
        {"65,536 bytes", {good(), record(65536, 2)}, 0, 1, more, more + "DUMP file offset: 0\n", {}},
        {"65,537 bytes", {good(), record(65537, 2)}, 0, 1, none, none + "DUMP file offset: 0\n", {}},
        {"a long record passed over", {good(), record(20, 1), record(65536, 2), record(30, 3), blank}, 1, 0,
         bad(28), bad(28), {r20, r30}},
        {"rewind not sent", {fails(ERROR_IO_DEVICE)}, 0, 1, "Failed to rewind tape: " + text(ERROR_IO_DEVICE) + "\n",
         "Failed to rewind tape: " + text(ERROR_IO_DEVICE) + "\n", {}},
        {"rewind refused: read where it stands", {answer(0x06), answer(0x06), record(5, 1), blank}, 0, 0, "", "",
         {record_of(5, 1)}},
        {"dump file not created", {good()}, 0, 1, "Failed to open dump file: " + text(ERROR_PATH_NOT_FOUND) + "\n",
         "Failed to open dump file: " + text(ERROR_PATH_NOT_FOUND) + "\n", {}, "no/such/dir/out.dmp"},
    };
    for (const auto& c : cases) {
        copy_context.bad_block_reads = c.reads;
        EXPECT_EQ(run(true, c.replies, c.file, c.device), c.status) << c.what;
        EXPECT_EQ(console, c.console) << c.what;
        EXPECT_EQ(logged, c.log) << c.what;
        EXPECT_EQ(lookups, c.status == 1 ? 2 : 0) << c.what;  // each write looks its text up itself
        const bool made = c.file == std::string("out.dmp") && c.replies[0].error == NO_ERROR;
        EXPECT_EQ(copy_context.dump_file_created, made) << c.what;
        EXPECT_TRUE(directory.read("out.dmp") == container_of(c.blocks)) << c.what;
        EXPECT_EQ(directory.exists("out.dmp"), made) << c.what;
        std::remove(directory.file("out.dmp").c_str());
        for (size_t i = 0; i < drive->commands.size(); ++i) {
            const scripted_command_t& command = drive->commands[i];
            // A rewind refused twice is sent again; every other request is a read of the data area.
            if (i == 0 || command.cdb != rewind_cdb) {
                EXPECT_EQ(command.cdb, (i == 0 ? rewind_cdb : bytes_t{0x08, 0, 0, 0xFE, 0, 0})) << c.what << " " << i;
            }
            EXPECT_EQ(command.path_id, c.bus) << c.what;
            EXPECT_EQ(command.target_id, c.target) << c.what;
        }
    }
    EXPECT_EQ(drive->commands.size(), 1u);  // the file that could not be made: no read
}

TEST_F(scripted_drive, restore_requests_carry_the_exact_fields)
{
    const struct {
        const char* device;
        uint8_t path_id, target_id;
    } devices[] = {{"\\\\.\\TAPE9", 0, 0}, {"\\\\.\\scsi4:1:6", 1, 6}, {"\\\\.\\scsi4", 0, 0}};
    const std::string one(1, 'x'), medium_record(300, 'm'), largest = record_of(65536, 7);
    const bytes_t write_mark = {0x10, 0, 0, 0, 1, 0};
    const struct {
        bytes_t cdb;
        uint8_t direction;
        uint32_t length;
        std::string data_out;
    } expected[] = {
        {rewind_cdb, SCSI_IOCTL_DATA_UNSPECIFIED, 0, ""},
        {{0x1A, 0, 0, 0, 4, 0}, SCSI_IOCTL_DATA_IN, 4, ""},
        {{0x15, 0, 0, 0, 4, 0}, SCSI_IOCTL_DATA_OUT, 4, std::string("\0\0\x10\0", 4)},
        {{0x05, 0, 0, 0, 0, 0}, SCSI_IOCTL_DATA_IN, 65536, ""},
        {{0x0A, 0, 0, 0, 1, 0}, SCSI_IOCTL_DATA_OUT, 1, one},
        {write_mark, SCSI_IOCTL_DATA_UNSPECIFIED, 0, ""},
        {{0x0A, 0, 0, 0x01, 0x2C, 0}, SCSI_IOCTL_DATA_OUT, 300, medium_record},
        {write_mark, SCSI_IOCTL_DATA_UNSPECIFIED, 0, ""},
        {write_mark, SCSI_IOCTL_DATA_UNSPECIFIED, 0, ""},
        {{0x0A, 0, 0x01, 0, 0, 0}, SCSI_IOCTL_DATA_OUT, 65536, largest},
    };
    const std::string contents = container_of({one, "", medium_record, "", "", largest});
    for (const auto& d : devices) {
        EXPECT_EQ(restore(contents, {good(), good({0x13, 0, 0, 8}), good(), good(limits_min_1)}, d.device), 0);
        EXPECT_EQ(console, "");
        ASSERT_EQ(drive->commands.size(), std::size(expected)) << d.device;
        for (size_t i = 0; i < std::size(expected); ++i) {
            const scripted_command_t& command = drive->commands[i];
            EXPECT_EQ(command.cdb, expected[i].cdb) << d.device << " command " << i;
            EXPECT_EQ(command.direction, expected[i].direction) << i;
            EXPECT_EQ(command.data_length, expected[i].length) << i;
            EXPECT_TRUE(std::string(command.data_out.begin(), command.data_out.end()) == expected[i].data_out) << i;
            EXPECT_EQ(command.timeout_seconds, 255u) << i;
            EXPECT_EQ(command.path_id, d.path_id) << d.device;
            EXPECT_EQ(command.target_id, d.target_id) << d.device;
            EXPECT_EQ(command.lun, 0);
        }
    }
    // MODE SELECT sends the sensed header with buffered mode 1, write protect and speed kept.
    const struct {
        bytes_t sensed, sent;
    } headers[] = {{{0x03, 0x7F, 0xFF, 0x00}, {0, 0, 0x9F, 0}}, {{0x0B, 0x01, 0x25, 0x08}, {0, 0, 0x15, 0}}};
    for (const auto& h : headers) {
        EXPECT_EQ(restore("", {good(), good(h.sensed), good(), good(limits_min_1)}), 0);
        ASSERT_EQ(drive->commands.size(), 4u);
        EXPECT_EQ(drive->commands[2].data_out, h.sent);
    }
}

TEST_F(scripted_drive, restore_set_up_outcome_rule)
{
    const char* failures[] = {"Failed to rewind tape: ", "Failed to mode sense the tape: ",
                              "Failed to mode select the tape: ", "Failed to read block limits tape: "};
    const std::string path = "\\\\.\\Tape9";
    for (size_t step = 0; step < 4; ++step) {
        const struct {
            scripted_reply_t reply;
            std::string message;  // empty: the step passes
        } cases[] = {
            {fails(ERROR_IO_DEVICE), failures[step] + text(ERROR_IO_DEVICE) + "\n"},
            {answer(0x02, 0x04, 0x01), path + ": device not ready\n"},
            {answer(0x03, 0x11, 0x00), path + ": fatal error (70...03...11 00)\n"},
            {answer(0x45, 0x24, 0x00), path + ": fatal error (70...45...24 00)\n"},
            {answer(0x0F), path + ": fatal error (70...0F...00 00)\n"},
            {answer(0x00, 0x00, 0x16), ""},  // NO SENSE and RECOVERED ERROR let the step pass
            {answer(0x81, 0x17, 0x01), ""},
        };
        for (const auto& c : cases) {
            std::vector<scripted_reply_t> replies = ready;
            const bytes_t data_in = replies[step].data_in;
            replies[step] = c.reply;
            replies[step].data_in = data_in;
            EXPECT_EQ(restore(block("r"), replies), c.message.empty() ? 0 : 1) << step << ": " << c.message;
            EXPECT_EQ(console, c.message) << "step " << step;
            EXPECT_EQ(lookups, c.reply.error != NO_ERROR ? 2 : 0) << step << ": " << c.message;
            EXPECT_EQ(drive->commands.size(), c.message.empty() ? 5u : step + 1) << "step " << step;
        }
    }
    // The minimum block length must be exactly 1.
    for (const bytes_t& low : {bytes_t{0, 0}, bytes_t{0, 2}, bytes_t{1, 1}}) {
        EXPECT_EQ(restore(block("abc"), {good(), good(sensed_header), good(), good({0, 0, 0xFF, 0xFF, low[0], low[1]})}), 1);
        EXPECT_EQ(console, path + ": block length error\n");
        EXPECT_EQ(drive->commands.size(), 4u);
    }
}

TEST_F(scripted_drive, restore_answers_unit_attention_by_a_fresh_request_up_to_100_times)
{
    for (int attentions : {1, 99, 100}) {
        std::vector<scripted_reply_t> replies(static_cast<size_t>(attentions), answer(0x06, 0x28, 0x00));
        replies.insert(replies.end(), ready.begin(), ready.end());
        const bool gives_up = attentions == 100;
        EXPECT_EQ(restore("", replies), gives_up ? 1 : 0) << attentions;
        EXPECT_EQ(console, gives_up ? "\\\\.\\Tape9: fatal error (70...06...28 00)\n" : "") << attentions;
        const size_t rewinds = gives_up ? 100 : static_cast<size_t>(attentions) + 1;
        ASSERT_EQ(drive->commands.size(), rewinds + (gives_up ? 0 : 3)) << attentions;
        for (size_t i = 0; i < rewinds; ++i)
            EXPECT_EQ(drive->commands[i].cdb, rewind_cdb);
    }
    // On a later step too: MODE SELECT is sent again with the same edited header.
    EXPECT_EQ(restore("", {good(), good({0x13, 0, 0x80, 0}), answer(0x06, 0x2A, 0x01), good(), good(limits_min_1)}), 0);
    ASSERT_EQ(drive->commands.size(), 5u);
    EXPECT_EQ(drive->commands[2].data_out, (bytes_t{0, 0, 0x90, 0}));
    EXPECT_EQ(drive->commands[3].data_out, (bytes_t{0, 0, 0x90, 0}));
}

TEST_F(scripted_drive, restore_loop_outcome_rule_ends_the_copy_with_status_0)
{
    const std::string p = ": \\\\.\\Tape9: ";
    const std::string record = "can't complete record write operation", mark_op = "can't complete write mark operation";
    const struct {
        scripted_reply_t reply;
        std::string record_message, mark_message;
    } cases[] = {
        {fails(ERROR_IO_DEVICE), "BRX:1152" + p + record + "\n", "BRX:1274" + p + mark_op + "\n"},
        {answer(0x48, 0x00, 0x02), "BRX:1166" + p + record + "; tape full\n", "BRX:1288" + p + mark_op + "; tape full\n"},
        {answer(0x06, 0x29, 0x00), "BRX:1172" + p + record + "; attention\n", "BRX:1294" + p + mark_op + "; attention\n"},
        {answer(0x02, 0x3A, 0x00), "BRX:1177" + p + record + "; not ready\n", "BRX:1299" + p + mark_op + "; not ready\n"},
        {answer(0x03, 0x0C, 0x00), "BRX:1184" + p + "fatal SCSI error (70...03...0C 00)\n",
         "BRX:1306" + p + "fatal SCSI error (70...03...0C 00)\n"},
        {answer(0x07, 0x27, 0x00), "BRX:1184" + p + "fatal SCSI error (70...07...27 00)\n",
         "BRX:1306" + p + "fatal SCSI error (70...07...27 00)\n"},
        {answer(0x40, 0x00, 0x02), "BRX:1191" + p + record + "; tape full\n", "BRX:1313" + p + mark_op + "; tape full\n"},
        {answer(0x41), "BRX:1191" + p + record + "; tape full\n", "BRX:1313" + p + mark_op + "; tape full\n"},
        {answer(0x00), "BRX:1198" + p + "fatal SCSI error (70...00...00 00)\n",
         "BRX:1320" + p + "fatal SCSI error (70...00...00 00)\n"},
        {answer(0x01, 0x37, 0x00), "BRX:1198" + p + "fatal SCSI error (70...01...37 00)\n",
         "BRX:1320" + p + "fatal SCSI error (70...01...37 00)\n"},
    };
    for (const auto& c : cases) {
        for (bool mark : {false, true}) {
            std::vector<scripted_reply_t> replies = ready;
            replies.push_back(c.reply);
            // The block after the one that failed is never written.
            EXPECT_EQ(restore(container_of({mark ? "" : "data", "next"}), replies), 0);
            EXPECT_EQ(console, mark ? c.mark_message : c.record_message);
            EXPECT_EQ(drive->commands.size(), 5u);
        }
    }
    // A device that is not named right or does not open: no request at all.
    setenv("BRX_TAPE9", "script:nobody", 1);
    EXPECT_EQ(run(false, {}, "in.dmp", "\\\\.\\TAPE9", block("r")), 1);
    EXPECT_EQ(console, "BRX:729: \\\\.\\Tape9: failed to open tape device\n");
    EXPECT_EQ(restore(block("r"), {}, "\\\\.\\CDROM0"), 1);
    EXPECT_EQ(console, "BRX:714: \\\\.\\cdrom0: wrong device name\n");
    EXPECT_TRUE(drive->commands.empty());
}
