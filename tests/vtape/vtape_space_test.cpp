#include <gtest/gtest.h>

#include "tests/vtape/vtape_test_support.h"

namespace {

// Blocks 0..6: records of 10 and 20 bytes, a mark, records of 30 and 40, a mark, a record of 50;
// the end of data is at index 7.
const std::vector<block_spec_t> medium = {{10, 1}, {20, 2}, {0, 0}, {30, 3}, {40, 4}, {0, 0}, {50, 5}};

bytes_t locate10(uint32_t index)
{
    return {0x2B, 0, 0, static_cast<uint8_t>(index >> 24), static_cast<uint8_t>(index >> 16),
            static_cast<uint8_t>(index >> 8), static_cast<uint8_t>(index), 0, 0, 0};
}

struct space_case_t {
    uint32_t from;
    uint8_t code;  // 0 blocks, 1 filemarks, 3 end of data
    int32_t count;
    bool check;
    sense_spec_t sense;
    uint32_t to;
};

constexpr sense_spec_t filemark(int32_t residue)
{
    return {0x0, 0x00, 0x01, true, false, false, true, static_cast<uint32_t>(residue)};
}
constexpr sense_spec_t end_of_data(int32_t residue)
{
    return {0x8, 0x00, 0x05, false, false, false, true, static_cast<uint32_t>(residue)};
}
constexpr sense_spec_t beginning(int32_t residue)
{
    return {0x0, 0x00, 0x04, false, true, false, true, static_cast<uint32_t>(residue)};
}

TEST(vtape_space, stops_at_marks_end_of_data_and_the_beginning_with_residues)
{
    const space_case_t cases[] = {
        {0, 0, 2, false, {}, 2},
        {0, 0, 5, true, filemark(3), 3},
        {3, 0, 10, true, filemark(8), 6},
        {2, 0, 1, true, filemark(1), 3},
        {6, 0, 3, true, end_of_data(2), 7},
        {7, 0, 1, true, end_of_data(1), 7},
        {0, 0, 0x7FFFFF, true, filemark(0x7FFFFF - 2), 3},
        {4, 0, 0, false, {}, 4},
        {2, 0, -2, false, {}, 0},
        {2, 0, -3, true, beginning(-1), 0},
        {0, 0, -1, true, beginning(-1), 0},
        {5, 0, -10, true, filemark(-8), 2},
        {3, 0, -1, true, filemark(-1), 2},
        {7, 0, -8388608, true, filemark(-8388607), 5},
        {0, 1, 1, false, {}, 3},
        {0, 1, 2, false, {}, 6},
        {0, 1, 3, true, end_of_data(1), 7},
        {7, 1, -1, false, {}, 5},
        {7, 1, -2, false, {}, 2},
        {7, 1, -3, true, beginning(-1), 0},
        {2, 1, -1, true, beginning(-1), 0},
        {3, 1, 0, false, {}, 3},
        {0, 3, 0, false, {}, 7},
        {7, 3, 0, false, {}, 7},
    };
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of(medium));
    auto tape = open_tape(dir.path("t.dmp"));
    for (const space_case_t& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.from << " code " << int(c.code) << " count " << c.count);
        ASSERT_EQ(run(*tape, locate10(c.from)).reply.status, 0);
        ASSERT_EQ(position_of(*tape), c.from);
        const outcome_t o = run(*tape, space6(c.code, c.count));
        EXPECT_EQ(o.reply.status, c.check ? 2 : 0);
        EXPECT_EQ(o.sense, c.check ? sense_bytes(c.sense) : bytes_t{});
        EXPECT_EQ(position_of(*tape), c.to);
    }
}

TEST(vtape_space, the_block_after_a_space_reads_where_the_position_says)
{
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of(medium));
    auto tape = open_tape(dir.path("t.dmp"));
    run(*tape, space6(1, 1));
    EXPECT_EQ(run(*tape, read6(30), 30).data, pattern(30, 3));
    run(*tape, space6(0, -2));  // passes the record just read, then the mark: before the mark
    EXPECT_EQ(run(*tape, read6(30), 30).sense, sense_bytes(filemark(30)));
    EXPECT_EQ(run(*tape, read6(30), 30).data, pattern(30, 3));
}

TEST(vtape_space, other_codes_are_refused)
{
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("t.dmp"));
    for (const uint8_t code : {uint8_t{2}, uint8_t{4}, uint8_t{5}, uint8_t{15}})
        EXPECT_EQ(run(*tape, space6(code, 1)).sense, sense_bytes_pointer({0x5, 0x24, 0x00}, true, 1));
}

TEST(vtape_space, rewind_locate_and_read_position)
{
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of(medium));
    auto tape = open_tape(dir.path("t.dmp") + "?capacity=200&ew=10");
    // At the beginning: BOP, block 0.
    outcome_t o = run(*tape, read_position(), 20);
    bytes_t expected(20, 0);
    expected[0] = 0x80;
    EXPECT_EQ(o.data, expected);
    run(*tape, space6(1, 1));
    run(*tape, space6(0, 1));
    o = run(*tape, read_position(), 20);
    expected[0] = 0x00;
    expected[7] = 4;
    expected[11] = 4;
    EXPECT_EQ(o.data, expected);
    EXPECT_EQ(run(*tape, rewind6()).reply.status, 0);
    EXPECT_EQ(position_of(*tape), 0u);
    // Past the end of data: BLANK CHECK, at the end of data. The medium ends at byte 198, inside
    // the last 10 bytes before capacity: EOP.
    EXPECT_EQ(run(*tape, locate10(9)).sense, sense_bytes({0x8, 0x00, 0x05}));
    o = run(*tape, read_position(), 20);
    EXPECT_EQ(o.data[0], 0x40);
    EXPECT_EQ(o.data[7], 7);
    // Other service actions are refused.
    EXPECT_EQ(run(*tape, bytes_t{0x34, 0x06, 0, 0, 0, 0, 0, 0, 32, 0}, 32).sense,
              sense_bytes_pointer({0x5, 0x24, 0x00}, true, 1));
}

TEST(vtape_space, load_unload_rewinds_and_an_unloaded_drive_is_not_ready)
{
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of(medium));
    auto tape = open_tape(dir.path("t.dmp"));
    const bytes_t not_ready = sense_bytes({0x2, 0x3A, 0x00});
    run(*tape, space6(0, 2));
    EXPECT_EQ(run(*tape, bytes_t{0x1B, 0, 0, 0, 0x00, 0}).reply.status, 0);
    EXPECT_EQ(run(*tape, bytes_t{0, 0, 0, 0, 0, 0}).sense, not_ready);
    EXPECT_EQ(run(*tape, read6(10), 10).sense, not_ready);
    EXPECT_EQ(run(*tape, bytes_t{0x03, 0, 0, 0, 18, 0}, 18).data, not_ready);  // REQUEST SENSE says why
    EXPECT_EQ(run(*tape, bytes_t{0x1B, 0, 0, 0, 0x05, 0}).sense, sense_bytes_pointer({0x5, 0x24, 0x00}, true, 4));
    EXPECT_EQ(run(*tape, bytes_t{0x1B, 0, 0, 0, 0x01, 0}).reply.status, 0);
    EXPECT_EQ(position_of(*tape), 0u);
    EXPECT_EQ(run(*tape, read6(10), 10).data, pattern(10, 1));
}

}  // namespace
