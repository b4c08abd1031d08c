// The brx executable's answers to its command line: standard error, nothing on standard output,
// the exit status, and the files it leaves (a named log is created and keeps front-end messages out).
#include <gtest/gtest.h>

#include "frontend/usage.h"
#include "platform/platform.h"
#include "tests/support/e2e.h"

TEST(command_line, answers_without_touching_a_tape)
{
    const std::string usage =
        "Usage: brx <tape-device-name> <file-name> [options]\n   or: brx <file-name> <tape-device-name>\n"
        "           <tape-device-name> stands for tape device\n           <file-name> stands for name of "
        "file to dump to\n\noptions:\n   /log=<file name> - log file name\n   /reads=<number>  - number of "
        "attempts to read the damaged data block\n   /ignore          - try to ignore the bad blocks and "
        "continue execution\n\n";
    EXPECT_EQ(std::string(usage_text), usage);
    const std::string wrong = "brx: wrong argument(s) detected\n" + usage, cdrom = "\\\\.\\cdrom0: wrong device name\n";
    const std::string no_file = "Failed to open dump file: " + system_text(ERROR_FILE_NOT_FOUND) + "\n";
    const std::string long_714 = "BRX:714: \\\\.\\cdrom" + std::string(400, 'x') + ": wrong device name\n";
    // log: run.txt's contents, when it is made
    const struct { std::vector<std::string> arguments; int status; std::string error, log; } cases[] = {
        {{}, 0, "\nbrx 1.2 - tape dump and restore utility\n\nWritten by the brx developers\n\n" + usage, ""},
        {{"\\\\.\\tape0", "\\\\.\\tape1"}, 1, wrong, ""},
        {{"a", "b"}, 1, wrong, ""},
        {{"a", "b", "/reads=", "/log="}, 1, "brx: number of attempts to read the bad block not specifyed\n" + wrong, ""},
        {{"a", "b", "/log=No/Such/Dir.TXT"}, 1, "brx: can not open log file name: \"no/such/dir.txt\"\n" + wrong, ""},
        {{"a", "b", "/LOG=Run.TXT"}, 1, wrong, ""},
        {{"\\\\.\\CDROM0", "out.dmp", "/log=run.txt"}, 1, cdrom, cdrom},
        {{"in.dmp", "\\\\.\\CDROM" + std::string(400, 'X'), "/log=run.txt"}, 1, long_714, long_714},
        {{"missing.dmp", "\\\\.\\tape0", "/log=run.txt"}, 1, no_file, no_file},  // looked at before the device
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write("in.dmp", "");
        const brx_run_t run = run_brx(c.arguments, directory.path());
        const std::string shown = testing::PrintToString(c.arguments).substr(0, 60);
        const bool logs = c.arguments.size() > 2 && (c.arguments[2] == "/log=run.txt" || c.arguments[2] == "/LOG=Run.TXT");
        EXPECT_EQ(run.exit_status, c.status) << shown;
        EXPECT_EQ(run.standard_output, "") << shown;
        EXPECT_EQ(run.standard_error, c.error) << shown;
        std::vector<std::string> files = {"in.dmp"};
        if (logs)
            files.push_back("run.txt");
        EXPECT_EQ(directory.names(), files) << shown;
        EXPECT_EQ(directory.read("run.txt"), c.log) << shown;
    }
}
