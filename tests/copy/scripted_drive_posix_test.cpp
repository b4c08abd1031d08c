// Dump and restore against a scripted drive, for answers a virtual tape cannot give: the exact
// requests, and each outcome rule with its messages on console and log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

#include "copy/copy_context.h"
#include "copy/dump.h"
#include "copy/restore.h"
#include "frontend/front_end_state.h"
#include "frontend/report.h"
#include "platform/system_error_text.h"
#include "tests/support/e2e.h"
#include "tests/support/scripted_device_posix.h"
#include "tests/support/spawn_posix.h"

namespace {

using bytes_t = std::vector<uint8_t>;

using namespace spti_test;

// CHECK CONDITION, fixed-format sense: key with its flags, ASC and ASCQ, the information field (VALID when not 0).
scripted_reply_t answer(uint8_t key, uint8_t asc = 0, uint8_t ascq = 0, uint32_t info = 0)
{
    return check(sense(key, 0, info != 0, int32_t(info), 0x70, asc, ascq));
}

// A record shorter than the data area asked for, as the drive delivers it: with ILI.
scripted_reply_t record(uint32_t length, unsigned seed)
{
    const std::string data = record_of(length, seed);
    scripted_reply_t reply = answer(0x20, 0, 0, 65024 - length);
    reply.data_in.assign(data.begin(), data.end());
    return reply;
}

const bytes_t limits_min_1 = {0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x01}, rewind_cdb = {0x01, 0, 0, 0, 0, 0};
const std::vector<scripted_reply_t> ready = {good(), good({0x13, 0, 0, 0}), good(), good(limits_min_1)};

std::string bad(int offset) { return "TAPE BAD BLOCK detected (offset " + std::to_string(offset) + " bytes), trying to recover...\n"; }

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
        for (const char* variable : {"BRX_TAPE9", "BRX_SCSI4"})
            setenv(variable, "script:scripted_drive", 1);
        buffer.assign(transfer_buffer_size, 0xEE);
        copy_context.buffer = buffer.data();
        copy_context.report = report;
        copy_context.system_error_text = counting_text;
    }
    void TearDown() override { copy_context.bad_block_reads = 0; }

    // Scripts the drive afresh and runs dump (into file) or restore (from contents, into \\.\tape9).
    int run(const std::vector<scripted_reply_t>& replies, const std::string& contents, std::string file = "",
            std::string device = "\\\\.\\tape9")
    {
        drive->commands.clear();
        drive->replies.assign(replies.begin(), replies.end());
        const bool dumping = !file.empty();
        if (!dumping)
            directory.write("in.dmp", contents);
        file = directory.file(dumping ? file : "in.dmp");
        FILE* log = tmpfile();
        copy_context.log_stream = front_end.log_stream = log;
        copy_context.dump_file_created = false;
        lookups = 0;
        testing::internal::CaptureStderr();
        const int result = dumping ? dump_tape(device.data(), file.data()) : restore_tape(file.data(), device.data());
        console = testing::internal::GetCapturedStderr();
        copy_context.log_stream = front_end.log_stream = nullptr;
        logged = contents_of(log);
        if (!dumping) {
            EXPECT_EQ(console, logged);
        }
        return result;
    }

    std::shared_ptr<scripted_device_t> drive = std::make_shared<scripted_device_t>();
    scratch_directory_t directory;
    std::vector<uint8_t> buffer;
    std::string console, logged;
};

}  // namespace

TEST_F(scripted_drive, dump_outcomes)
{
    const scripted_reply_t mark = answer(0x80), blank = answer(0x08), medium = answer(0x03);
    const std::string r10 = record_of(10, 1), eod = bad(18) + "Failed to read tape block: " + system_text(NO_ERROR) + "\n";
    const std::string lost = "Failed to read tape block: " + system_text(ERROR_IO_DEVICE) + "\n";
    // blocks: in the dump file
    const struct { std::vector<scripted_reply_t> replies; int32_t reads; int status; std::string console, log;
                   std::vector<std::string> blocks; } cases[] = {
        {{good(), record(80, 1), mark, good(bytes_t(65024, 7)), record(1, 3), blank}, 0, 0, "", "",
         {record_of(80, 1), "", std::string(65024, 7), record_of(1, 3)}},
        {{good(), record(10, 1), medium, blank}, 3, 1, eod, eod + "DUMP file offset: 18\n", {r10}},  // end of data in a retry
        {{good(), medium, record(10, 1), medium, mark, blank}, 1, 0, bad(0) + bad(18), bad(0) + bad(18), {r10, ""}},
        {{answer(0x06), answer(0x06), record(5, 1), blank}, 0, 0, "", "", {record_of(5, 1)}},  // rewind refused
        {{good(), record(10, 1), call_fails(ERROR_IO_DEVICE)}, 0, 1, lost, lost + "DUMP file offset: 18\n", {r10}},  // a lost drive
    };
    for (size_t n = 0; n < std::size(cases); ++n) {
        const auto& c = cases[n];
        copy_context.bad_block_reads = c.reads;
        EXPECT_EQ(run(c.replies, "", "out.dmp", "\\\\.\\SCSI4:2:3"), c.status) << n;
        EXPECT_EQ(console, c.console) << n;
        EXPECT_EQ(logged, c.log) << n;
        EXPECT_EQ(lookups, c.status == 1 ? 2 : 0) << n;  // each write looks its text up itself
        EXPECT_TRUE(copy_context.dump_file_created) << n;
        EXPECT_TRUE(directory.read("out.dmp") == container_of(c.blocks)) << n;
        // A rewind refused twice is sent again; every other request is a read of the data area.
        for (const scripted_command_t& command : drive->commands) {
            EXPECT_TRUE(command.cdb == rewind_cdb || command.cdb == bytes_t({0x08, 0, 0, 0xFE, 0, 0})) << n;
            EXPECT_EQ(command.path_id * 10 + command.target_id, 23) << n;
        }
        EXPECT_EQ(drive->commands.at(0).cdb, rewind_cdb) << n;
    }
    // Stopped before any record: a rewind that cannot be sent, a dump file that cannot be made.
    const struct { scripted_reply_t reply; std::string file, message; } refusals[] = {
        {call_fails(ERROR_IO_DEVICE), "never.dmp", "Failed to rewind tape: " + system_text(ERROR_IO_DEVICE) + "\n"},
        {good(), "missing/out.dmp", "Failed to open dump file: " + system_text(ERROR_PATH_NOT_FOUND) + "\n"},
    };
    for (const auto& r : refusals) {
        EXPECT_EQ(run({r.reply}, "", r.file), 1) << r.file;
        EXPECT_EQ(std::tie(console, logged), std::tie(r.message, r.message));
        EXPECT_FALSE(copy_context.dump_file_created || directory.exists(r.file)) << r.file;
        EXPECT_EQ(drive->commands.size(), 1u) << r.file;
    }
}

// A wrong name or a device that does not open: dump writes console and log itself, each write
// looking the system's text up; restore goes through the report.
TEST_F(scripted_drive, device_names_that_fail)
{
    const std::string not_found = "Failed to open tape device '\\\\.\\Tape97': " + system_text(ERROR_FILE_NOT_FOUND) + "\n";
    const struct { const char* device; const char* file; std::string message; } cases[] = {
        {"\\\\.\\CDROM0", "out.dmp", "\\\\.\\cdrom0: wrong device name\n"},
        {"\\\\.\\CDROM0", "", "BRX:714: \\\\.\\cdrom0: wrong device name\n"},
        {"\\\\.\\TAPE97", "out.dmp", not_found},
        {"\\\\.\\SCSI97:0:1", "", "BRX:729: \\\\.\\Scsi97:: failed to open tape device\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run({}, "", c.file, c.device), 1) << c.device;
        EXPECT_EQ(std::tie(console, logged), std::tie(c.message, c.message)) << c.device;
        EXPECT_EQ(lookups, c.message == not_found ? 2 : 0) << c.device;
        EXPECT_TRUE(drive->commands.empty() && !directory.exists("out.dmp")) << c.device;
    }
}

TEST_F(scripted_drive, restore_requests_carry_the_exact_fields)
{
    const std::string one(1, 'x'), largest = record_of(65536, 7);
    const struct { bytes_t cdb; uint8_t direction; uint32_t length; std::string data_out; } expected[] = {
        {rewind_cdb, SCSI_IOCTL_DATA_UNSPECIFIED, 0, ""},
        {{0x1A, 0, 0, 0, 4, 0}, SCSI_IOCTL_DATA_IN, 4, ""},
        // The sensed header with buffered mode 1, write protect and speed kept.
        {{0x15, 0, 0, 0, 4, 0}, SCSI_IOCTL_DATA_OUT, 4, std::string("\0\0\x15\0", 4)},
        {{0x05, 0, 0, 0, 0, 0}, SCSI_IOCTL_DATA_IN, 65536, ""},
        {{0x0A, 0, 0, 0, 1, 0}, SCSI_IOCTL_DATA_OUT, 1, one},
        {{0x10, 0, 0, 0, 1, 0}, SCSI_IOCTL_DATA_UNSPECIFIED, 0, ""},
        {{0x0A, 0, 0x01, 0, 0, 0}, SCSI_IOCTL_DATA_OUT, 65536, largest},
    };
    const std::vector<scripted_reply_t> replies = {good(), good({0x0B, 0x01, 0x25, 0x08}), good(), good(limits_min_1)};
    EXPECT_EQ(run(replies, container_of({one, "", largest}), "", "\\\\.\\scsi4:1:6"), 0);
    EXPECT_EQ(console, "");
    ASSERT_EQ(drive->commands.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const scripted_command_t& c = drive->commands[i];
        EXPECT_EQ(c.cdb, expected[i].cdb) << i;
        EXPECT_EQ(std::tuple(c.direction, c.data_length, c.timeout_seconds, c.path_id, c.target_id, c.lun),
                  std::tuple(expected[i].direction, expected[i].length, 255u, 1, 6, 0)) << i;
        EXPECT_TRUE(std::string(c.data_out.begin(), c.data_out.end()) == expected[i].data_out) << i;
    }
}

TEST_F(scripted_drive, restore_set_up_outcome_rule)
{
    const std::string path = "\\\\.\\Tape9", failures[] = {"Failed to rewind tape: ", "Failed to mode sense the tape: ",
                                                        "Failed to mode select the tape: ", "Failed to read block limits tape: "};
    for (size_t step = 0; step < 4; ++step) {
        // message empty: the step passes
        const struct { scripted_reply_t reply; std::string message; } cases[] = {
            {call_fails(ERROR_IO_DEVICE), failures[step] + system_text(ERROR_IO_DEVICE) + "\n"},
            {answer(0x02, 0x04, 0x01), path + ": device not ready\n"},
            {answer(0x03, 0x11, 0x00), path + ": fatal error (70...03...11 00)\n"},
            {answer(0x81, 0x17, 0x01), ""},  // RECOVERED ERROR lets the step pass
        };
        for (const auto& c : cases) {
            std::vector<scripted_reply_t> replies = ready;
            const bytes_t data_in = replies[step].data_in;
            replies[step] = c.reply;
            replies[step].data_in = data_in;
            EXPECT_EQ(run(replies, container_of({"r"})), c.message.empty() ? 0 : 1) << step << ": " << c.message;
            EXPECT_EQ(console, c.message) << step;
            EXPECT_EQ(lookups, c.reply.error != NO_ERROR ? 2 : 0) << step << ": " << c.message;
            EXPECT_EQ(drive->commands.size(), c.message.empty() ? 5u : step + 1) << step;
        }
    }
    // UNIT ATTENTION gets a fresh request, up to 100 times.
    std::vector<scripted_reply_t> attentions(100, answer(0x06, 0x28, 0x00));
    EXPECT_EQ(run(attentions, ""), 1);
    EXPECT_EQ(console, path + ": fatal error (70...06...28 00)\n");
    EXPECT_EQ(drive->commands.size(), 100u);
}

TEST_F(scripted_drive, restore_loop_outcome_rule_ends_the_copy_with_status_0)
{
    // tail: after "can't complete ... operation", or the whole of a fatal error
    const struct { scripted_reply_t reply; int record_code, mark_code; std::string tail; } cases[] = {
        {call_fails(ERROR_IO_DEVICE), 1152, 1274, ""},
        {answer(0x48, 0x00, 0x02), 1166, 1288, "; tape full"},
        {answer(0x06, 0x29, 0x00), 1172, 1294, "; attention"},
        {answer(0x02, 0x3A, 0x00), 1177, 1299, "; not ready"},
        {answer(0x03, 0x0C, 0x00), 1184, 1306, "fatal SCSI error (70...03...0C 00)"},
        {answer(0x40, 0x00, 0x02), 1191, 1313, "; tape full"},
        {answer(0x01, 0x37, 0x00), 1198, 1320, "fatal SCSI error (70...01...37 00)"},
    };
    for (const auto& c : cases) {
        for (bool is_mark : {false, true}) {
            std::vector<scripted_reply_t> replies = ready;
            replies.push_back(c.reply);
            // The block after the one that failed is never written.
            EXPECT_EQ(run(replies, container_of({is_mark ? "" : "data", "next"})), 0);
            const std::string what = is_mark ? "can't complete write mark operation" : "can't complete record write operation";
            EXPECT_EQ(console, "BRX:" + std::to_string(is_mark ? c.mark_code : c.record_code) + ": \\\\.\\Tape9: " +
                                   (c.tail.starts_with("fatal") ? c.tail : what + c.tail) + "\n");
            EXPECT_EQ(drive->commands.size(), 5u);
        }
    }
}
