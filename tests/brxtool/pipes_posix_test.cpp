// brxtool reading and writing pipes: the same listings and bytes as with files, every way a pipe
// can be named; check refuses one.
#include <gtest/gtest.h>

#include "tests/brxtool/image_writers.h"

using namespace brxtool_test;

namespace {

const char* const formats[] = {"brx", "tap", "e11", "aws"};

// A record longer than the image buffer, and one longer than what detection may hold of a pipe first.
const std::vector<block_t> mixed = {rec(1, 1), rec(80, 2), mark(), rec(1100000, 3), rec(3, 4), mark(), mark()};
const std::vector<block_t> long_first = {rec(1100000, 5), mark(), rec(9, 6), mark()};

brx_run_t shell(const scratch_directory_t& directory, const std::string& command)
{
    const std::string tool = std::string("'") + BRXTOOL_EXECUTABLE + "'";
    std::string line = command;
    for (size_t at = line.find("brxtool"); at != std::string::npos; at = line.find("brxtool", at + tool.size()))
        line.replace(at, 7, tool);
    return run_program("/bin/bash", {"-c", line}, directory.path());
}

std::string renamed(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace

TEST(brxtool_pipes, give_the_same_listings_and_bytes_as_files)
{
    scratch_directory_t directory;
    for (const char* from : formats) {
        const std::string in = std::string("in.") + from;
        directory.write(in, image_of(from, mixed));
        brx_run_t file = brxtool(directory, {"list", in});
        brx_run_t piped = shell(directory, "cat " + in + " | brxtool list -");
        EXPECT_EQ(piped.exit_status, 0) << from << piped.standard_error;
        EXPECT_EQ(piped.standard_output, renamed(file.standard_output, in, "-")) << from;
        for (const char* to : formats) {
            const std::string label = std::string(from) + " -> " + to;
            brx_run_t out = shell(directory, "brxtool convert " + in + " - --to " + to + " | cat > out");
            EXPECT_EQ(out.exit_status, 0) << label << out.standard_error;
            EXPECT_TRUE(directory.read("out") == image_of(to, mixed)) << label;
            brx_run_t detected = shell(directory, "cat " + in + " | brxtool convert - out --to " + to);
            EXPECT_EQ(detected.exit_status, 0) << label << detected.standard_error;
            EXPECT_TRUE(directory.read("out") == image_of(to, mixed)) << label;
        }
        brx_run_t redirected = shell(directory, "brxtool convert - out.tap --from " + std::string(from) + " < " + in);
        EXPECT_EQ(redirected.exit_status, 0) << from << redirected.standard_error;
        EXPECT_TRUE(directory.read("out.tap") == image_of("tap", mixed)) << from;
    }
}

TEST(brxtool_pipes, every_way_of_naming_one)
{
    scratch_directory_t directory;
    directory.write("in.tap", image_of("tap", mixed));
    directory.write("in.aws", image_of("aws", mixed));
    directory.write("long.tap", image_of("tap", long_first));
    const std::string equal = "are equal: 3 files, 4 records, 1100084 bytes, 3 tape marks, 0 bad records\n";
    const struct {
        std::string command, output, error;
        int status;
    } cases[] = {
        {"brxtool verify /dev/stdin in.aws < in.tap", "/dev/stdin and in.aws " + equal, "", 0},
        {"cat in.tap | brxtool verify in.aws -", "in.aws and - " + equal, "", 0},
        {"brxtool verify <(cat in.tap) in.aws | sed 's,/dev/fd/[0-9]*,FD,'", "FD and in.aws " + equal, "", 0},
        {"mkfifo f && (cat in.tap > f &) && brxtool verify f in.aws", "f and in.aws " + equal, "", 0},
        {"cat long.tap | brxtool list - | tail -n 1", "total: 2 files, 2 records, 1100009 bytes, 2 tape marks, 0 bad records\n",
         "", 0},
        {"cat in.tap | brxtool check -", "",
         "brxtool: -: check walks the image backwards too, which a pipe cannot: give a file\n", 2},
        {"brxtool verify - - < in.tap", "", "brxtool: verify: only one side can be standard input\n", 2},
    };
    for (const auto& c : cases) {
        brx_run_t run = shell(directory, "set -o pipefail; " + c.command);
        EXPECT_EQ(run.exit_status, c.status) << c.command << run.standard_error;
        EXPECT_EQ(run.standard_output, c.output) << c.command;
        EXPECT_EQ(run.standard_error, c.error) << c.command;
    }
}
