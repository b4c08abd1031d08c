// The brx executable's answers to its command line: standard error, nothing on standard output,
// the exit status, and the files left behind (a named log is created and keeps front-end messages out).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "frontend/usage.h"
#include "tests/support/e2e_posix.h"

namespace {

using files_t = std::vector<std::pair<std::string, std::string>>;

const std::string usage =
    "Usage: brx <tape-device-name> <file-name> [options]\n   or: brx <file-name> <tape-device-name>\n"
    "           <tape-device-name> stands for tape device\n           <file-name> stands for name of "
    "file to dump to\n\noptions:\n   /log=<file name> - log file name\n   /reads=<number>  - number of "
    "attempts to read the damaged data block\n   /ignore          - try to ignore the bad blocks and "
    "continue execution\n\n";
const std::string banner = "\nbrx 1.2 - tape dump and restore utility\n\nWritten by the brx developers\n\n" + usage;
const std::string wrong = "brx: wrong argument(s) detected\n" + usage;
const std::string no_reads = "brx: number of attempts to read the bad block not specifyed\n";
const std::string huge(100000, 'X'), lowered(100000, 'x');
const std::string tape_open = "Failed to open tape device '\\\\.\\Tape";

files_t contents_of(const scratch_directory_t& directory)
{
    files_t files;
    for (const std::string& name : directory.names())
        files.emplace_back(name, directory.read(name));
    return files;
}

}  // namespace

TEST(command_line, answers_without_touching_a_tape)
{
    EXPECT_EQ(std::string(usage_text), usage);
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string error;  // the whole of standard error, or its beginning when prefix is set
        bool prefix;
    } cases[] = {
        {{}, 0, banner, false},
        {{"\\\\.\\tape0"}, 0, banner, false},
        {{"a", "b"}, 1, wrong, false},
        {{"\\\\.\\tape0", "\\\\.\\tape1"}, 1, wrong, false},
        {{"", ""}, 1, wrong, false},
        {{"a", "b", "/reads="}, 1, no_reads + wrong, false},
        {{"a", "b", "/reads=", "/log="}, 1, no_reads + wrong, false},  // examination ends at the first
        {{"a", "b", "/log="}, 1, "brx: log file name not specifyed\n" + wrong, false},
        {{"a", "b", "/log=No/Such/Dir.TXT"}, 1, "brx: can not open log file name: \"no/such/dir.txt\"\n" + wrong, false},
        {{"a", "b", "/log=" + huge}, 1, "brx: can not open log file name: \"" + lowered + "\"\n" + wrong, false},
        {{"a", "b", "/reads=99999999999999999999", "/ignore" + huge}, 1, wrong, false},
        {{"/reads=", "b"}, 1, wrong, false},  // options before the names are names
        {{"\\\\.\\", ""}, 1, "\\\\.\\: wrong device name\n", false},
        {{"\\\\.\\%s%n%p", "out.dmp"}, 1, "\\\\.\\%s%n%p: wrong device name\n", false},
        {{"in.dmp", "\\\\.\\%S%N%99999d"}, 1, "BRX:714: \\\\.\\%s%n%99999d: wrong device name\n", false},
        {{"\\\\.\\" + huge, "out.dmp"}, 1, "\\\\.\\" + lowered + ": wrong device name\n", false},
        {{"\\\\.\\tape" + std::string(5000, '9'), "out.dmp"}, 1, tape_open, true},
        {{"\\\\.\\tape97", "%s%n.dmp", "/%n%s"}, 1, tape_open + "97': ", true},
        {{"/ignore", "\\\\.\\tape0", "out.dmp"}, 1, "Failed to open dump file: ", true},
        {{"missing.dmp", "\\\\.\\cdrom0"}, 1, "Failed to open dump file: ", true},  // before the device name
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write("in.dmp", "");
        const brx_run_t run = run_brx(c.arguments, directory.path());
        const std::string shown = c.arguments.empty() ? "" : c.arguments[0].substr(0, 40);
        EXPECT_EQ(run.exit_status, c.status) << shown;
        EXPECT_EQ(run.standard_output, "") << shown;
        EXPECT_TRUE((c.prefix ? run.standard_error.substr(0, c.error.size()) : run.standard_error) == c.error)
            << shown << ": " << run.standard_error.substr(0, 200);
        if (c.prefix) {
            EXPECT_EQ(run.standard_error.find("wrong device name"), std::string::npos) << shown;
            EXPECT_EQ(run.standard_error.substr(run.standard_error.size() - 3), ".\n\n") << shown;
        }
        EXPECT_EQ(directory.names(), std::vector<std::string>{"in.dmp"}) << shown;  // nothing created
    }
}

TEST(command_line, named_logs_are_created_lower_cased_and_hold_only_copy_messages)
{
    const std::string cdrom = "\\\\.\\cdrom0: wrong device name\n";
    const std::string long_714 = "BRX:714: \\\\.\\cdrom" + std::string(400, 'x') + ": wrong device name\n";
    const struct {
        std::vector<std::string> arguments;
        std::string error;
        files_t files;  // besides in.dmp
    } cases[] = {
        {{"a", "b", "/LOG=Run.TXT"}, wrong, {{"old.log", "left over\n"}, {"run.txt", ""}}},
        {{"a", "b", "/log=first.log", "/log=Old.log"}, wrong, {{"first.log", ""}, {"old.log", ""}}},
        {{"\\\\.\\tape0", "out.dmp", "/log=run.txt", "/reads="}, no_reads + wrong, {{"old.log", "left over\n"}, {"run.txt", ""}}},
        {{"\\\\.\\CDROM0", "out.dmp", "/log=run.txt"}, cdrom, {{"old.log", "left over\n"}, {"run.txt", cdrom}}},
        {{"in.dmp", "\\\\.\\CDROM" + std::string(400, 'X'), "/log=run.txt"}, long_714,
         {{"old.log", "left over\n"}, {"run.txt", long_714}}},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write("in.dmp", "");
        directory.write("old.log", "left over\n");
        const brx_run_t run = run_brx(c.arguments, directory.path());
        EXPECT_EQ(run.exit_status, 1) << c.arguments[2];
        EXPECT_EQ(run.standard_output, "");
        EXPECT_EQ(run.standard_error, c.error) << c.arguments[2];
        files_t expected = {{"in.dmp", ""}};
        expected.insert(expected.end(), c.files.begin(), c.files.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(contents_of(directory), expected) << c.arguments[2];
    }
}
