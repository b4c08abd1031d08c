// The brx executable's answers to its command line: standard error, nothing on standard output,
// the exit status, and the files it leaves (a named log is created and keeps front-end messages out).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/usage.h"
#include "tests/support/e2e_posix.h"

TEST(command_line, answers_without_touching_a_tape)
{
    const std::string usage =
        "Usage: brx <tape-device-name> <file-name> [options]\n   or: brx <file-name> <tape-device-name>\n"
        "           <tape-device-name> stands for tape device\n           <file-name> stands for name of "
        "file to dump to\n\noptions:\n   /log=<file name> - log file name\n   /reads=<number>  - number of "
        "attempts to read the damaged data block\n   /ignore          - try to ignore the bad blocks and "
        "continue execution\n\n";
    EXPECT_EQ(std::string(usage_text), usage);
    const std::string banner = "\nbrx 1.2 - tape dump and restore utility\n\nWritten by the brx developers\n\n" + usage;
    const std::string wrong = "brx: wrong argument(s) detected\n" + usage;
    const std::string no_reads = "brx: number of attempts to read the bad block not specifyed\n";
    const std::string cdrom = "\\\\.\\cdrom0: wrong device name\n";
    const std::string long_714 = "BRX:714: \\\\.\\cdrom" + std::string(400, 'x') + ": wrong device name\n";
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string error;
        std::vector<std::string> files;  // besides in.dmp; a log is run.txt
        std::string log;
    } cases[] = {
        {{}, 0, banner, {"in.dmp"}, ""},
        {{"a", "b"}, 1, wrong, {"in.dmp"}, ""},
        {{"\\\\.\\tape0", "\\\\.\\tape1"}, 1, wrong, {"in.dmp"}, ""},
        {{"a", "b", "/reads=", "/log="}, 1, no_reads + wrong, {"in.dmp"}, ""},  // examination ends at the first
        {{"a", "b", "/log=No/Such/Dir.TXT"}, 1, "brx: can not open log file name: \"no/such/dir.txt\"\n" + wrong, {"in.dmp"}, ""},
        {{"a", "b", "/LOG=Run.TXT"}, 1, wrong, {"in.dmp", "run.txt"}, ""},
        {{"\\\\.\\CDROM0", "out.dmp", "/log=run.txt"}, 1, cdrom, {"in.dmp", "run.txt"}, cdrom},
        {{"in.dmp", "\\\\.\\CDROM" + std::string(400, 'X'), "/log=run.txt"}, 1, long_714, {"in.dmp", "run.txt"}, long_714},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write("in.dmp", "");
        const brx_run_t run = run_brx(c.arguments, directory.path());
        const std::string shown = testing::PrintToString(c.arguments).substr(0, 60);
        EXPECT_EQ(run.exit_status, c.status) << shown;
        EXPECT_EQ(run.standard_output, "") << shown;
        EXPECT_EQ(run.standard_error, c.error) << shown;
        EXPECT_EQ(directory.names(), c.files) << shown;
        EXPECT_EQ(directory.read("run.txt"), c.log) << shown;
    }
}
