// brxtool convert: every pair of formats through files and pipes, the list of skipped records, and what a
// format cannot hold.
#include <gtest/gtest.h>

#include <regex>

#include "tests/brxtool/image_writers.h"

using namespace brxtool_test;

namespace {

const char* const formats[] = {"dmp", "tap", "e11", "aws", "het"};

std::string name(const std::string& format) { return format == "dmp" ? "brx" : format; }

// A record longer than the image buffer, and than what detection may hold of a pipe first.
const std::vector<block_t> round_trip = {rec(1, 1), rec(3, 2), rec(80, 3), mark(), rec(65535, 4), rec(65536, 5),
                                    rec(1100000, 6), mark(), mark(), rec(7, 7), mark()};
const std::vector<block_t> long_first = {rec(1100000, 5), mark(), rec(9, 6), mark()};

// bash runs the command in directory, with "brxtool" the one built.
brx_run_t shell(const scratch_directory_t& directory, const std::string& command)
{
    std::string line = "set -o pipefail; " + command;
    const std::string tool = std::string("'") + BRXTOOL_EXECUTABLE + "'";
    for (size_t at = line.find("brxtool"); at != std::string::npos; at = line.find("brxtool", at + tool.size()))
        line.replace(at, 7, tool);
    return run_program("/bin/bash", {"-c", line}, directory.path());
}

}  // namespace

// Every pair of formats, through files and, but for HET, through pipes either way: the same bytes;
// a listing of a pipe is that of the file; and every way of naming a pipe.
TEST(brxtool_convert, every_pair_of_formats_byte_for_byte_through_files_and_pipes)
{
    scratch_directory_t directory;
    for (const std::string from : formats) {
        const std::string in = "in." + from, piped = from == "het" ? "" : "cat " + in + " | ";
        directory.write(in, image_of(name(from), round_trip));
        std::vector<std::string> commands;
        for (const std::string to : formats) {
            commands.push_back("brxtool convert " + in + " out." + to);
            if (!piped.empty() && to != "het")
                commands.insert(commands.end(), {"brxtool convert " + in + " - --to " + name(to) + " | cat > out." + to,
                                                 piped + "brxtool convert - out." + to});
        }
        if (!piped.empty())
            commands.push_back("brxtool convert - out.tap --from " + name(from) + " < " + in);
        for (const std::string& command : commands) {
            const brx_run_t run = shell(directory, command);
            EXPECT_EQ(run.exit_status, 0) << command << run.standard_error;
            const std::string to = command.substr(command.find("out.") + 4, 3);
            EXPECT_TRUE(directory.read("out." + to) == image_of(name(to), round_trip)) << command;
        }
        const std::string listing = brxtool(directory, {"list", in}).standard_output;
        if (!piped.empty()) {
            EXPECT_EQ(shell(directory, piped + "brxtool list -").standard_output, std::regex_replace(listing, std::regex(in), "-"));
        }
    }
    // Every way of naming a pipe.
    directory.write("long.tap", image_of("tap", long_first));
    const std::string equal = "are equal: 4 files, 7 records, 1231162 bytes, 4 tape marks, 0 bad records\n";
    const struct { std::string command, output, error; int status; } cases[] = {
        {"brxtool verify /dev/stdin in.aws < in.tap", "/dev/stdin and in.aws " + equal, "", 0},
        {"cat in.tap | brxtool verify in.aws -", "in.aws and - " + equal, "", 0},
        {"brxtool verify <(cat in.tap) in.aws | sed 's,/dev/fd/[0-9]*,FD,'", "FD and in.aws " + equal, "", 0},
        {"mkfifo f && (cat in.tap > f &) && brxtool verify f in.aws", "f and in.aws " + equal, "", 0},
        {"cat long.tap | brxtool list - | tail -n 1", "total: 2 files, 2 records, 1100009 bytes, 2 tape marks, 0 bad records\n",
         "", 0},
        {"cat in.tap | brxtool check -", "", "brxtool: -: check walks the image backwards too, which a pipe cannot: give a file\n", 2},
        {"brxtool verify - - < in.tap", "", "brxtool: verify: only one side can be standard input\n", 2},
    };
    for (const auto& c : cases) {
        brx_run_t run = shell(directory, c.command);
        EXPECT_EQ(run.exit_status, c.status) << c.command << run.standard_error;
        EXPECT_EQ(run.standard_output, c.output) << c.command;
        EXPECT_EQ(run.standard_error, c.error) << c.command;
    }
}

// Bad records in an image, or listed beside a dump as brx skipped them, and what a format cannot hold.
TEST(brxtool_convert, bad_records_and_what_a_format_cannot_hold)
{
    const std::vector<block_t> with_bad = {rec(5, 1), bad(), bad(3), mark(), rec(4, 2)};
    const std::vector<block_t> plain = {rec(5, 1), text(record_of(3, 99)), mark(), rec(4, 2)};
    const std::vector<block_t> dropped = {rec(5, 1), mark(), rec(4, 2)};
    const std::string stop = "brxtool: in.tap: file 0, record 2 (0 bytes) is marked bad and aws cannot mark it "
                             "(--bad=drop or --bad=plain say what to do)\n";
    // in.dmp's blocks: 10 bytes at 0, a mark at 18, 20 bytes at 26, 30 bytes at 54; the file ends at 92.
    const std::string dump = brx_image({rec(10, 1), mark(), rec(20, 2), rec(30, 3)});
    const std::string good = "brx skipped records; dump file size 00000000000000000092 bytes\n"  // as brx writes it
                             "block 1 file 0 record 2 offset 18 sense 03/11/00\n"
                             "block 3 file 1 record 1 offset 26 sense 03/11/00\n"
                             "block 4 file 1 record 2 offset 26 sense 00/00/00\n"
                             "block 7 file 1 record 5 offset 92 sense 03/11/00\n";
    const std::vector<block_t> listed = {rec(10, 1), bad(), mark(), bad(), bad(), rec(20, 2), rec(30, 3), bad()};
    // list: in.dmp.bad, converting in.dmp, else in.tap is converted; out empty: no OUT left
    const struct { std::string list; std::vector<std::string> extra; int status; std::string out, error; } cases[] = {
        {"", {"out.e11"}, 0, simh_image(with_bad, false), ""},
        {"", {"out.aws"}, 2, "", stop + "brxtool: convert: stopped after file 0, record 2 of in.tap; out.aws removed\n"},
        {"", {"out.aws", "--keep-partial"}, 2, aws_image({rec(5, 1)}),
         stop + "brxtool: convert: stopped after file 0, record 2 of in.tap; out.aws kept, incomplete\n"},
        {"", {"out.aws", "--bad=plain"}, 0, aws_image(plain), ""},
        {"", {"out.dmp", "--bad=drop"}, 0, brx_image(dropped), ""},
        {"", {"out.img", "--bad=plain"}, 2, "", "brxtool: convert: cannot tell the format of out.img from its name: give --to FORMAT\n"},
        {good, {"out.tap"}, 0, simh_image(listed, true), ""},
        {"brx skipped records; dump file size 91 bytes\n", {"out.tap"}, 2, "",
         "brxtool: in.dmp.bad: it was written for a dump file of 91 bytes, in.dmp has 92: refused\n"},
        {"brx skipped records; dump file size 92 bytes\nblock 1 file 0 record 2 offset 19 sense 03/11/00\n", {"out.tap"}, 2, "",
         "brxtool: in.dmp: in.dmp.bad does not match: it lists block 1 (file 0, record 2) at offset 19, where in.dmp "
         "has block 2 (file 1, record 1) at offset 26\n"
         "brxtool: convert: stopped after file 1, record 0 of in.dmp; out.tap removed\n"},
        {"brx skipped records; dump file size 92 bytes\nblock 1 file 0 record 2 offset 18 sense 3/11/00\n", {"out.tap"}, 2, "",
         "brxtool: in.dmp.bad: line 2 is not a skipped record in order: refused\n"},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write("in.tap", simh_image(with_bad, true));
        directory.write("in.dmp", dump);
        if (!c.list.empty())
            directory.write("in.dmp.bad", c.list);
        std::vector<std::string> arguments = {"convert", c.list.empty() ? "in.tap" : "in.dmp"};
        arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
        brx_run_t run = brxtool(directory, arguments);
        EXPECT_EQ(run.exit_status, c.status) << c.extra[0] << run.standard_error;
        EXPECT_EQ(run.standard_error, c.error) << c.extra[0];
        EXPECT_EQ(directory.exists(c.extra[0]), !c.out.empty()) << c.extra[0];
        EXPECT_TRUE(directory.read(c.extra[0]) == c.out) << c.extra[0];
    }
}

// Read as it comes, and read ahead into a ring by a thread of its own: the same in every byte.
TEST(brxtool_convert, a_device_over_the_virtual_drive)
{
    for (const std::vector<std::string>& buffer : {std::vector<std::string>{}, {"--buffer=1"}}) {
        SCOPED_TRACE(buffer.empty() ? "" : buffer[0]);
        scratch_directory_t directory;
        directory.write("tape.dmp", image_of("brx", round_trip));
        const auto with = [&](std::vector<std::string> arguments) {
            arguments.insert(arguments.end(), buffer.begin(), buffer.end());
            return brxtool(directory, arguments);
        };
        setenv("BRX_TAPE0", ("vtape:" + directory.file("tape.dmp")).c_str(), 1);
        brx_run_t convert = with({"convert", "\\\\.\\tape0", "out.tap", "--manifest"});
        brx_run_t verify = with({"verify", "out.tap", "\\\\.\\tape0"});
        setenv("BRX_TAPE0", ("vtape:" + directory.file("tape.dmp") + "?bad=2").c_str(), 1);
        brx_run_t failed = with({"convert", "\\\\.\\tape0", "bad.tap"});
        unsetenv("BRX_TAPE0");
        EXPECT_EQ(convert.exit_status, 0) << convert.standard_error;
        EXPECT_TRUE(directory.read("out.tap") == simh_image(round_trip, true));
        EXPECT_NE(directory.read("out.tap.json").find("\"device\": {\"name\": \"\\\\\\\\.\\\\tape0\", \"vendor\": \"BRX\""),
                  std::string::npos);
        EXPECT_EQ(verify.exit_status, 0) << verify.standard_error;
        EXPECT_EQ(verify.standard_output, "out.tap and \\\\.\\tape0 are equal: 4 files, 7 records, 1231162 bytes, "
                                          "4 tape marks, 0 bad records\n");
        EXPECT_EQ(failed.exit_status, 2);
        EXPECT_EQ(failed.standard_error,
                  "brxtool: \\\\.\\tape0: cannot read the block after file 0, record 2: the drive reported a medium "
                  "error (sense 03/11/00)\n"
                  "brxtool: convert: stopped after file 0, record 2 of \\\\.\\tape0; bad.tap removed\n");
        EXPECT_FALSE(directory.exists("bad.tap"));
    }
}
