#include <gtest/gtest.h>

#include "tests/vtape/vtape_test_support.h"

namespace {

TEST(vtape_write, records_and_marks_make_the_container_bytes)
{
    const std::vector<block_spec_t> blocks = {{0, 0}, {80, 1}, {2048, 2}, {0, 0}, {1, 3}, {0, 0}};
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("new.dmp"));  // absent: created empty
    write_blocks(*tape, blocks);
    EXPECT_EQ(position_of(*tape), 6u);
    EXPECT_EQ(read_file(dir.path("new.dmp")), container_of(blocks));
    // The first header of a tape that begins with a mark.
    const bytes_t file = read_file(dir.path("new.dmp"));
    EXPECT_EQ(bytes_t(file.begin(), file.begin() + 16), (bytes_t{0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 80, 0, 0, 0, 0}));
}

TEST(vtape_write, a_write_ends_the_medium_after_it)
{
    struct case_t {
        const char* what;
        std::vector<bytes_t> moves;  // commands before the write
        std::vector<block_spec_t> after;
    };
    const std::vector<block_spec_t> before = {{10, 1}, {20, 2}, {0, 0}, {30, 3}};
    const case_t cases[] = {
        {"at the beginning", {rewind6()}, {{100, 9}}},
        {"after one record", {rewind6(), space6(0, 1)}, {{10, 1}, {100, 9}}},
        {"after the mark", {rewind6(), space6(1, 1)}, {{10, 1}, {20, 2}, {0, 0}, {100, 9}}},
        {"before the mark, from the end", {space6(1, -1)}, {{10, 1}, {20, 2}, {100, 9}}},
        {"at the end", {}, {{10, 1}, {20, 2}, {0, 0}, {30, 3}, {100, 9}}},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.what);
        vtape_dir_t dir;
        auto tape = open_tape(dir.path("t.dmp"));
        write_blocks(*tape, before);
        for (const bytes_t& cdb : c.moves)
            run(*tape, cdb);
        write_blocks(*tape, {{100, 9}});
        EXPECT_EQ(read_file(dir.path("t.dmp")), container_of(c.after));
        EXPECT_EQ(position_of(*tape), c.after.size());
        // Nothing lies after the new record any more.
        EXPECT_EQ(run(*tape, read6(100), 100).sense, sense_bytes({0x8, 0x00, 0x05, false, false, false, true, 100}));
    }
}

TEST(vtape_write, write_filemarks_counts_and_flags)
{
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("t.dmp"));
    EXPECT_EQ(run(*tape, write_filemarks6(0)).reply.status, 0);  // a flush: nothing written
    EXPECT_EQ(read_file(dir.path("t.dmp")), bytes_t{});
    EXPECT_EQ(run(*tape, write_filemarks6(3)).reply.status, 0);
    EXPECT_EQ(read_file(dir.path("t.dmp")), container_of({{0, 0}, {0, 0}, {0, 0}}));
    EXPECT_EQ(position_of(*tape), 3u);
    EXPECT_EQ(run(*tape, write_filemarks6(1, 0x01)).reply.status, 0);  // IMMED is accepted
    EXPECT_EQ(run(*tape, write_filemarks6(1, 0x02)).sense, sense_bytes_pointer({0x5, 0x24, 0x00}, true, 1));
    EXPECT_EQ(position_of(*tape), 4u);
}

TEST(vtape_write, odd_writes_are_refused_and_write_nothing)
{
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("t.dmp") + "?minblock=2&maxblock=100");
    EXPECT_EQ(run_out(*tape, write6(1, 0x01), pattern(512, 1)).sense, sense_bytes_pointer({0x5, 0x24, 0x00}, true, 1));
    EXPECT_EQ(run_out(*tape, write6(101), pattern(101, 1)).sense, sense_bytes_pointer({0x5, 0x24, 0x00}, true, 2));
    EXPECT_EQ(run_out(*tape, write6(1), pattern(1, 1)).sense, sense_bytes_pointer({0x5, 0x24, 0x00}, true, 2));
    EXPECT_EQ(run_out(*tape, write6(0), {}).reply.status, 0);
    // The caller's buffer is shorter than the record: the call fails.
    EXPECT_EQ(run_out(*tape, write6(50), pattern(49, 1)).reply.error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(read_file(dir.path("t.dmp")), bytes_t{});
    EXPECT_EQ(run_out(*tape, write6(100), pattern(100, 1)).reply.status, 0);
    EXPECT_EQ(read_file(dir.path("t.dmp")), container_of({{100, 1}}));
}

struct capacity_case_t {
    const char* what;
    const char* options;
    uint32_t length;  // 0: a tape mark
    bool written;
    bool check;
    sense_spec_t sense;
};

// The medium already holds a record of 592 bytes (600 file bytes).
TEST(vtape_write, early_warning_and_overflow_count_file_bytes)
{
    const capacity_case_t cases[] = {
        {"ends exactly at the warning", "capacity=1000&ew=200", 192, true, false, {}},
        {"ends one byte inside the warning zone", "capacity=1000&ew=200", 193, true, true, {0x0, 0x00, 0x02, false, true, false, true, 0}},
        {"ends exactly at capacity", "capacity=1000&ew=200", 392, true, true, {0x0, 0x00, 0x02, false, true, false, true, 0}},
        {"passes capacity by one byte", "capacity=1000&ew=200", 393, false, true, {0xD, 0x00, 0x02, false, true, false, true, 393}},
        {"overflow without early warning", "capacity=1000", 393, false, true, {0xD, 0x00, 0x02, false, true, false, true, 393}},
        {"no warning without ew", "capacity=1000", 392, true, false, {}},
        {"a mark in the warning zone", "capacity=1000&ew=393", 0, true, true, {0x0, 0x00, 0x02, false, true, false, true, 0}},
        {"a mark just before it", "capacity=1000&ew=392", 0, true, false, {}},
    };
    for (const capacity_case_t& c : cases) {
        SCOPED_TRACE(c.what);
        vtape_dir_t dir;
        write_file(dir.path("t.dmp"), container_of({{592, 1}}));
        auto tape = open_tape(dir.path("t.dmp") + "?" + c.options);
        run(*tape, space6(3, 0));
        const outcome_t o = c.length ? run_out(*tape, write6(c.length), pattern(c.length, 2))
                                     : run(*tape, write_filemarks6(1));
        EXPECT_EQ(o.reply.status, c.check ? 2 : 0);
        EXPECT_EQ(o.sense, c.check ? sense_bytes(c.sense) : bytes_t{});
        const std::vector<block_spec_t> expected =
            c.written ? std::vector<block_spec_t>{{592, 1}, {c.length, 2}} : std::vector<block_spec_t>{{592, 1}};
        EXPECT_EQ(read_file(dir.path("t.dmp")), container_of(expected));
        EXPECT_EQ(position_of(*tape), expected.size());
    }
}

TEST(vtape_write, marks_stop_at_capacity_with_the_count_not_written)
{
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("t.dmp") + "?capacity=20");
    EXPECT_EQ(run(*tape, write_filemarks6(5)).sense, sense_bytes({0xD, 0x00, 0x02, false, true, false, true, 3}));
    EXPECT_EQ(read_file(dir.path("t.dmp")), container_of({{0, 0}, {0, 0}}));
}

TEST(vtape_write, a_protected_medium_refuses_every_write)
{
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of({{10, 1}}));
    auto tape = open_tape(dir.path("t.dmp") + "?protect");
    const bytes_t protect = sense_bytes({0x7, 0x27, 0x00});
    EXPECT_EQ(run_out(*tape, write6(10), pattern(10, 2)).sense, protect);
    EXPECT_EQ(run(*tape, write_filemarks6(1)).sense, protect);
    EXPECT_EQ(run(*tape, bytes_t{0x19, 0x01, 0, 0, 0, 0}).sense, protect);
    EXPECT_EQ(run(*tape, write_filemarks6(0)).reply.status, 0);
    EXPECT_EQ(read_file(dir.path("t.dmp")), container_of({{10, 1}}));
    EXPECT_EQ(run(*tape, read6(10), 10).data, pattern(10, 1));
}

TEST(vtape_write, erase_ends_the_medium_at_the_position)
{
    for (const uint8_t flags : {uint8_t{0x01}, uint8_t{0x00}, uint8_t{0x03}}) {
        SCOPED_TRACE(int(flags));
        vtape_dir_t dir;
        write_file(dir.path("t.dmp"), container_of({{10, 1}, {0, 0}, {20, 2}}));
        auto tape = open_tape(dir.path("t.dmp"));
        run(*tape, space6(0, 1));
        EXPECT_EQ(run(*tape, bytes_t{0x19, flags, 0, 0, 0, 0}).reply.status, 0);
        EXPECT_EQ(position_of(*tape), 1u);
        EXPECT_EQ(read_file(dir.path("t.dmp")), container_of({{10, 1}}));
    }
}

}  // namespace
