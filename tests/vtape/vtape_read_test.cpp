#include <gtest/gtest.h>

#include "tests/vtape/vtape_test_support.h"

namespace {

struct read_step_t {
    const char* what;
    uint32_t requested;
    uint8_t flags;
    bool check;
    sense_spec_t sense;
    uint32_t moved;
    uint8_t seed;     // the record whose first `moved` bytes arrive
    uint32_t after;   // block index afterwards
};

// A record of 100 bytes, one of 65,536, a tape mark, one of 65,024, then the end of data.
const std::vector<block_spec_t> medium = {{100, 1}, {65536, 2}, {0, 0}, {65024, 3}};

TEST(vtape_read, records_marks_and_end_of_data_report_as_a_drive_does)
{
    const read_step_t steps[] = {
        {"short record", 65024, 0, true, {0x0, 0x00, 0x00, false, false, true, true, 64924}, 100, 1, 1},
        {"long record", 65024, 0, true, {0x0, 0x00, 0x00, false, false, true, true, 0xFFFFFE00}, 65024, 2, 2},
        {"tape mark", 65024, 0, true, {0x0, 0x00, 0x01, true, false, false, true, 65024}, 0, 0, 3},
        {"exact record", 65024, 0, false, {}, 65024, 3, 4},
        {"end of data", 65024, 0, true, {0x8, 0x00, 0x05, false, false, false, true, 65024}, 0, 0, 4},
        {"end of data again", 100, 0, true, {0x8, 0x00, 0x05, false, false, false, true, 100}, 0, 0, 4},
    };
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of(medium));
    auto tape = open_tape(dir.path("t.dmp"));
    for (const read_step_t& step : steps) {
        SCOPED_TRACE(step.what);
        const outcome_t o = run(*tape, read6(step.requested, step.flags), step.requested);
        EXPECT_EQ(o.reply.error, NO_ERROR);
        EXPECT_EQ(o.reply.status, step.check ? 2 : 0);
        EXPECT_EQ(o.sense, step.check ? sense_bytes(step.sense) : bytes_t{});
        EXPECT_EQ(o.reply.data_transferred, step.moved);
        EXPECT_EQ(o.data, pattern(step.moved, step.seed));
        EXPECT_EQ(position_of(*tape), step.after);
    }
}

TEST(vtape_read, sili_silences_only_short_records)
{
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of({{100, 1}, {300, 2}}));
    auto tape = open_tape(dir.path("t.dmp"));
    outcome_t o = run(*tape, read6(200, 0x02), 200);
    EXPECT_EQ(o.reply.status, 0);
    EXPECT_EQ(o.data, pattern(100, 1));
    o = run(*tape, read6(200, 0x02), 200);
    EXPECT_EQ(o.sense, sense_bytes({0x0, 0, 0, false, false, true, true, static_cast<uint32_t>(-100)}));
    EXPECT_EQ(o.data, pattern(200, 2));
}

TEST(vtape_read, odd_requests_are_refused_without_moving)
{
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of({{100, 1}}));
    auto tape = open_tape(dir.path("t.dmp"));
    // FIXED = 1: only variable blocks.
    outcome_t o = run(*tape, read6(1, 0x01), 100);
    EXPECT_EQ(o.sense, sense_bytes_pointer({0x5, 0x24, 0x00}, true, 1));
    // Length 0: nothing moves, GOOD.
    o = run(*tape, read6(0), 0);
    EXPECT_EQ(o.reply.status, 0);
    EXPECT_EQ(position_of(*tape), 0u);
    // A data buffer shorter than the requested length: the call fails, nothing is read.
    o = run(*tape, read6(100), 99);
    EXPECT_EQ(o.reply.error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(position_of(*tape), 0u);
    o = run(*tape, read6(100), 100);
    EXPECT_EQ(o.reply.status, 0);
    EXPECT_EQ(o.data, pattern(100, 1));
}

TEST(vtape_read, a_record_cut_short_by_the_end_of_the_file_is_a_medium_error)
{
    vtape_dir_t dir;
    bytes_t bytes = container_of({{10, 1}, {100, 2}});
    bytes.resize(bytes.size() - 30);
    write_file(dir.path("t.dmp"), bytes);
    auto tape = open_tape(dir.path("t.dmp"));
    EXPECT_EQ(run(*tape, read6(10), 10).reply.status, 0);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const outcome_t o = run(*tape, read6(100), 100);
        EXPECT_EQ(o.sense, sense_bytes({0x3, 0x11, 0x00, false, false, false, true, 100}));
        EXPECT_EQ(position_of(*tape), 1u);
    }
}

struct bad_case_t {
    const char* options;
    std::vector<int> outcomes;  // reads of block 1 in turn: 0 read, 3 MEDIUM ERROR
};

TEST(vtape_read, bad_blocks_fail_reads_as_often_as_asked_and_leave_the_tape_in_front)
{
    const bad_case_t cases[] = {
        {"bad=1", {3, 3, 3, 3}},
        {"bad=1:2", {3, 3, 0}},
        {"bad=1:0", {0}},
        {"bad=0:1&bad=1:1", {3, 0}},
        {"bad=2&bad=1:1", {3, 0}},
    };
    for (const bad_case_t& c : cases) {
        SCOPED_TRACE(c.options);
        vtape_dir_t dir;
        write_file(dir.path("t.dmp"), container_of({{10, 1}, {20, 2}, {0, 0}}));
        auto tape = open_tape(dir.path("t.dmp") + "?" + c.options);
        // Spacing is not reading: a bad block 0 is passed without a failure.
        EXPECT_EQ(run(*tape, space6(0, 1)).reply.status, 0);
        for (int expected : c.outcomes) {
            const outcome_t o = run(*tape, read6(20), 20);
            if (expected == 3) {
                EXPECT_EQ(o.sense, sense_bytes({0x3, 0x11, 0x00, false, false, false, true, 20}));
                EXPECT_EQ(position_of(*tape), 1u);
            } else {
                EXPECT_EQ(o.reply.status, 0);
                EXPECT_EQ(o.data, pattern(20, 2));
                EXPECT_EQ(position_of(*tape), 2u);
            }
        }
    }
}

TEST(vtape_read, a_bad_block_index_at_the_end_of_data_reads_as_end_of_data)
{
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of({{10, 1}}));
    auto tape = open_tape(dir.path("t.dmp") + "?bad=1");
    EXPECT_EQ(run(*tape, read6(10), 10).reply.status, 0);
    EXPECT_EQ(run(*tape, read6(10), 10).sense, sense_bytes({0x8, 0x00, 0x05, false, false, false, true, 10}));
}

}  // namespace
