// A few bytes after the last whole block: the end of the tape when too few to begin a block, and
// damage otherwise.
#include <gtest/gtest.h>

#include "tests/brxtool/image_writers.h"

using namespace brxtool_test;

namespace {

const std::vector<block_t> tape = {rec(80, 1), rec(7, 2), mark(), rec(300, 3), mark()};

}  // namespace

TEST(brxtool_stray_tail, a_fragment_shorter_than_a_block_start_is_the_end_of_the_tape)
{
    // unit: the length word or header
    const struct { std::string format, name; size_t unit; } formats[] = {{"brx", "x.dmp", 8}, {"tap", "x.tap", 4}, {"e11", "x.e11", 4}, {"aws", "x.aws", 6}};
    for (const auto& f : formats) {
        for (size_t tail = 1; tail <= 7; ++tail) {
            scratch_directory_t directory;
            // Without the SIMH end-of-medium word: bytes after it are not read at all.
            const std::string clean = f.unit == 4 ? simh_image(tape, f.format == "tap", false) : image_of(f.format, tape);
            directory.write(f.name, clean + std::string(tail, '\x55'));
            directory.write("clean", clean);
            const bool stray = tail < f.unit;
            const std::string note = f.name + ": " + std::to_string(tail) + " stray byte" + (tail == 1 ? "" : "s") +
                                     " after the last whole block, read as the end of the tape\n";
            const std::string label = f.format + " + " + std::to_string(tail);
            brx_run_t list = brxtool(directory, {"list", f.name});
            EXPECT_EQ(list.exit_status, stray ? 0 : 1) << label << list.standard_error;
            EXPECT_EQ(list.standard_output.find(note) != std::string::npos, stray) << label << list.standard_output;
            if (!stray)
                continue;
            brx_run_t json = brxtool(directory, {"list", "--json", f.name});
            EXPECT_NE(json.standard_output.find("\"stray_bytes\": " + std::to_string(tail) + ", \"complete\": true"),
                      std::string::npos) << label;
            brx_run_t verify = brxtool(directory, {"verify", f.name, "clean", "--from", "," + f.format});
            EXPECT_EQ(verify.exit_status, 0) << label << verify.standard_error;
            EXPECT_EQ(verify.standard_output.substr(0, note.size()), note) << label;
            brx_run_t convert = brxtool(directory, {"convert", f.name, "out.aws"});
            EXPECT_EQ(convert.exit_status, 0) << label << convert.standard_error;
            EXPECT_TRUE(directory.read("out.aws") == aws_image(tape)) << label;
            EXPECT_EQ(convert.standard_output.substr(0, note.size()), note) << label;
            brx_run_t check = brxtool(directory, {"check", f.name, "--repair", "fixed"});
            EXPECT_EQ(check.exit_status, 1) << label << check.standard_output;
            EXPECT_TRUE(directory.read("fixed") == image_of(f.format, tape)) << label;
        }
    }
}
