// WRITE, WRITE FILEMARKS, ERASE: the container bytes they leave and the sense they report.
#include <gtest/gtest.h>

#include "tests/vtape/vtape_test_support.h"

namespace {

TEST(vtape_write, writes_make_the_container_bytes_and_end_the_medium_after_them)
{
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("new.dmp"));  // absent: created empty
    write_blocks(*tape, {{0, 0}, {80, 1}, {2048, 2}, {0, 0}, {1, 3}});
    EXPECT_EQ(position_of(*tape), 5u);
    const bytes_t file = read_file(dir.path("new.dmp"));
    EXPECT_EQ(file, container_of({{0, 0}, {80, 1}, {2048, 2}, {0, 0}, {1, 3}}));
    EXPECT_EQ(bytes_t(file.begin(), file.begin() + 16), (bytes_t{0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 80, 0, 0, 0, 0}));

    struct case_t { const char* what; std::vector<bytes_t> moves; std::vector<block_spec_t> after; };
    const case_t cases[] = {
        {"at the beginning", {rewind6()}, {{100, 9}}},
        {"after the mark", {rewind6(), space6(1, 1)}, {{10, 1}, {20, 2}, {0, 0}, {100, 9}}},
        {"before the mark, from the end", {space6(1, -1)}, {{10, 1}, {20, 2}, {100, 9}}},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.what);
        tape.reset();  // Windows refuses a second writer
        write_file(dir.path("t.dmp"), {});
        tape = open_tape(dir.path("t.dmp"));
        write_blocks(*tape, {{10, 1}, {20, 2}, {0, 0}, {30, 3}});
        for (const bytes_t& cdb : c.moves)
            run(*tape, cdb);
        write_blocks(*tape, {{100, 9}});
        EXPECT_EQ(read_file(dir.path("t.dmp")), container_of(c.after));
        EXPECT_EQ(position_of(*tape), c.after.size());
        EXPECT_EQ(run(*tape, read6(100), 100).sense, sense(0x8, 0x0005, 100));
    }
}

TEST(vtape_write, filemark_counts_erase_and_refused_writes)
{
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("t.dmp") + "?minblock=2&maxblock=100");
    EXPECT_EQ(run(*tape, filemarks6(0)).reply.status, 0);  // a flush: nothing written
    EXPECT_EQ(read_file(dir.path("t.dmp")), bytes_t{});
    EXPECT_EQ(run(*tape, filemarks6(3, 0x01)).reply.status, 0);  // IMMED is accepted
    EXPECT_EQ(run(*tape, filemarks6(1, 0x02)).sense, illegal(0x2400, 1));
    // Refused records write nothing; a buffer shorter than the record fails the call.
    EXPECT_EQ(run(*tape, write6(1, 0x01), 0, pattern(512, 1)).sense, illegal(0x2400, 1));
    EXPECT_EQ(run(*tape, write6(101), 0, pattern(101, 1)).sense, illegal(0x2400, 2));
    EXPECT_EQ(run(*tape, write6(1), 0, pattern(1, 1)).sense, illegal(0x2400, 2));
    EXPECT_EQ(run(*tape, write6(0), 0, {}).reply.status, 0);
    EXPECT_EQ(run(*tape, write6(50), 0, pattern(49, 1)).reply.error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(read_file(dir.path("t.dmp")), container_of({{0, 0}, {0, 0}, {0, 0}}));
    EXPECT_EQ(run(*tape, write6(100), 0, pattern(100, 1)).reply.status, 0);
    EXPECT_EQ(read_file(dir.path("t.dmp")), container_of({{0, 0}, {0, 0}, {0, 0}, {100, 1}}));
    // ERASE, long or short, ends the medium at the position.
    for (const uint8_t flags : {uint8_t{0x01}, uint8_t{0x00}}) {
        SCOPED_TRACE(int(flags));
        tape.reset();
        write_file(dir.path("t.dmp"), container_of({{10, 1}, {0, 0}, {20, 2}}));
        tape = open_tape(dir.path("t.dmp"));
        run(*tape, space6(0, 1));
        EXPECT_EQ(run(*tape, cdb6(0x19, flags, 0)).reply.status, 0);
        EXPECT_EQ(position_of(*tape), 1u);
        EXPECT_EQ(read_file(dir.path("t.dmp")), container_of({{10, 1}}));
    }
    // Write protected: every write refused, a flush still good, reads as before.
    tape.reset();
    tape = open_tape(dir.path("t.dmp") + "?protect");
    const bytes_t protect = sense(0x7, 0x2700);
    EXPECT_EQ(run(*tape, write6(10), 0, pattern(10, 2)).sense, protect);
    EXPECT_EQ(run(*tape, filemarks6(1)).sense, protect);
    EXPECT_EQ(run(*tape, cdb6(0x19, 0x01, 0)).sense, protect);
    EXPECT_EQ(run(*tape, filemarks6(0)).reply.status, 0);
    EXPECT_EQ(read_file(dir.path("t.dmp")), container_of({{10, 1}}));
    EXPECT_EQ(run(*tape, read6(10), 10).data, pattern(10, 1));
}

// The medium already holds a record of 592 bytes (600 file bytes).
TEST(vtape_write, early_warning_and_overflow_count_file_bytes)
{
    const bytes_t warning = sense(0x40, 0x0002, 0);
    struct case_t { const char* options; uint32_t length; bool written; bytes_t sense; };  // length 0: a mark
    const case_t cases[] = {
        {"capacity=1000&ew=200", 192, true, {}},  // ends exactly at the warning
        {"capacity=1000&ew=200", 193, true, warning},
        {"capacity=1000&ew=200", 392, true, warning},  // ends exactly at capacity
        {"capacity=1000&ew=200", 393, false, sense(0x4D, 0x0002, 393)},
        {"capacity=1000", 392, true, {}},
        {"capacity=1000&ew=393", 0, true, warning},
        {"capacity=1000&ew=392", 0, true, {}},
    };
    vtape_dir_t dir;
    for (const case_t& c : cases) {
        SCOPED_TRACE(testing::Message() << c.options << " length " << c.length);
        write_file(dir.path("t.dmp"), container_of({{592, 1}}));
        auto tape = open_tape(dir.path("t.dmp") + "?" + c.options);
        run(*tape, space6(3, 0));
        const outcome_t o = run(*tape, c.length ? write6(c.length) : filemarks6(1), 0, pattern(c.length, 2));
        EXPECT_EQ(o.reply.status, c.sense.empty() ? 0 : 2);
        EXPECT_EQ(o.sense, c.sense);
        const std::vector<block_spec_t> expected = {{592, 1}, {c.length, 2}};
        EXPECT_EQ(read_file(dir.path("t.dmp")), container_of({expected.begin(), expected.end() - !c.written}));
        EXPECT_EQ(position_of(*tape), c.written ? 2u : 1u);
    }
    // Marks stop at capacity; INFORMATION counts the marks not written.
    auto tape = open_tape(dir.path("m.dmp") + "?capacity=20");
    EXPECT_EQ(run(*tape, filemarks6(5)).sense, sense(0x4D, 0x0002, 3));
    EXPECT_EQ(read_file(dir.path("m.dmp")), container_of({{0, 0}, {0, 0}}));
}

}  // namespace
