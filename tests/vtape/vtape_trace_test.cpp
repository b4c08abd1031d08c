#include <gtest/gtest.h>

#include "tests/vtape/vtape_test_support.h"

namespace {

TEST(vtape_trace, one_line_per_command_with_cdb_data_status_and_sense)
{
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of({{100, 1}, {0, 0}}));
    const std::string log = dir.path("t.log");
    {
        auto tape = open_tape(dir.path("t.dmp") + "?trace=" + log + "&attention=1");
        run(*tape, rewind6());
        run(*tape, rewind6());
        run(*tape, read6(65024), 65024);
        run(*tape, read6(65024), 65024);
        run(*tape, read6(100), 100);
        run(*tape, read6(100), 99);
        run_out(*tape, write6(4), {1, 2, 3, 4});
        run(*tape, bytes_t{0x5A, 0, 0x3F, 0, 0, 0, 0, 0, 0xFF, 0}, 255);
        run(*tape, bytes_t{0xC1, 0, 0, 0, 0, 0});
    }
    const std::vector<std::string> expected = {
        "01 00 00 00 00 00 | none 0 | status 02 | sense 06/28/00",
        "01 00 00 00 00 00 | none 0 | status 00 | sense -",
        "08 00 00 FE 00 00 | in 65024 | status 02 | sense 00/00/00",
        "08 00 00 FE 00 00 | in 65024 | status 02 | sense 00/00/01",
        "08 00 00 00 64 00 | in 100 | status 02 | sense 08/00/05",
        "08 00 00 00 64 00 | in 99 | error 87",
        "0A 00 00 00 04 00 | out 4 | status 00 | sense -",
        "5A 00 3F 00 00 00 00 00 FF 00 | in 255 | status 00 | sense -",
        "C1 00 00 00 00 00 | none 0 | status 02 | sense 05/20/00",
    };
    EXPECT_EQ(read_lines(log), expected);
    // A second drive on the same trace appends.
    {
        auto tape = open_tape(dir.path("t.dmp") + "?trace=" + log);
        run(*tape, bytes_t{0x00, 0, 0, 0, 0, 0});
    }
    const std::vector<std::string> lines = read_lines(log);
    ASSERT_EQ(lines.size(), expected.size() + 1);
    EXPECT_EQ(lines.back(), "00 00 00 00 00 00 | none 0 | status 00 | sense -");
}

}  // namespace
