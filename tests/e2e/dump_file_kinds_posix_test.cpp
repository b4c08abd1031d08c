// brx with a dump file that is not a regular file: a FIFO, a pipe through /dev/stdout and
// /dev/stdin, a directory. Each pipeline runs under sh in a scratch directory.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include "platform/platform.h"
#include "tests/support/e2e.h"

namespace {

// The exit status of the script's last command (the brx of a pipeline: see PIPESTATUS below).
int shell(const scratch_directory_t& directory, const std::string& script)
{
    const std::string command = "cd '" + directory.path() + "' && BRX=" BRX_EXECUTABLE
                                " BRX_TAPE0=vtape:tape.dmp timeout 60 bash -c '" + script + "'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(dump_file_kinds, pipes_carry_the_same_bytes_as_files_and_fail_as_files_do)
{
    const std::string tape = container_of({record_of(80, 1), "", record_of(65024, 2), record_of(1, 3), "", ""});
    scratch_directory_t directory;
    directory.write("tape.dmp", tape);
    ASSERT_EQ(shell(directory, "$BRX \\\\\\\\.\\\\tape0 file.dmp"), 0);
    ASSERT_EQ(directory.read("file.dmp"), tape);
    const struct { const char* name; const char* script; } dumps[] = {
        {"fifo", "mkfifo f && { cat f > out.dmp & } && $BRX \\\\\\\\.\\\\tape0 f && wait"},
        {"stdout", "set -o pipefail; $BRX \\\\\\\\.\\\\tape0 /dev/stdout | cat > out.dmp"},
    };
    for (const auto& d : dumps) {
        EXPECT_EQ(shell(directory, std::string("rm -f f out.dmp; ") + d.script), 0) << d.name;
        EXPECT_TRUE(directory.read("out.dmp") == tape) << d.name;
    }
    // Restore from a pipe onto a blank tape.
    directory.write("tape.dmp", "");
    EXPECT_EQ(shell(directory, "set -o pipefail; cat file.dmp | $BRX /dev/stdin \\\\\\\\.\\\\tape0"), 0);
    EXPECT_TRUE(directory.read("tape.dmp") == tape);
    // A directory is no dump file; and a reader that leaves fails the write with the runtime's text,
    // status 1, with a ring too.
    EXPECT_EQ(shell(directory, "mkdir d && : > tape.dmp && $BRX d \\\\\\\\.\\\\tape0 2>err"), 1);
    EXPECT_EQ(directory.read("err"), "Failed to open dump file: " + system_text(ERROR_ACCESS_DENIED) + "\n");
    EXPECT_EQ(directory.read("tape.dmp"), "");
    std::vector<std::string> records(40);
    for (unsigned i = 0; i < 40; ++i) records[i] = record_of(65024, i);
    directory.write("tape.dmp", container_of(records));
    for (const std::string ring : {"", " /buffer=1"}) {
        EXPECT_EQ(shell(directory, "$BRX \\\\\\\\.\\\\tape0 /dev/stdout" + ring + " 2>err | head -c 100 >/dev/null; exit ${PIPESTATUS[0]}"), 1);
        EXPECT_EQ(directory.read("err"), "/dev/stdout: Broken pipe\n") << ring;
    }
}
