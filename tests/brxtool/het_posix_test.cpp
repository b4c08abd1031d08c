// HET images: written from the format's rules and read, written and compared byte for byte; and
// Hercules' own hetmap and hetupd where they are installed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "tests/brxtool/image_writers.h"

using namespace brxtool_test;

namespace {

const std::vector<block_t> tape = {text(std::string(80, 'L')), compressible(200000, 1), mark(),
                                   rec(70000, 2), text("xyz"), compressible(5000, 3), mark(), mark()};

}  // namespace

TEST(brxtool_het, images_from_the_format_rules)
{
    // compress: how convert writes the same image
    const struct { std::string image, compress; } cases[] = {
        {het_image(tape), "zlib"},
        {het_image(tape, true), "bzip2"},
        {het_image(tape, false, 4096), ""},
        {het_image(tape, true, 4096), ""},
        {aws_image(tape), "none"},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write("in.het", c.image);
        directory.write("in.aws", aws_image(tape));
        brx_run_t verify = brxtool(directory, {"verify", "in.het", "in.aws", "--from", "het,"});
        EXPECT_EQ(verify.exit_status, 0) << c.compress << verify.standard_error;
        EXPECT_EQ(verify.standard_output, "in.het and in.aws are equal: 3 files, 5 records, 275083 bytes, 3 tape marks, "
                                          "0 bad records\n") << c.compress;
        brx_run_t check = brxtool(directory, {"check", "in.het", "--from", "het"});
        EXPECT_EQ(check.exit_status, 0) << c.compress << check.standard_output;
        if (c.compress.empty())
            continue;
        brx_run_t convert = brxtool(directory, {"convert", "in.aws", "out.het", "--compress=" + c.compress});
        EXPECT_EQ(convert.exit_status, 0) << c.compress << convert.standard_error;
        EXPECT_TRUE(directory.read("out.het") == c.image) << c.compress;
    }
}

TEST(brxtool_het, hercules_reads_what_brxtool_writes_and_brxtool_reads_what_hercules_writes)
{
    if (access("/usr/bin/hetmap", X_OK) != 0 || access("/usr/bin/hetupd", X_OK) != 0)
        GTEST_SKIP() << "Hercules' hetmap and hetupd are not installed";
    // Hercules holds records up to 65,535 bytes (and its bzip2 writer fails on incompressible ones
    // much longer than 60,000).
    const std::vector<block_t> small = {text(std::string(80, 'L')), compressible(65535, 5), rec(30000, 6), mark(),
                                        text("xyz"), mark(), mark()};
    scratch_directory_t directory;
    directory.write("in.aws", aws_image(small));
    ASSERT_EQ(brxtool(directory, {"convert", "in.aws", "ours.het"}).exit_status, 0);
    brx_run_t map = run_program("/usr/bin/hetmap", {"-t", "ours.het"}, directory.path());
    std::istringstream lines(map.standard_output);
    std::string files;
    for (std::string line; std::getline(lines, line);)
        files += line.rfind("File ", 0) == 0 ? line + "\n" : "";
    EXPECT_EQ(files, "File 1: Blocks=3, block size min=80, max=65535\n"
                     "File 2: Blocks=1, block size min=3, max=3\n"
                     "File 3: Blocks=0, block size min=0, max=0\n") << map.standard_output;
    brx_run_t list = brxtool(directory, {"list", "--json", "ours.het"});
    for (const char* file : {"\"records\": 3, \"bytes\": 95615,", "\"records\": 1, \"bytes\": 3,", "\"records\": 0, \"bytes\": 0,"})
        EXPECT_NE(list.standard_output.find(file), std::string::npos) << list.standard_output;
    run_program("/usr/bin/hetupd", {"-d", "ours.het", "back.aws"}, directory.path());
    EXPECT_TRUE(directory.read("back.aws") == aws_image(small));
    for (const char* method : {"-z", "-b"}) {
        run_program("/usr/bin/hetupd", {method, "in.aws", std::string("theirs") + method + ".het"}, directory.path());
        brx_run_t verify = brxtool(directory, {"verify", std::string("theirs") + method + ".het", "in.aws"});
        EXPECT_EQ(verify.exit_status, 0) << method << verify.standard_output << verify.standard_error;
        EXPECT_NE(directory.read(std::string("theirs") + method + ".het"), aws_image(small)) << method;
    }
}
