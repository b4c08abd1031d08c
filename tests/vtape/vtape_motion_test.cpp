// READ and SPACE: where the tape stops and what it says.
#include <gtest/gtest.h>

#include "tests/vtape/vtape_test_support.h"

namespace {

bytes_t mark(int32_t residue) { return sense(0x80, 0x0001, uint32_t(residue)); }
bytes_t end_of_data(int32_t residue) { return sense(0x08, 0x0005, uint32_t(residue)); }

TEST(vtape_read, records_marks_end_of_data_and_bad_blocks)
{
    struct step_t { uint32_t requested; bytes_t sense; uint32_t moved; uint8_t seed, after; };
    const step_t steps[] = {
        {65024, sense(0x20, 0, 64924), 100, 1, 1},         // short record
        {65024, sense(0x20, 0, 0xFFFFFE00), 65024, 2, 2},  // long record
        {65024, mark(65024), 0, 0, 3},
        {100, end_of_data(100), 0, 0, 3},
    };
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of({{100, 1}, {65536, 2}, {0, 0}}));
    auto tape = open_tape(dir.path("t.dmp"));
    for (const step_t& s : steps) {
        SCOPED_TRACE(s.after);
        const outcome_t o = run(*tape, read6(s.requested), s.requested);
        EXPECT_EQ(o.sense, s.sense);
        EXPECT_EQ(o.data, pattern(s.moved, s.seed));
        EXPECT_EQ(position_of(*tape), s.after);
    }
    run(*tape, locate10(1));  // SILI does not silence a long record
    EXPECT_EQ(run(*tape, cdb6(0x08, 0x02, 65024), 65024).sense, sense(0x20, 0, 0xFFFFFE00));
    for (const auto& [options, fails] : {std::pair{"bad=0", 3}, std::pair{"bad=0:2", 2}}) {
        SCOPED_TRACE(options);
        tape.reset();  // Windows refuses a second writer
        tape = open_tape(dir.path("t.dmp") + "?" + options);
        for (int attempt = 0; attempt < 3; ++attempt) {
            const outcome_t o = run(*tape, read6(100), 100);
            EXPECT_EQ(o.sense, attempt < fails ? sense(0x3, 0x1100, 100) : bytes_t{});
            EXPECT_EQ(position_of(*tape), attempt < fails ? 0u : 1u);
        }
    }
}

TEST(vtape_read, heal_counts_failed_reads_across_opens_and_nolocate_refuses_locate)
{
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of({{100, 1}, {0, 0}}));
    const std::string name = dir.path("t.dmp") + "?bad=0:3&heal=" + dir.path("h");
    for (const auto& [fails, kept] : {std::pair{2, "block 0 failed 2\n"}, {1, "block 0 failed 3\n"}, {0, "block 0 failed 3\n"}}) {
        auto tape = open_tape(name + "&nolocate");
        int failed = 0;
        while (failed < 2 && run(*tape, read6(100), 100).sense == sense(0x3, 0x1100, 100))
            ++failed;
        EXPECT_EQ(failed, fails);
        const bytes_t heal = read_file(dir.path("h"));
        EXPECT_EQ(std::string(heal.begin(), heal.end()), kept);
        EXPECT_EQ(run(*tape, locate10(0)).sense, illegal(0x2000, 0));
        EXPECT_EQ(position_of(*tape), failed < 2 ? 1u : 0u);
    }
    write_file(dir.path("h"), {'j', 'u', 'n', 'k'});
    std::unique_ptr<vtape_t> tape;
    std::string why;
    EXPECT_EQ(vtape_t::open(name.c_str(), tape, &why), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(why, "the heal file '" + dir.path("h") + "' holds other lines than \"block K failed F\"");
}

TEST(vtape_space, stops_at_marks_end_of_data_and_the_beginning)
{
    struct case_t { uint8_t from, code; int32_t count; bytes_t sense; uint32_t to; };  // code 0 blocks, 1 marks
    const case_t cases[] = {
        {0, 0, 2, {}, 2},
        {0, 0, 5, mark(3), 3},
        {6, 0, 3, end_of_data(2), 7},
        {5, 0, -10, mark(-8), 2},
        {2, 0, -3, sense(0x40, 0x0004, uint32_t(-1)), 0},
        {0, 1, 1, {}, 3},
        {7, 1, -3, sense(0x40, 0x0004, uint32_t(-1)), 0},
    };
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of({{10, 1}, {20, 2}, {0, 0}, {30, 3}, {40, 4}, {0, 0}, {50, 5}}));
    auto tape = open_tape(dir.path("t.dmp"));
    for (const case_t& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << int(c.from) << " code " << int(c.code) << " count " << c.count);
        ASSERT_EQ(run(*tape, locate10(c.from)).reply.status, 0);
        EXPECT_EQ(run(*tape, space6(c.code, c.count)).sense, c.sense);
        EXPECT_EQ(position_of(*tape), c.to);
    }
}

}  // namespace
