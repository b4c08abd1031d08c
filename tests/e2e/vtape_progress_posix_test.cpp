// "/progress" under a pseudo-terminal: what stays on the screen is exactly the classic messages;
// on a pipe nothing of the status line is written.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>

#include "tests/support/e2e.h"
#include "tests/support/spawn_posix.h"

namespace {

// bytes: everything brx wrote to the terminal
struct terminal_run_t { int exit_status = -1; std::string bytes; };

// Runs brx (or program) on a pseudo-terminal with BRX_TAPE0 set; sends SIGUSR1 once the first
// status line has been drawn when asked to.
terminal_run_t run_on_terminal(const std::string& device, const std::vector<std::string>& arguments,
                               const std::string& directory, bool request_line, const char* program = BRX_EXECUTABLE)
{
    terminal_run_t run;
    int master = -1;
    spawn_t how{program, arguments, directory, {{"BRX_TAPE0", device}}};
    how.terminal = &master;
    const pid_t child = spawn(how);
    char chunk[4096];
    ssize_t got;
    bool requested = !request_line;
    pollfd wait_for{master, POLLIN, 0};
    while (child > 0 && run.bytes.size() < (1u << 20) && poll(&wait_for, 1, 60000) > 0 &&
           (got = read(master, chunk, sizeof chunk)) > 0) {
        run.bytes.append(chunk, static_cast<size_t>(got));
        if (!requested && run.bytes.find("records") != std::string::npos)
            requested = kill(child, SIGUSR1) == 0;
    }
    run.exit_status = finish(child);
    close(master);
    return run;
}

// The text a terminal shows for bytes: a carriage return goes back to the line's start, a line
// feed to the next line; trailing blanks are not seen.
std::vector<std::string> screen_of(const std::string& bytes)
{
    std::vector<std::string> lines(1);
    size_t column = 0;
    for (const char c : bytes) {
        if (c == '\n')
            lines.emplace_back();
        if (c == '\r' || c == '\n') {
            column = 0;
        } else {
            lines.back().resize(std::max(lines.back().size(), column + 1), ' ');
            lines.back()[column++] = c;
        }
    }
    for (std::string& line : lines)
        line.erase(line.find_last_not_of(' ') + 1);
    if (lines.back().empty())
        lines.pop_back();
    return lines;
}

}  // namespace

TEST(vtape_progress, the_screen_keeps_exactly_the_classic_messages)
{
    std::vector<std::string> blocks;
    for (int k = 0; k < 60; ++k)
        blocks.push_back(k == 40 ? "" : record_of(80, static_cast<unsigned>(k)));
    // ring: the line shows how full it is, and a last line follows the messages
    const struct { bool dump; std::string options; bool request_line; std::string ring; } cases[] = {
        {true, "?bad=30:2", false, ""},  // a block that reads on the third try: messages amid the lines
        {true, "?trace=t", true, ""},
        {false, "?capacity=3000", false, ""},
        {true, "?bad=30:2", false, "/buffer=1"},
        {false, "?capacity=3000", false, "/buffer=1"},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write(c.dump ? "tape.dmp" : "in.dmp", container_of(blocks));
        const std::string device = "vtape:" + directory.file("tape.dmp") + c.options;
        const std::vector<std::string> arguments =
            c.dump ? std::vector<std::string>{"\\\\.\\tape0", "out.dmp", "/reads=3"}
                   : std::vector<std::string>{"in.dmp", "\\\\.\\tape0"};
        const brx_run_t classic = run_brx_on("BRX_TAPE0", device, arguments, directory.path());
        directory.write("tape.dmp", c.dump ? container_of(blocks) : "");
        std::vector<std::string> with_option = arguments;
        with_option.insert(with_option.end(), {"/progress", c.ring});  // an empty argument is passed over
        // A slow drive, so that the line is drawn (on the terminal only).
        const brx_run_t piped = run_brx_on("BRX_TAPE0", device + "&delay=12000", with_option, directory.path());
        directory.write("tape.dmp", c.dump ? container_of(blocks) : "");
        const terminal_run_t shown = run_on_terminal(device + "&delay=12000", with_option, directory.path(), c.request_line);
        EXPECT_EQ(piped.exit_status, classic.exit_status) << c.options;
        EXPECT_EQ(piped.standard_error.substr(0, c.ring.empty() ? std::string::npos : classic.standard_error.size()),
                  classic.standard_error) << c.options;
        EXPECT_EQ(shown.exit_status, classic.exit_status) << c.options;
        EXPECT_NE(shown.bytes.find(c.ring.empty() ? "records" : "buffer "), std::string::npos) << c.options;  // the line was drawn
        std::vector<std::string> screen = screen_of(shown.bytes);
        if (c.request_line) {  // the requested line stays, and only it
            ASSERT_FALSE(screen.empty());
            EXPECT_EQ(screen.front().rfind("file ", 0), 0u) << screen.front();
            screen.erase(screen.begin());
        }
        if (!c.ring.empty() && !screen.empty()) {
            EXPECT_EQ(screen.back().rfind("Buffer of 1 MiB: ", 0), 0u) << screen.back();
            screen.pop_back();
        }
        EXPECT_EQ(screen, screen_of(classic.standard_error)) << c.options;
    }
    // brxtool draws its line after two quiet seconds, and erases it before anything else it prints.
    scratch_directory_t directory;
    directory.write("tape.dmp", container_of(blocks));
    directory.write("copy.dmp", container_of(blocks));
    const std::string totals = ": 2 files, 59 records, 4720 bytes, 1 tape marks, 0 bad records";
    const struct {
        std::vector<std::string> arguments;
        std::string screen;
    } runs[] = {
        {{"convert", "\\\\.\\tape0", "out.tap"}, "\\\\.\\tape0 (device) -> out.tap (tap)" + totals},
        {{"verify", "\\\\.\\tape0", "copy.dmp"}, "\\\\.\\tape0 and copy.dmp are equal" + totals},
    };
    for (const auto& run : runs) {
        const terminal_run_t shown = run_on_terminal("vtape:" + directory.file("tape.dmp") + "?delay=50000", run.arguments,
                                                     directory.path(), false, BRXTOOL_EXECUTABLE);
        EXPECT_EQ(shown.exit_status, 0);
        EXPECT_NE(shown.bytes.find("\rbrxtool " + run.arguments[0] + ": "), std::string::npos) << shown.bytes;
        EXPECT_EQ(screen_of(shown.bytes), std::vector<std::string>{run.screen});
    }
}
