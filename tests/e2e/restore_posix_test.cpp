// brx restoring dump files onto a virtual tape: the tape's medium, standard error and the log.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/e2e_posix.h"

namespace {

const char tape1[] = "\\\\.\\tape1";
const std::string path1 = "\\\\.\\Tape1";

struct restore_run_t {
    brx_run_t run;
    std::string log;
    std::string tape;   // the medium afterwards
    std::string trace;  // the commands the drive received
};

// Restores in.dmp (holding contents) onto the blank tape blank.dmp with the given vtape options.
restore_run_t restore(const scratch_directory_t& directory, const std::string& contents,
                      const std::string& options = "")
{
    directory.write("in.dmp", contents);
    const std::string device = "vtape:" + directory.file("blank.dmp") + "?trace=" + directory.file("trace.txt") +
                               (options.empty() ? "" : "&" + options);
    restore_run_t result{run_brx_on("BRX_TAPE1", device, {"in.dmp", tape1, "/log=restore.log"}, directory.path()),
                         "", "", ""};
    result.log = directory.read("restore.log");
    result.tape = directory.read("blank.dmp");
    result.trace = directory.read("trace.txt");
    return result;
}

const std::string rewind_good = "01 00 00 00 00 00 | none 0 | status 00 | sense -\n";
const std::string set_up_after_rewind = "1A 00 00 00 04 00 | in 4 | status 00 | sense -\n"
                                        "15 00 00 00 04 00 | out 4 | status 00 | sense -\n"
                                        "05 00 00 00 00 00 | in 65536 | status 00 | sense -\n";

const std::vector<std::string> sample = {record_of(80, 1), record_of(2048, 2), "", record_of(65024, 3),
                                         record_of(65536, 4), record_of(1, 5), "", ""};

TEST(restore_e2e, the_tape_receives_every_record_and_tape_mark)
{
    const std::vector<std::vector<std::string>> files = {sample, {}, {"", ""}, {record_of(3, 6)}};
    for (const auto& blocks : files) {
        scratch_directory_t directory;
        const std::string image = container_of(blocks);
        const restore_run_t result = restore(directory, image);
        EXPECT_EQ(result.run.exit_status, 0);
        EXPECT_EQ(result.run.standard_error, "");
        EXPECT_EQ(result.log, "");
        EXPECT_TRUE(result.tape == image) << blocks.size() << " blocks";
        EXPECT_EQ(result.trace.substr(0, rewind_good.size() + set_up_after_rewind.size()),
                  rewind_good + set_up_after_rewind);
    }
}

TEST(restore_e2e, the_writes_are_one_request_per_block)
{
    scratch_directory_t directory;
    const restore_run_t result = restore(directory, container_of({record_of(80, 1), "", record_of(65536, 2)}));
    EXPECT_EQ(result.run.exit_status, 0);
    EXPECT_EQ(result.trace, rewind_good + set_up_after_rewind +
                                "0A 00 00 00 50 00 | out 80 | status 00 | sense -\n"
                                "10 00 00 00 01 00 | none 0 | status 00 | sense -\n"
                                "0A 00 01 00 00 00 | out 65536 | status 00 | sense -\n");
}

TEST(restore_e2e, rewind_is_sent_again_while_the_drive_reports_unit_attention)
{
    scratch_directory_t directory;
    const std::string image = container_of({record_of(10, 1)});
    const restore_run_t result = restore(directory, image, "attention=3");
    EXPECT_EQ(result.run.exit_status, 0);
    EXPECT_EQ(result.run.standard_error, "");
    EXPECT_TRUE(result.tape == image);
    const std::string attention = "01 00 00 00 00 00 | none 0 | status 02 | sense 06/28/00\n";
    EXPECT_EQ(result.trace, attention + attention + attention + rewind_good + set_up_after_rewind +
                                "0A 00 00 00 0A 00 | out 10 | status 00 | sense -\n");
}

TEST(restore_e2e, drives_that_cannot_take_the_copy_are_refused_before_any_write)
{
    const struct {
        std::string options, message;
    } cases[] = {
        {"minblock=4", path1 + ": block length error\n"},
        {"notready", path1 + ": device not ready\n"},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        const restore_run_t result = restore(directory, container_of(sample), c.options);
        EXPECT_EQ(result.run.exit_status, 1) << c.options;
        EXPECT_EQ(result.run.standard_error, c.message) << c.options;
        EXPECT_EQ(result.log, c.message) << c.options;
        EXPECT_EQ(result.tape, "") << c.options;
    }
}

TEST(restore_e2e, a_full_tape_ends_the_copy_with_status_0)
{
    // Each 1,000-byte record takes 1,008 bytes of medium.
    const std::vector<std::string> blocks = {record_of(1000, 1), record_of(1000, 2), record_of(1000, 3),
                                             record_of(1000, 4)};
    const struct {
        std::string options, message;
        size_t blocks_on_tape;
    } cases[] = {
        // The second record ends inside the early-warning zone: written, then the copy stops.
        {"capacity=3500&ew=1600", "BRX:1191: " + path1 + ": can't complete record write operation; tape full\n", 2},
        // The fourth record does not fit: VOLUME OVERFLOW, a sense key the loop calls fatal.
        {"capacity=3500", "BRX:1184: " + path1 + ": fatal SCSI error (F0...4D...00 02)\n", 3},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        const restore_run_t result = restore(directory, container_of(blocks), c.options);
        EXPECT_EQ(result.run.exit_status, 0) << c.options;
        EXPECT_EQ(result.run.standard_error, c.message) << c.options;
        EXPECT_EQ(result.log, c.message) << c.options;
        const std::vector<std::string> written(blocks.begin(), blocks.begin() + c.blocks_on_tape);
        EXPECT_TRUE(result.tape == container_of(written)) << c.options;
    }
}

TEST(restore_e2e, damaged_dump_files_stop_where_the_damage_is)
{
    const std::string two = container_of({record_of(100, 1), ""});
    std::string too_long = container_of({record_of(65537, 2)});
    const struct {
        std::string contents;
        int status;
        std::string message;
    } cases[] = {
        {two + std::string(5, '\x7F'), 0, ""},  // inside a header: as if the file ended cleanly
        {two + container_of({record_of(500, 3)}).substr(0, 300), 0, "BRX:1104: in.dmp: unexpected end-of-file\n"},
        {two + too_long, 1, "BRX:1110: in.dmp: record length 65537 exceeds the transfer buffer\n"},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        const restore_run_t result = restore(directory, c.contents);
        EXPECT_EQ(result.run.exit_status, c.status) << c.message;
        EXPECT_EQ(result.run.standard_error, c.message);
        EXPECT_EQ(result.log, c.message);
        EXPECT_TRUE(result.tape == two) << c.message;
    }
}

TEST(restore_e2e, a_dump_file_that_cannot_be_read_is_told_by_perror_on_the_console_only)
{
    // A directory opens for reading here, but its first header read fails with the error indicator set.
    scratch_directory_t directory;
    std::filesystem::create_directory(directory.file("dir.dmp"));
    const brx_run_t run = run_brx_on("BRX_TAPE1", "vtape:" + directory.file("blank.dmp"),
                                     {"dir.dmp", tape1, "/log=restore.log"}, directory.path());
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.standard_error, "dir.dmp: Is a directory\n");
    EXPECT_EQ(directory.read("restore.log"), "");
    EXPECT_EQ(directory.read("blank.dmp"), "");
}

TEST(restore_e2e, a_missing_dump_file_is_reported_before_the_device_name)
{
    scratch_directory_t directory;
    const brx_run_t run = run_brx_on("BRX_TAPE1", "vtape:" + directory.file("blank.dmp"),
                                     {"missing.dmp", "\\\\.\\cdrom1", "/log=restore.log"}, directory.path());
    EXPECT_EQ(run.exit_status, 1);
    const std::string prefix = "Failed to open dump file: ";
    EXPECT_EQ(run.standard_error.substr(0, prefix.size()), prefix);
    EXPECT_EQ(directory.read("restore.log"), run.standard_error);
    EXPECT_FALSE(directory.exists("blank.dmp"));
}

}  // namespace
