// brx dumping a virtual tape: the dump file, standard error and the log, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/e2e_posix.h"

namespace {

const char tape0[] = "\\\\.\\tape0";

struct dump_run_t {
    brx_run_t run;
    std::string log;
};

// Dumps the tape held in tape.dmp (with vtape options) into out.dmp, logging to dump.log.
dump_run_t dump(const scratch_directory_t& directory, const std::string& options,
                std::vector<std::string> extra = {})
{
    std::vector<std::string> arguments = {tape0, "out.dmp", "/log=dump.log"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    const std::string device = "vtape:" + directory.file("tape.dmp") + (options.empty() ? "" : "?" + options);
    dump_run_t result{run_brx_on("BRX_TAPE0", device, arguments, directory.path()), ""};
    result.log = directory.read("dump.log");
    return result;
}

std::string bad_block_line(long long offset)
{
    return "TAPE BAD BLOCK detected (offset " + std::to_string(offset) + " bytes), trying to recover...\n";
}

std::string failed_read_line(unsigned long code) { return "Failed to read tape block: " + system_text(code) + "\n"; }

std::string offset_line(long long offset) { return "DUMP file offset: " + std::to_string(offset) + "\n"; }

// A record that fails to read: the drive says MEDIUM ERROR and the driver leaves no reason of
// the system's, so the reason printed is the text for code 0.
const unsigned long medium_error_code = 0;

// Blocks 0 to 2 lie in 324 bytes, so block 3 (the record of 300 bytes) has its header at 324.
const std::vector<std::string> four_blocks = {record_of(100, 1), record_of(200, 2), "", record_of(300, 3)};
const long long block_3_offset = 324;

TEST(dump_e2e, blank_tape_gives_an_empty_dump_file)
{
    scratch_directory_t directory;
    const dump_run_t result = dump(directory, "trace=" + directory.file("trace.txt"));
    EXPECT_EQ(result.run.exit_status, 0);
    EXPECT_EQ(result.run.standard_error, "");
    EXPECT_EQ(result.log, "");
    ASSERT_TRUE(directory.exists("out.dmp"));
    EXPECT_EQ(directory.read("out.dmp"), "");
    // One rewind, one read that meets the end of the data.
    EXPECT_EQ(directory.read("trace.txt"),
              "01 00 00 00 00 00 | none 0 | status 00 | sense -\n"
              "08 00 00 FE 00 00 | in 65024 | status 02 | sense 08/00/05\n");
}

TEST(dump_e2e, records_and_doubled_tape_marks_are_copied_exactly)
{
    const std::vector<std::vector<std::string>> tapes = {
        {record_of(80, 1), record_of(2048, 2), "", record_of(65024, 3), record_of(1, 4), "", ""},
        {"", "", record_of(512, 5)},
        {""},
    };
    for (const auto& blocks : tapes) {
        scratch_directory_t directory;
        const std::string image = container_of(blocks);
        directory.write("tape.dmp", image);
        const dump_run_t result = dump(directory, "");
        EXPECT_EQ(result.run.exit_status, 0);
        EXPECT_EQ(result.run.standard_error, "");
        EXPECT_EQ(result.log, "");
        EXPECT_TRUE(directory.read("out.dmp") == image) << blocks.size() << " blocks";
    }
}

TEST(dump_e2e, a_record_that_reads_on_the_third_attempt_is_copied)
{
    scratch_directory_t directory;
    const std::string image = container_of(four_blocks);
    directory.write("tape.dmp", image);
    const dump_run_t result = dump(directory, "bad=3:2", {"/reads=3"});
    EXPECT_EQ(result.run.exit_status, 0);
    EXPECT_EQ(result.run.standard_error, bad_block_line(block_3_offset) + bad_block_line(block_3_offset));
    EXPECT_EQ(result.log, bad_block_line(block_3_offset) + failed_read_line(medium_error_code) +
                              offset_line(block_3_offset) + bad_block_line(block_3_offset));
    EXPECT_TRUE(directory.read("out.dmp") == image);
}

TEST(dump_e2e, a_record_that_never_reads_fails_the_dump_and_deletes_the_partial_file)
{
    const std::string bad = bad_block_line(block_3_offset);
    const std::string failed = failed_read_line(medium_error_code);
    const std::string pair = failed + offset_line(block_3_offset);
    const struct {
        std::vector<std::string> options;
        std::string console, log;
        bool kept;
    } cases[] = {
        {{"/reads=3"}, bad + bad + bad + failed, bad + pair + bad + pair + bad + pair + pair, false},
        {{"/reads=3", "/ignore"}, bad + bad + bad + failed, bad + pair + bad + pair + bad + pair + pair, true},
        {{}, failed, pair, false},
        {{"/reads=-2"}, failed, pair, false},  // a negative count asks for no further attempt
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write("tape.dmp", container_of(four_blocks));
        const dump_run_t result = dump(directory, "bad=3", c.options);
        const std::string name = c.options.empty() ? "no options" : c.options[0];
        EXPECT_EQ(result.run.exit_status, 1) << name;
        EXPECT_EQ(result.run.standard_error, c.console) << name;
        EXPECT_EQ(result.log, c.log) << name;
        EXPECT_EQ(directory.exists("out.dmp"), c.kept) << name;
        if (c.kept) {
            EXPECT_TRUE(directory.read("out.dmp") == container_of({four_blocks[0], four_blocks[1], ""}));
        }
    }
}

TEST(dump_e2e, records_longer_than_the_data_area_are_failed_reads)
{
    // Up to the buffer's size the reason is "more data"; beyond it the driver leaves none.
    const struct {
        size_t length;
        unsigned long reason;
    } cases[] = {{65025u, ERROR_MORE_DATA}, {65536u, ERROR_MORE_DATA}, {70000u, NO_ERROR}};
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write("tape.dmp", container_of({record_of(10, 1), record_of(c.length, 2)}));
        const dump_run_t result = dump(directory, "");
        const std::string failed = failed_read_line(c.reason);
        EXPECT_EQ(result.run.exit_status, 1) << c.length;
        EXPECT_EQ(result.run.standard_error, failed) << c.length;
        EXPECT_EQ(result.log, failed + offset_line(18)) << c.length;
        EXPECT_FALSE(directory.exists("out.dmp")) << c.length;
    }
}

TEST(dump_e2e, a_device_that_cannot_be_opened_leaves_an_existing_file_alone)
{
    scratch_directory_t directory;
    directory.write("out.dmp", "earlier run");
    const brx_run_t run = run_brx_on("BRX_TAPE0", "vtape:" + directory.file("missing/tape.dmp"),
                                     {tape0, "out.dmp", "/log=dump.log"}, directory.path());
    const std::string message = "Failed to open tape device '\\\\.\\Tape0': " + system_text(ERROR_PATH_NOT_FOUND) + "\n";
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_error, message);
    EXPECT_EQ(directory.read("dump.log"), message);
    EXPECT_EQ(directory.read("out.dmp"), "earlier run");
}

TEST(dump_e2e, a_dump_file_that_cannot_be_written_ends_the_process)
{
    scratch_directory_t directory;
    directory.write("tape.dmp", container_of({record_of(100, 1)}));
    const brx_run_t run = run_brx_on("BRX_TAPE0", "vtape:" + directory.file("tape.dmp"), {tape0, "/dev/full"},
                                     directory.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_error, "/dev/full: No space left on device\n");
}

}  // namespace
