// READ, SPACE, LOCATE, REWIND, READ POSITION, LOAD UNLOAD: where the tape stops and what it says.
#include <gtest/gtest.h>

#include "tests/vtape/vtape_test_support.h"

namespace {

const bytes_t none;
const bytes_t bad_field = illegal(0x2400, 1);
bytes_t mark(int32_t residue) { return sense(0x80, 0x0001, uint32_t(residue)); }
bytes_t end_of_data(int32_t residue) { return sense(0x08, 0x0005, uint32_t(residue)); }
bytes_t beginning(int32_t residue) { return sense(0x40, 0x0004, uint32_t(residue)); }

TEST(vtape_read, records_marks_and_end_of_data_report_as_a_drive_does)
{
    // from -1: where the previous step left the tape. flags: SILI 0x02, FIXED 0x01. The first `moved`
    // bytes of record `seed` arrive.
    struct step_t { int from; uint32_t requested; uint8_t flags; bytes_t sense; uint32_t moved; uint8_t seed, after; };
    const step_t steps[] = {
        {0, 65024, 0, sense(0x20, 0, 64924), 100, 1, 1},             // short record
        {-1, 65024, 0, sense(0x20, 0, 0xFFFFFE00), 65024, 2, 2},     // long record
        {-1, 65024, 0, mark(65024), 0, 0, 3},
        {-1, 65024, 0, none, 65024, 3, 4},                           // exact record
        {-1, 100, 0, end_of_data(100), 0, 0, 4},
        {0, 65024, 0x02, none, 100, 1, 1},                           // SILI silences short records
        {-1, 65024, 0x02, sense(0x20, 0, 0xFFFFFE00), 65024, 2, 2},  // ...not long ones
        {0, 1, 0x01, bad_field, 0, 0, 0},
        {-1, 0, 0, none, 0, 0, 0},
    };
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of({{100, 1}, {65536, 2}, {0, 0}, {65024, 3}}));
    auto tape = open_tape(dir.path("t.dmp"));
    for (const step_t& s : steps) {
        SCOPED_TRACE(testing::Message() << "from " << s.from << " to " << s.after << " flags " << int(s.flags));
        if (s.from >= 0) {
            ASSERT_EQ(run(*tape, locate10(uint8_t(s.from))).reply.status, 0);
        }
        const outcome_t o = run(*tape, read6(s.requested, s.flags), s.requested);
        EXPECT_EQ(o.reply.status, s.sense.empty() ? 0 : 2);
        EXPECT_EQ(o.sense, s.sense);
        EXPECT_EQ(o.data, pattern(s.moved, s.seed));
        EXPECT_EQ(position_of(*tape), s.after);
    }
    // A data buffer shorter than the request: the call fails, nothing is read.
    EXPECT_EQ(run(*tape, read6(100), 99).reply.error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(position_of(*tape), 0u);
}

TEST(vtape_read, damaged_and_bad_blocks_are_medium_errors_that_leave_the_tape_in_front)
{
    vtape_dir_t dir;
    bytes_t cut = container_of({{10, 1}, {100, 2}});
    cut.resize(cut.size() - 30);
    write_file(dir.path("cut.dmp"), cut);
    auto tape = open_tape(dir.path("cut.dmp"));
    EXPECT_EQ(run(*tape, read6(10), 10).reply.status, 0);
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(run(*tape, read6(100), 100).sense, sense(0x3, 0x1100, 100));
        EXPECT_EQ(position_of(*tape), 1u);
    }
    struct case_t { const char* options; std::vector<bool> fails; };  // reads of block 1 in turn
    const case_t cases[] = {
        {"bad=1", {true, true, true, true}},
        {"bad=1:2", {true, true, false}},
        {"bad=1:0", {false}},
        {"bad=0:1&bad=1:1", {true, false}},
        {"bad=2&bad=1:1", {true, false}},
    };
    write_file(dir.path("t.dmp"), container_of({{10, 1}, {20, 2}, {0, 0}}));
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.options);
        tape.reset();  // Windows refuses a second writer
        tape = open_tape(dir.path("t.dmp") + "?" + c.options);
        EXPECT_EQ(run(*tape, space6(0, 1)).reply.status, 0);  // spacing is not reading
        for (const bool fails : c.fails) {
            const outcome_t o = run(*tape, read6(20), 20);
            EXPECT_EQ(o.sense, fails ? sense(0x3, 0x1100, 20) : none);
            EXPECT_EQ(o.data, fails ? none : pattern(20, 2));
            EXPECT_EQ(position_of(*tape), fails ? 1u : 2u);
        }
    }
}

// Blocks 0..6: records of 10 and 20 bytes, a mark, records of 30 and 40, a mark, a record of 50;
// the end of data is at index 7.
const std::vector<block_spec_t> medium = {{10, 1}, {20, 2}, {0, 0}, {30, 3}, {40, 4}, {0, 0}, {50, 5}};

TEST(vtape_space, stops_at_marks_end_of_data_and_the_beginning_with_residues)
{
    struct case_t { uint8_t from, code; int32_t count; bytes_t sense; uint32_t to; };  // code 0 blocks, 1 marks, 3 end
    const case_t cases[] = {
        {0, 0, 2, none, 2},
        {0, 0, 5, mark(3), 3},
        {2, 0, 1, mark(1), 3},
        {6, 0, 3, end_of_data(2), 7},
        {0, 0, 0x7FFFFF, mark(0x7FFFFF - 2), 3},
        {4, 0, 0, none, 4},
        {2, 0, -2, none, 0},
        {2, 0, -3, beginning(-1), 0},
        {0, 0, -1, beginning(-1), 0},
        {5, 0, -10, mark(-8), 2},
        {3, 0, -1, mark(-1), 2},
        {7, 0, -8388608, mark(-8388607), 5},
        {0, 1, 1, none, 3},
        {0, 1, 3, end_of_data(1), 7},
        {7, 1, -1, none, 5},
        {7, 1, -3, beginning(-1), 0},
        {2, 1, -1, beginning(-1), 0},
        {0, 3, 0, none, 7},
        {4, 2, 1, bad_field, 4},
    };
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of(medium));
    auto tape = open_tape(dir.path("t.dmp"));
    for (const case_t& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << int(c.from) << " code " << int(c.code) << " count " << c.count);
        ASSERT_EQ(run(*tape, locate10(c.from)).reply.status, 0);
        EXPECT_EQ(run(*tape, space6(c.code, c.count)).sense, c.sense);
        EXPECT_EQ(position_of(*tape), c.to);
    }
    // Back over the record just read and the mark: the mark is read next.
    run(*tape, locate10(3));
    EXPECT_EQ(run(*tape, read6(30), 30).data, pattern(30, 3));
    run(*tape, space6(0, -2));
    EXPECT_EQ(run(*tape, read6(30), 30).sense, mark(30));
    EXPECT_EQ(run(*tape, read6(30), 30).data, pattern(30, 3));
}

TEST(vtape_space, read_position_locate_rewind_and_load_unload)
{
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of(medium));
    auto tape = open_tape(dir.path("t.dmp") + "?capacity=200&ew=10");
    bytes_t expected(20, 0);
    expected[0] = 0x80;  // BOP
    EXPECT_EQ(run(*tape, read_position(), 20).data, expected);
    run(*tape, space6(1, 1));
    run(*tape, space6(0, 1));
    expected[0] = 0x00;
    expected[7] = expected[11] = 4;
    EXPECT_EQ(run(*tape, read_position(), 20).data, expected);
    // Past the end of data: BLANK CHECK, at the end of data, which lies in the last 10 bytes: EOP.
    EXPECT_EQ(run(*tape, locate10(9)).sense, sense(0x8, 0x0005));
    expected[0] = 0x40;
    expected[7] = expected[11] = 7;
    EXPECT_EQ(run(*tape, read_position(), 20).data, expected);
    EXPECT_EQ(run(*tape, bytes_t{0x34, 0x06, 0, 0, 0, 0, 0, 0, 32, 0}, 32).sense, bad_field);
    EXPECT_EQ(run(*tape, rewind6()).sense, none);
    EXPECT_EQ(position_of(*tape), 0u);
    // Unloaded: NOT READY until loaded again, which rewinds.
    const bytes_t not_ready = sense(0x2, 0x3A00);
    run(*tape, space6(0, 2));
    EXPECT_EQ(run(*tape, cdb6(0x1B, 0, 0)).sense, none);
    EXPECT_EQ(run(*tape, read6(10), 10).sense, not_ready);
    EXPECT_EQ(run(*tape, cdb6(0x03, 0, 18), 18).data, not_ready);
    EXPECT_EQ(run(*tape, cdb6(0x1B, 0, 5)).sense, illegal(0x2400, 4));
    EXPECT_EQ(run(*tape, cdb6(0x1B, 0, 1)).sense, none);
    EXPECT_EQ(run(*tape, read6(10), 10).data, pattern(10, 1));
}

}  // namespace
