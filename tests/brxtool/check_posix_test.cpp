// brxtool check: each structural fault found with its offset, and repaired.
#include <gtest/gtest.h>

#include "tests/brxtool/image_writers.h"

using namespace brxtool_test;

TEST(brxtool_check, finds_and_repairs_each_fault)
{
    const std::vector<block_t> three = {rec(10, 1), rec(20, 2), rec(30, 3)};
    std::string back = brx_image(three), trailer = simh_image(three, true), previous = aws_image(three);
    back[25] = 5;      // the second header's back-pointer: 5, not 0
    trailer[14] = 11;  // the first record's trailing word
    previous[18] = 9;  // the second chunk's previous-length
    const std::string cut = brx_image({rec(10, 1), rec(20, 2)});
    const std::string orphan = aws_image({rec(10, 1)}).replace(4, 1, 1, char(0x80)) + aws_image({rec(20, 2)}).replace(2, 1, 1, 10);
    std::string het = het_image({compressible(5000, 4), mark()});
    het[40] ^= 0x55;  // in the compressed bytes
    const struct { std::string name, image, fault, kept; std::vector<std::string> extra; } cases[] = {
        {"x.dmp", back, "x.dmp: offset 18: the back-pointer 5 does not lead to the previous header (0)\n",
         brx_image(three), {}},
        {"x.dmp", cut.substr(0, cut.size() - 5),
         "x.dmp: offset 18: a record of 20 bytes cut off by the end of the file (15 bytes there)\n",
         brx_image({rec(10, 1)}), {}},
        {"x.dmp", brx_image({rec(10, 1)}) + "abc", "x.dmp: offset 18: a header cut off by the end of the file\n",
         brx_image({rec(10, 1)}), {}},
        {"x.tap", trailer, "x.tap: offset 0: the trailing word 0x0000000B differs from the leading word 0x0000000A\n",
         simh_image(three, true), {}},
        {"x.tap", simh_image({rec(3, 1), rec(4, 2)}, false),
         "x.tap: offset 0: a record of 3 bytes without its pad byte\n", simh_image({rec(3, 1), rec(4, 2)}, true),
         {"--from", "tap"}},
        {"x.tap", simh_image({rec(10, 1)}, true, false) + le(100, 4) + std::string(10, 'x'),
         "x.tap: offset 18: a record of 100 bytes runs past the end of the file\n", simh_image({rec(10, 1)}, true), {}},
        {"x.aws", previous, "x.aws: offset 16: the previous-length 9 does not match the chunk before (10)\n",
         aws_image(three), {}},
        {"x.aws", orphan, "x.aws: offset 0: a record without its last chunk\n", aws_image({rec(20, 2)}), {}},
        {"x.het", het, "x.het: offset 0: a compressed record that does not expand whole\n", het_image({mark()}),
         {"--from", "het"}},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write(c.name, c.image);
        std::vector<std::string> arguments = {"check", c.name, "--repair", "fixed"};
        arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
        brx_run_t run = brxtool(directory, arguments);
        EXPECT_EQ(run.exit_status, 1) << c.fault << run.standard_error;
        EXPECT_NE(run.standard_output.find(c.fault), std::string::npos) << run.standard_output;
        EXPECT_TRUE(directory.read("fixed") == c.kept) << c.fault;
        directory.write("good", c.kept);
        brx_run_t again = brxtool(directory, {"check", "good", "--from", c.name == "x.dmp" ? "brx" : c.name.substr(2)});
        EXPECT_EQ(again.exit_status, 0) << c.fault << again.standard_output;
    }
}
