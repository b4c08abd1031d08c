// Dump against a scripted drive: what each read_forward result does to the dump file and the
// messages, where a virtual tape cannot produce the answer (end of data during a retry, records
// longer than the data area, a rewind that cannot be sent).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "copy/copy_context.h"
#include "copy/dump.h"
#include "frontend/front_end_state.h"
#include "frontend/report.h"
#include "frontend/system_error_text.h"
#include "tapeio/tape_io_objects.h"
#include "tests/support/e2e_posix.h"
#include "tests/support/scripted_device_posix.h"

namespace {

using bytes_t = std::vector<uint8_t>;

constexpr uint8_t check_condition = 0x02;
constexpr uint32_t data_area = 65024;

bytes_t sense(uint8_t key_and_flags, int32_t information = 0, bool valid = false)
{
    bytes_t bytes(18, 0);
    bytes[0] = valid ? 0xF0 : 0x70;
    bytes[2] = key_and_flags;
    const uint32_t info = static_cast<uint32_t>(information);
    bytes[3] = static_cast<uint8_t>(info >> 24);
    bytes[4] = static_cast<uint8_t>(info >> 16);
    bytes[5] = static_cast<uint8_t>(info >> 8);
    bytes[6] = static_cast<uint8_t>(info);
    bytes[7] = 10;
    return bytes;
}

// A record of length bytes: shorter or longer than asked for, the drive says so with ILI.
scripted_reply_t record(uint32_t length, unsigned seed)
{
    const std::string data = record_of(std::min(length, data_area), seed);
    scripted_reply_t reply{NO_ERROR, 0, {}, bytes_t(data.begin(), data.end())};
    if (length != data_area) {
        reply.status = check_condition;
        reply.sense = sense(0x20, static_cast<int32_t>(data_area - length), true);
    }
    return reply;
}

scripted_reply_t tape_mark() { return {NO_ERROR, check_condition, sense(0x80), {}}; }
scripted_reply_t blank_check() { return {NO_ERROR, check_condition, sense(0x08), {}}; }
scripted_reply_t medium_error() { return {NO_ERROR, check_condition, sense(0x03), {}}; }
scripted_reply_t good() { return {}; }

class dump_test : public ::testing::Test {
protected:
    void SetUp() override
    {
        register_scripted_device("dump_test", drive);
        setenv("BRX_TAPE8", "script:dump_test", 1);
        buffer.assign(transfer_buffer_size, 0);
        copy_context.buffer = buffer.data();
        copy_context.report = report;
        copy_context.system_error_text = system_error_text;
        copy_context.dump_file_created = false;
    }

    void TearDown() override
    {
        unsetenv("BRX_TAPE8");
        copy_context.bad_block_reads = 0;
    }

    // Dumps \\.\tape8 into out.dmp with this many further attempts; the console must say what
    // the log says, apart from the log-only lines.
    int dump(int32_t reads, bool with_log = true, const char* file_name = "out.dmp")
    {
        copy_context.bad_block_reads = reads;
        std::string name = "\\\\.\\tape8";
        std::string file = directory.file(file_name);
        FILE* log = with_log ? tmpfile() : nullptr;
        copy_context.log_stream = log;
        front_end.log_stream = log;
        testing::internal::CaptureStderr();
        const int result = dump_tape(name.data(), file.data());
        console = testing::internal::GetCapturedStderr();
        logged.clear();
        copy_context.log_stream = nullptr;
        front_end.log_stream = nullptr;
        if (log == nullptr)
            return result;
        rewind(log);
        for (int c; (c = fgetc(log)) != EOF;)
            logged.push_back(static_cast<char>(c));
        fclose(log);
        return result;
    }

    std::string failed_read() const
    {
        return "Failed to read tape block: " + std::string(system_error_text(tape_handle.last_error)) + "\n";
    }

    std::shared_ptr<scripted_device_t> drive = std::make_shared<scripted_device_t>();
    scratch_directory_t directory;
    std::vector<uint8_t> buffer;
    std::string console;
    std::string logged;
};

TEST_F(dump_test, records_and_marks_become_blocks_until_the_end_of_data)
{
    drive->push(good());
    drive->push(record(80, 1));
    drive->push(tape_mark());
    drive->push(record(data_area, 2));
    drive->push(record(1, 3));
    drive->push(blank_check());
    EXPECT_EQ(dump(0), 0);
    EXPECT_EQ(console, "");
    EXPECT_EQ(logged, "");
    EXPECT_TRUE(copy_context.dump_file_created);
    EXPECT_TRUE(directory.read("out.dmp") ==
                container_of({record_of(80, 1), "", record_of(data_area, 2), record_of(1, 3)}));
    ASSERT_EQ(drive->commands.size(), 6u);
    EXPECT_EQ(drive->commands[0].cdb, (bytes_t{0x01, 0, 0, 0, 0, 0}));
    for (size_t i = 1; i < 6; ++i)
        EXPECT_EQ(drive->commands[i].cdb, (bytes_t{0x08, 0, 0, 0xFE, 0, 0})) << i;
}

TEST_F(dump_test, end_of_data_during_a_retry_is_a_failure)
{
    drive->push(good());
    drive->push(record(10, 1));
    drive->push(medium_error());
    drive->push(blank_check());
    EXPECT_EQ(dump(3), 1);
    const std::string bad = "TAPE BAD BLOCK detected (offset 18 bytes), trying to recover...\n";
    EXPECT_EQ(console, bad + failed_read());
    EXPECT_EQ(logged, bad + failed_read() + "DUMP file offset: 18\n");
    EXPECT_EQ(drive->commands.size(), 4u);  // no attempt after the end of data
    EXPECT_TRUE(directory.read("out.dmp") == container_of({record_of(10, 1)}));
}

TEST_F(dump_test, attempts_are_counted_afresh_for_every_record)
{
    drive->push(good());
    drive->push(medium_error());
    drive->push(record(10, 1));
    drive->push(medium_error());
    drive->push(tape_mark());
    drive->push(blank_check());
    EXPECT_EQ(dump(1), 0);
    EXPECT_EQ(console, "TAPE BAD BLOCK detected (offset 0 bytes), trying to recover...\n"
                       "TAPE BAD BLOCK detected (offset 18 bytes), trying to recover...\n");
    EXPECT_TRUE(directory.read("out.dmp") == container_of({record_of(10, 1), ""}));
}

TEST_F(dump_test, records_longer_than_the_data_area_never_reach_the_file)
{
    // Up to the buffer's size the reason is "more data"; beyond it, the driver's own (none).
    const struct {
        uint32_t length;
        DWORD reason;
    } cases[] = {{65025u, ERROR_MORE_DATA}, {65536u, ERROR_MORE_DATA}, {65537u, NO_ERROR}, {70000u, NO_ERROR}};
    for (const auto& c : cases) {
        drive->commands.clear();
        drive->push(good());
        drive->push(record(20, 1));
        drive->push(record(c.length, 2));
        drive->push(record(30, 3));
        drive->push(blank_check());
        // The second attempt reads on behind the long record: the drive stands past it.
        EXPECT_EQ(dump(1), 0) << c.length;
        EXPECT_EQ(console, "TAPE BAD BLOCK detected (offset 28 bytes), trying to recover...\n") << c.length;
        EXPECT_EQ(logged, console) << c.length;
        EXPECT_TRUE(directory.read("out.dmp") == container_of({record_of(20, 1), record_of(30, 3)})) << c.length;

        drive->push(good());
        drive->push(record(c.length, 2));
        EXPECT_EQ(dump(0), 1) << c.length;
        const std::string failed = "Failed to read tape block: " + std::string(system_error_text(c.reason)) + "\n";
        EXPECT_EQ(console, failed) << c.length;
        EXPECT_EQ(logged, failed + "DUMP file offset: 0\n") << c.length;
        EXPECT_EQ(directory.read("out.dmp"), "") << c.length;
    }
}

TEST_F(dump_test, only_a_rewind_that_cannot_be_sent_stops_the_dump)
{
    drive->push({ERROR_IO_DEVICE, 0, {}, {}});
    EXPECT_EQ(dump(0), 1);
    const std::string message = "Failed to rewind tape: " + std::string(system_error_text(ERROR_IO_DEVICE)) + "\n";
    EXPECT_EQ(console, message);
    EXPECT_EQ(logged, message);
    EXPECT_FALSE(copy_context.dump_file_created);
    EXPECT_FALSE(directory.exists("out.dmp"));

    // Twice CHECK CONDITION (-4): the drive is read where it stands.
    drive->push({NO_ERROR, check_condition, sense(0x06), {}});
    drive->push({NO_ERROR, check_condition, sense(0x06), {}});
    drive->push(record(5, 1));
    drive->push(blank_check());
    EXPECT_EQ(dump(0), 0);
    EXPECT_EQ(console, "");
    EXPECT_TRUE(directory.read("out.dmp") == container_of({record_of(5, 1)}));
}

// Every unnumbered failure message is written twice, and each write looks the system's text up
// itself: once without a log, twice with one.
DWORD counted_code;
int lookups;
const char* counting_text(DWORD code)
{
    counted_code = code;
    ++lookups;
    return system_error_text(code);
}

TEST_F(dump_test, each_write_of_a_failure_message_looks_its_text_up_itself)
{
    const struct {
        const char* what;
        std::vector<scripted_reply_t> replies;
        const char* file_name;
        const char* message;
        DWORD code;
        const char* log_only;
    } cases[] = {
        {"rewind not sent", {{ERROR_IO_DEVICE, 0, {}, {}}}, "out.dmp", "Failed to rewind tape: ", ERROR_IO_DEVICE, ""},
        {"dump file not created", {good()}, "no/such/dir/out.dmp", "Failed to open dump file: ", ERROR_PATH_NOT_FOUND,
         ""},
        {"read failed", {good(), {ERROR_IO_DEVICE, 0, {}, {}}}, "out.dmp", "Failed to read tape block: ",
         ERROR_IO_DEVICE, "DUMP file offset: 0\n"},
    };
    copy_context.system_error_text = counting_text;
    for (const auto& c : cases) {
        for (bool with_log : {false, true}) {
            drive->replies.clear();
            for (const scripted_reply_t& reply : c.replies)
                drive->push(reply);
            lookups = 0;
            EXPECT_EQ(dump(0, with_log, c.file_name), 1) << c.what;
            const std::string message = c.message + std::string(system_error_text(c.code)) + "\n";
            EXPECT_EQ(console, message) << c.what;
            EXPECT_EQ(logged, with_log ? message + c.log_only : "") << c.what;
            EXPECT_EQ(lookups, with_log ? 2 : 1) << c.what;
            EXPECT_EQ(counted_code, c.code) << c.what;
        }
    }
}

TEST_F(dump_test, the_scsi_address_comes_from_the_device_name)
{
    setenv("BRX_SCSI5", "script:dump_test", 1);
    drive->push(good());
    drive->push(blank_check());
    std::string name = "\\\\.\\SCSI5:2:3";
    std::string file = directory.file("out.dmp");
    testing::internal::CaptureStderr();
    EXPECT_EQ(dump_tape(name.data(), file.data()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(name, "\\\\.\\scsi5:2:3");
    ASSERT_EQ(drive->commands.size(), 2u);
    for (const scripted_command_t& command : drive->commands) {
        EXPECT_EQ(command.path_id, 2);
        EXPECT_EQ(command.target_id, 3);
        EXPECT_EQ(command.lun, 0);
    }
    unsetenv("BRX_SCSI5");
}

}  // namespace
