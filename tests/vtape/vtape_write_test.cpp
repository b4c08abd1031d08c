// WRITE and WRITE FILEMARKS: the container bytes they leave and the sense they report.
#include <gtest/gtest.h>

#include "tests/vtape/vtape_test_support.h"

namespace {

TEST(vtape_write, writes_make_the_container_bytes_and_end_the_medium_after_them)
{
    vtape_dir_t dir;
    const std::string path = dir.path("t.dmp");
    auto tape = open_tape(path);  // absent: created empty
    write_blocks(*tape, {{0, 0}, {80, 1}, {2048, 2}, {0, 0}, {1, 3}});
    const bytes_t file = read_file(path);
    EXPECT_EQ(file, container_of({{0, 0}, {80, 1}, {2048, 2}, {0, 0}, {1, 3}}));
    EXPECT_EQ(bytes_t(file.begin(), file.begin() + 16), (bytes_t{0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 80, 0, 0, 0, 0}));
    run(*tape, space6(1, -1));
    write_blocks(*tape, {{100, 9}});
    const bytes_t truncated = container_of({{0, 0}, {80, 1}, {2048, 2}, {100, 9}});
    EXPECT_EQ(read_file(path), truncated);
    EXPECT_EQ(position_of(*tape), 4u);
    EXPECT_EQ(run(*tape, filemarks6(0)).reply.status, 0);  // a flush: nothing written
    EXPECT_EQ(read_file(path), truncated);
    tape.reset();
    tape = open_tape(path + "?protect");
    EXPECT_EQ(run(*tape, write6(10), 0, pattern(10, 2)).sense, sense(0x7, 0x2700));
    EXPECT_EQ(run(*tape, filemarks6(1)).sense, sense(0x7, 0x2700));
    EXPECT_EQ(read_file(path), truncated);
}

TEST(vtape_write, early_warning_and_overflow_count_file_bytes)
{
    const bytes_t warning = sense(0x40, 0x0002, 0);
    struct case_t { uint32_t length; bool written; bytes_t sense; };  // after 600 file bytes
    const case_t cases[] = {
        {192, true, {}},  // ends exactly at the warning
        {193, true, warning},
        {392, true, warning},  // ends exactly at capacity
        {393, false, sense(0x4D, 0x0002, 393)},
    };
    vtape_dir_t dir;
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.length);
        write_file(dir.path("t.dmp"), container_of({{592, 1}}));
        auto tape = open_tape(dir.path("t.dmp") + "?capacity=1000&ew=200");
        run(*tape, space6(3, 0));
        EXPECT_EQ(run(*tape, write6(c.length), 0, pattern(c.length, 2)).sense, c.sense);
        const std::vector<block_spec_t> expected = {{592, 1}, {c.length, 2}};
        EXPECT_EQ(read_file(dir.path("t.dmp")), container_of({expected.begin(), expected.end() - !c.written}));
        EXPECT_EQ(position_of(*tape), c.written ? 2u : 1u);
    }
    auto tape = open_tape(dir.path("m.dmp") + "?capacity=20");  // INFORMATION counts the marks not written
    EXPECT_EQ(run(*tape, filemarks6(5)).sense, sense(0x4D, 0x0002, 3));
    EXPECT_EQ(read_file(dir.path("m.dmp")), container_of({{0, 0}, {0, 0}}));
}

}  // namespace
