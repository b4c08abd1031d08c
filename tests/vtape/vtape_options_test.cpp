#include <gtest/gtest.h>

#include "tests/vtape/vtape_test_support.h"

namespace {

TEST(vtape_options, every_option_is_read)
{
    vtape_options_t o;
    std::string why;
    ASSERT_EQ(parse_vtape_spec("dir/t.dmp?bad=3&bad=0x10:2&minblock=4&maxblock=0xFFFFF&bufmode=0&speed=3"
                               "&capacity=5000000000&ew=0x1000&attention=2&notready&protect&trace=/tmp/x y.log"
                               "&devconfig8=0x5F&changeable8=255",
                               o, &why),
              NO_ERROR)
        << why;
    EXPECT_EQ(o.medium_path, "dir/t.dmp");
    ASSERT_EQ(o.bad_blocks.size(), 2u);
    EXPECT_EQ(o.bad_blocks[0].index, 3u);
    EXPECT_TRUE(o.bad_blocks[0].always);
    EXPECT_EQ(o.bad_blocks[1].index, 16u);
    EXPECT_FALSE(o.bad_blocks[1].always);
    EXPECT_EQ(o.bad_blocks[1].failures, 2u);
    EXPECT_EQ(o.min_block, 4u);
    EXPECT_EQ(o.max_block, 0xFFFFFu);
    EXPECT_EQ(o.buffered_mode, 0);
    EXPECT_EQ(o.speed, 3);
    EXPECT_EQ(o.capacity, 5000000000u);
    EXPECT_EQ(o.early_warning, 0x1000u);
    EXPECT_EQ(o.attention, 2u);
    EXPECT_TRUE(o.not_ready);
    EXPECT_TRUE(o.write_protected);
    EXPECT_EQ(o.trace_path, "/tmp/x y.log");
    EXPECT_EQ(o.devconfig8, 0x5F);
    EXPECT_EQ(o.changeable8, 0xFF);
}

TEST(vtape_options, defaults_without_options)
{
    vtape_options_t o;
    ASSERT_EQ(parse_vtape_spec("t.dmp", o, nullptr), NO_ERROR);
    EXPECT_EQ(o.medium_path, "t.dmp");
    EXPECT_TRUE(o.bad_blocks.empty());
    EXPECT_EQ(o.min_block, 1u);
    EXPECT_EQ(o.max_block, 16777215u);
    EXPECT_EQ(o.buffered_mode, 1);
    EXPECT_EQ(o.speed, 0);
    EXPECT_EQ(o.capacity, 0u);
    EXPECT_EQ(o.attention, 0u);
    EXPECT_FALSE(o.not_ready);
    EXPECT_FALSE(o.write_protected);
    EXPECT_TRUE(o.trace_path.empty());
    EXPECT_EQ(o.devconfig8, 0x40);
    EXPECT_EQ(o.changeable8, 0x1C);
}

TEST(vtape_options, bad_option_strings_are_refused_with_a_reason)
{
    struct case_t {
        const char* spec;
        const char* why;
    };
    const case_t cases[] = {
        {"", "no medium file named"},
        {"?protect", "no medium file named"},
        {"t.dmp?", "empty option in ''"},
        {"t.dmp?protect&", "empty option in 'protect&'"},
        {"t.dmp?protect&&notready", "empty option in 'protect&&notready'"},
        {"t.dmp?colour=red", "unknown option 'colour=red'"},
        {"t.dmp?Protect", "unknown option 'Protect'"},
        {"t.dmp?protect=1", "unknown option 'protect=1'"},
        {"t.dmp?bad=", "bad value in option 'bad=' (bad=K or bad=K:N)"},
        {"t.dmp?bad=1:", "bad value in option 'bad=1:' (bad=K or bad=K:N)"},
        {"t.dmp?bad=x", "bad value in option 'bad=x' (bad=K or bad=K:N)"},
        {"t.dmp?bad=-1", "bad value in option 'bad=-1' (bad=K or bad=K:N)"},
        {"t.dmp?bad=4294967296", "bad value in option 'bad=4294967296' (bad=K or bad=K:N)"},
        {"t.dmp?bufmode=8", "bad value in option 'bufmode=8'"},
        {"t.dmp?speed=16", "bad value in option 'speed=16'"},
        {"t.dmp?minblock=65536", "bad value in option 'minblock=65536'"},
        {"t.dmp?maxblock=0x1000000", "bad value in option 'maxblock=0x1000000'"},
        {"t.dmp?devconfig8=256", "bad value in option 'devconfig8=256'"},
        {"t.dmp?capacity=0x", "bad value in option 'capacity=0x'"},
        {"t.dmp?capacity=18446744073709551616", "bad value in option 'capacity=18446744073709551616'"},
        {"t.dmp?attention=2x", "bad value in option 'attention=2x'"},
        {"t.dmp?trace=", "option 'trace=' needs a file name"},
        {"t.dmp?minblock=10&maxblock=9", "minblock is above maxblock"},
        {"t.dmp?ew=10", "ew needs capacity"},
        {"t.dmp?capacity=10&ew=11", "ew is above capacity"},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.spec);
        vtape_options_t o;
        std::string why;
        EXPECT_EQ(parse_vtape_spec(c.spec, o, &why), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(why, c.why);
        std::unique_ptr<vtape_t> tape;
        EXPECT_EQ(vtape_t::open(c.spec, tape, nullptr), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(tape, nullptr);
    }
}

TEST(vtape_options, open_creates_an_absent_medium_and_reports_unopenable_files)
{
    vtape_dir_t dir;
    std::unique_ptr<vtape_t> tape;
    std::string why;
    ASSERT_EQ(vtape_t::open(dir.path("new.dmp").c_str(), tape, &why), NO_ERROR);
    EXPECT_TRUE(std::filesystem::exists(dir.path("new.dmp")));
    EXPECT_EQ(read_file(dir.path("new.dmp")), bytes_t{});
    tape.reset();

    EXPECT_EQ(vtape_t::open(dir.path("missing/t.dmp").c_str(), tape, &why), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(why, "cannot open the medium file '" + dir.path("missing/t.dmp") + "'");
    EXPECT_EQ(tape, nullptr);
    const std::string spec = dir.path("t.dmp") + "?trace=" + dir.path("missing/t.log");
    EXPECT_EQ(vtape_t::open(spec.c_str(), tape, &why), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(why, "cannot open the trace file '" + dir.path("missing/t.log") + "'");
    EXPECT_EQ(tape, nullptr);
}

}  // namespace
