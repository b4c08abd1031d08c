// The drive as a whole: attention and not-ready states, the option string and the trace.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/vtape/vtape_test_support.h"

namespace {

TEST(vtape_drive, unit_attention_and_not_ready_hold_back_commands)
{
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of({{10, 1}}));
    auto tape = open_tape(dir.path("t.dmp") + "?attention=2");
    const bytes_t attention = sense(0x6, 0x2800);
    EXPECT_EQ(run(*tape, cdb6(0x12, 0, 36), 36).reply.status, 0);  // INQUIRY is never held back
    EXPECT_EQ(run(*tape, cdb6(0xEE, 0, 0)).sense, attention);      // before the opcode check
    EXPECT_EQ(run(*tape, cdb6(0x03, 0, 18), 18).data, attention);
    EXPECT_EQ(run(*tape, read6(10), 10).data, pattern(10, 1));
    tape.reset();
    tape = open_tape(dir.path("t.dmp") + "?notready");
    const bytes_t not_ready = sense(0x2, 0x3A00);
    EXPECT_EQ(run(*tape, read6(10), 10).sense, not_ready);
    EXPECT_EQ(run(*tape, cdb6(0x03, 0, 18), 18).data, not_ready);
}

TEST(vtape_drive, bad_option_strings_are_refused_with_a_reason)
{
    const std::pair<const char*, const char*> cases[] = {
        {"t.dmp?colour=red", "unknown option 'colour=red'"},
        {"t.dmp?bad=1:", "bad value in option 'bad=1:' (bad=K or bad=K:N)"},
        {"t.dmp?ew=10", "ew needs capacity"},
    };
    for (const auto& [text, reason] : cases) {
        SCOPED_TRACE(text);
        std::unique_ptr<vtape_t> tape;
        std::string why;
        EXPECT_EQ(vtape_t::open(text, tape, &why), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(why, reason);
        EXPECT_EQ(tape, nullptr);
    }
}

TEST(vtape_drive, the_trace_has_one_line_per_command_and_is_appended_to)
{
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of({{100, 1}}));
    {
        auto tape = open_tape(dir.path("t.dmp") + "?trace=" + dir.path("t.log") + "&attention=1");
        run(*tape, read6(100), 100);
        run(*tape, read6(100), 100);
        run(*tape, read6(100), 99);
        run(*tape, write6(4), 0, {1, 2, 3, 4});
    }
    run(*open_tape(dir.path("t.dmp") + "?trace=" + dir.path("t.log")), cdb6(0x00, 0, 0));
    std::ifstream in(dir.path("t.log"), std::ios::binary);
    const std::string log{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(log, "08 00 00 00 64 00 | in 100 | status 02 | sense 06/28/00\n"
                   "08 00 00 00 64 00 | in 100 | status 00 | sense -\n"
                   "08 00 00 00 64 00 | in 99 | error 87\n"
                   "0A 00 00 00 04 00 | out 4 | status 00 | sense -\n"
                   "00 00 00 00 00 00 | none 0 | status 00 | sense -\n");
}

}  // namespace
