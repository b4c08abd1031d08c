// The brx executable's own answers to its command line: texts on standard error, nothing on
// standard output, the exit status, and the log file the options name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/usage.h"
#include "tests/support/run_brx.h"

namespace {

const std::string banner = std::string("\nbrx 1.2 - tape dump and restore utility\n\nWritten by the brx developers\n\n") +
                           usage_text;
const std::string wrong_arguments = std::string("brx: wrong argument(s) detected\n") + usage_text;
const std::string no_log_name = "brx: log file name not specifyed\n";
const std::string no_reads = "brx: number of attempts to read the bad block not specifyed\n";

}  // namespace

TEST(command_line, usage_text_byte_for_byte)
{
    EXPECT_EQ(std::string(usage_text),
              "Usage: brx <tape-device-name> <file-name> [options]\n   or: brx <file-name> <tape-device-name>\n"
              "           <tape-device-name> stands for tape device\n           <file-name> stands for name of "
              "file to dump to\n\noptions:\n   /log=<file name> - log file name\n   /reads=<number>  - number of "
              "attempts to read the damaged data block\n   /ignore          - try to ignore the bad blocks and "
              "continue execution\n\n");
}

TEST(command_line, answers_without_touching_a_tape)
{
    const struct {
        std::vector<std::string> arguments;
        std::string standard_error;
        int exit_status;
    } cases[] = {
        {{}, banner, 0},
        {{"\\\\.\\tape0"}, banner, 0},
        {{"/reads="}, banner, 0},
        {{"a", "b"}, wrong_arguments, 1},
        {{"\\\\.\\tape0", "\\\\.\\tape1"}, wrong_arguments, 1},
        {{"\\\\.\\tape0", "\\\\.\\scsi1:0:4", "/ignore"}, wrong_arguments, 1},
        {{"a", "b", "/reads="}, no_reads + wrong_arguments, 1},
        {{"a", "b", "/READS="}, no_reads + wrong_arguments, 1},
        {{"a", "b", "/log="}, no_log_name + wrong_arguments, 1},
        {{"a", "b", "/reads=", "/log="}, no_reads + wrong_arguments, 1},  // examination ends at the first
        {{"a", "b", "/reads=2", "/verbose", "/ignored", "/reads="}, no_reads + wrong_arguments, 1},
        {{"a", "b", "/log=No/Such/Dir.TXT"}, "brx: can not open log file name: \"no/such/dir.txt\"\n" + wrong_arguments, 1},
        // Options before the names are names: two plain names give no direction.
        {{"/reads=", "b"}, wrong_arguments, 1},
        {{"/log=x", "/reads="}, wrong_arguments, 1},
        // A device prefix must be exact.
        {{"\\\\?\\tape0", "out.dmp"}, wrong_arguments, 1},
        {{"\\\\.tape0", "out.dmp"}, wrong_arguments, 1},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        const brx_run_t run = run_brx(c.arguments, directory.path());
        std::string shown;
        for (const std::string& argument : c.arguments)
            shown += " " + argument;
        EXPECT_FALSE(run.timed_out) << shown;
        EXPECT_EQ(run.exit_status, c.exit_status) << shown;
        EXPECT_EQ(run.standard_error, c.standard_error) << shown;
        EXPECT_EQ(run.standard_output, "") << shown;
        EXPECT_TRUE(directory.names().empty()) << shown;  // no log, no dump file
    }
}

TEST(command_line, log_file_is_created_lower_cased_and_gets_no_front_end_message)
{
    scratch_directory_t directory;
    const brx_run_t run = run_brx({"a", "b", "/LOG=Run.TXT"}, directory.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_error, wrong_arguments);
    EXPECT_EQ(run.standard_output, "");
    EXPECT_EQ(directory.names(), std::vector<std::string>{"run.txt"});
    EXPECT_EQ(directory.read("run.txt"), "");
}

TEST(command_line, every_log_option_opens_its_file_and_an_existing_log_is_truncated)
{
    scratch_directory_t directory;
    directory.write("second.log", "left over from an earlier run\n");
    const brx_run_t run = run_brx({"a", "b", "/log=first.log", "/log=Second.log"}, directory.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_error, wrong_arguments);
    EXPECT_EQ(directory.names(), (std::vector<std::string>{"first.log", "second.log"}));
    EXPECT_EQ(directory.read("first.log"), "");
    EXPECT_EQ(directory.read("second.log"), "");
}

TEST(command_line, a_bad_option_after_a_log_still_leaves_the_log_empty)
{
    scratch_directory_t directory;
    const brx_run_t run = run_brx({"\\\\.\\tape0", "out.dmp", "/log=run.txt", "/reads="}, directory.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_error, no_reads + wrong_arguments);
    EXPECT_EQ(directory.names(), std::vector<std::string>{"run.txt"});
    EXPECT_EQ(directory.read("run.txt"), "");
}

namespace {

bool starts_with(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool ends_with(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

TEST(command_line, wrong_device_names_as_dump_and_restore_word_them)
{
    const std::string long_name = "\\\\.\\CDROM" + std::string(400, 'X');
    const std::string long_lowered = "\\\\.\\cdrom" + std::string(400, 'x');
    const struct {
        std::vector<std::string> arguments;
        std::string message;  // on the console and, word for word, in the log
    } cases[] = {
        {{"\\\\.\\CDROM0", "out.dmp", "/log=run.txt"}, "\\\\.\\cdrom0: wrong device name\n"},
        {{"in.dmp", "\\\\.\\CDROM0", "/log=run.txt"}, "BRX:714: \\\\.\\cdrom0: wrong device name\n"},
        {{"in.dmp", long_name, "/log=run.txt"}, "BRX:714: " + long_lowered + ": wrong device name\n"},
        {{long_name, "out.dmp", "/log=run.txt"}, long_lowered + ": wrong device name\n"},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write("in.dmp", std::string("\0\0\0\0\0\0\0\1", 8));
        const brx_run_t run = run_brx(c.arguments, directory.path());
        EXPECT_EQ(run.exit_status, 1) << c.message;
        EXPECT_EQ(run.standard_error, c.message);
        EXPECT_EQ(run.standard_output, "");
        EXPECT_EQ(directory.read("run.txt"), c.message);
        EXPECT_EQ(directory.names(), (std::vector<std::string>{"in.dmp", "run.txt"}));  // no dump file
    }
}

TEST(command_line, a_tape_that_does_not_open_leaves_an_earlier_dump_file_alone)
{
    scratch_directory_t directory;
    directory.write("out.dmp", "an earlier dump");
    const brx_run_t run = run_brx({"\\\\.\\TAPE97", "out.dmp"}, directory.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_TRUE(starts_with(run.standard_error, "Failed to open tape device '\\\\.\\Tape97': ")) << run.standard_error;
    EXPECT_TRUE(ends_with(run.standard_error, ".\n\n")) << run.standard_error;
    EXPECT_EQ(directory.read("out.dmp"), "an earlier dump");
}

TEST(command_line, an_option_before_the_names_is_a_name)
{
    // "/ignore" is the container file of a restore; out.dmp is examined as an option and passed over.
    scratch_directory_t directory;
    const brx_run_t run = run_brx({"/ignore", "\\\\.\\tape0", "out.dmp"}, directory.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_TRUE(starts_with(run.standard_error, "Failed to open dump file: ")) << run.standard_error;
    EXPECT_TRUE(ends_with(run.standard_error, ".\n\n")) << run.standard_error;
    EXPECT_TRUE(directory.names().empty());
}

TEST(command_line, a_missing_container_file_is_told_before_a_wrong_device_name)
{
    scratch_directory_t directory;
    const brx_run_t run = run_brx({"missing.dmp", "\\\\.\\cdrom0"}, directory.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_TRUE(starts_with(run.standard_error, "Failed to open dump file: ")) << run.standard_error;
    EXPECT_EQ(run.standard_error.find("wrong device name"), std::string::npos);
}

TEST(command_line, any_argument_gets_an_answer_and_no_crash)
{
    const std::string huge(100000, 'X');
    const std::string huge_lowered(100000, 'x');
    const std::string tape_open = "Failed to open tape device '\\\\.\\Tape";
    const struct {
        std::vector<std::string> arguments;
        int exit_status;
        std::string message;  // the whole of standard error, or its beginning when prefix is set
        bool prefix;
    } cases[] = {
        {{"", ""}, 1, wrong_arguments, false},
        {{"", "", ""}, 1, wrong_arguments, false},
        {{"\\\\.\\", ""}, 1, "\\\\.\\: wrong device name\n", false},
        {{"", "\\\\.\\tape97"}, 1, "Failed to open dump file: ", true},
        {{"\\\\.\\tape97", ""}, 1, tape_open + "97': ", true},
        {{"a", "b", "/log=" + huge}, 1,
         "brx: can not open log file name: \"" + huge_lowered + "\"\n" + wrong_arguments, false},
        {{"a", "b", "/reads=" + huge}, 1, wrong_arguments, false},
        {{"a", "b", "/reads=99999999999999999999", "/ignore" + huge}, 1, wrong_arguments, false},
        {{"\\\\.\\" + huge, "out.dmp"}, 1, "\\\\.\\" + huge_lowered + ": wrong device name\n", false},
        {{"in.dmp", "\\\\.\\" + huge}, 1, "BRX:714: \\\\.\\" + huge_lowered + ": wrong device name\n", false},
        {{"\\\\.\\tape" + std::string(5000, '9'), "out.dmp"}, 1, tape_open, true},
        {{"\\\\.\\scsi" + std::string(5000, '9') + ":9999999999:-99999999999", "out.dmp"}, 1,
         "Failed to open tape device '\\\\.\\Scsi", true},
        {{"\\\\.\\%s%n%p", "out.dmp"}, 1, "\\\\.\\%s%n%p: wrong device name\n", false},
        {{"in.dmp", "\\\\.\\%S%N%99999d"}, 1, "BRX:714: \\\\.\\%s%n%99999d: wrong device name\n", false},
        {{"\\\\.\\tape97", "%s%n.dmp", "/%n%s"}, 1, tape_open + "97': ", true},
        {{"\\\\.\\\xFF\x01\x7F", "out.dmp"}, 1, "\\\\.\\\xFF\x01\x7F: wrong device name\n", false},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write("in.dmp", "");
        const brx_run_t run = run_brx(c.arguments, directory.path());
        const std::string shown = c.arguments.empty() ? "" : c.arguments[0].substr(0, 40);
        EXPECT_FALSE(run.timed_out) << shown;
        EXPECT_EQ(run.exit_status, c.exit_status) << shown;
        EXPECT_EQ(run.standard_output, "") << shown;
        if (c.prefix)
            EXPECT_TRUE(starts_with(run.standard_error, c.message)) << shown << ": " << run.standard_error;
        else
            EXPECT_TRUE(run.standard_error == c.message) << shown << ": " << run.standard_error.substr(0, 200);
        EXPECT_EQ(directory.names(), std::vector<std::string>{"in.dmp"}) << shown;  // nothing created
    }
}
