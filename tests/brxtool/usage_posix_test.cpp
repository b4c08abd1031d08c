// brxtool's answers to wrong command lines and to what check finds beside the records, and verify
// --manifest against manifests and images that do not fit.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform.h"
#include "tests/brxtool/image_writers.h"

using namespace brxtool_test;

TEST(brxtool_usage, wrong_command_lines_and_manifests_that_do_not_fit)
{
    scratch_directory_t directory;
    const std::vector<block_t> tape = {text("abc"), text("defg"), mark(), text("xy"), mark()};
    directory.write("x.tap", simh_image(tape, true));
    ASSERT_EQ(brxtool(directory, {"manifest", "x.tap"}).exit_status, 0);
    const std::string manifest = directory.read("x.tap.json"), image = directory.read("x.tap");
    // Records of odd length tell tap from e11 apart only by the pad byte, so e11 is named.
    directory.write("a", simh_image({text("abc"), text("defgh"), mark()}, false));
    directory.write("b", brx_image({text("abc"), text("defgh"), mark()}));
    std::filesystem::create_hard_link(directory.file("x.tap"), directory.file("hard"));
    std::filesystem::create_symlink("x.tap", directory.file("soft"));
    directory.write("v2.json", "{\"version\": 2, \"files\": []}");
    directory.write("nosha.json", "{\"version\": 1, \"files\": [{\"records\": 1}]}");
    directory.write("bad.json", "{");
    directory.write("more.tap", simh_image({text("abc"), text("defg"), mark(), text("xy"), mark(), text("z"), mark()}, true));
    directory.write("less.tap", simh_image({text("abc"), text("defg"), mark()}, true));
    directory.write("other.tap", simh_image({text("abc"), text("defg"), mark(), text("xy"), text("w"), mark()}, true));
    directory.write("gap.tap", le(0xFFFFFFFE, 4) + simh_image(tape, true));  // the same files, other bytes
    directory.write("marker.tap", le(0x70000000, 4) + simh_image({text("abc")}, true, false) + le(0xFFFE0001, 4));
    directory.write("tail.tap", simh_image({text("abc")}, true) + "xyz");
    directory.write("lost.tap", simh_image({bad(3)}, true));
    directory.write("long.tap", le(0x01000001, 4) + "abc");
    for (const auto& [name, length, flags] : {std::tuple{"orphan.aws", 3, 0x20}, {"mark.aws", 3, 0x40}, {"flags.aws", 3, 0xA1},
                                             {"cut.aws", 10, 0xA0}})
        directory.write(name, le(length, 2) + le(0, 2) + le(flags, 1) + le(0, 1) + "abc");
    const std::string usage = "Usage: brxtool COMMAND [options] ARGS\n", differs = " differs from x.tap.json: ";
    // output, error: what standard output and error begin with
    const struct { std::vector<std::string> arguments; int status; std::string output, error; } cases[] = {
        {{"--help"}, 0, usage, ""},
        {{}, 2, "", usage},
        {{"frob"}, 2, "", "brxtool: unknown command 'frob'\n" + usage},
        {{"list", "--nosuch", "x.tap"}, 2, "", "brxtool: unknown option --nosuch\nbrxtool list --help tells how to use it\n"},
        {{"list", "--help"}, 0, "Usage: brxtool list IMAGE|DEVICE ", ""},
        {{"verify", "x.tap"}, 2, "", "brxtool: verify takes 2 arguments\nUsage: brxtool verify A B "},
        {{"list", "nosuch.tap"}, 2, "", "brxtool: nosuch.tap: " + system_text(ERROR_FILE_NOT_FOUND)},
        {{"list", "\\\\.\\tape5"}, 2, "", "Failed to open tape device '\\\\.\\Tape5': " + system_text(ERROR_FILE_NOT_FOUND)},
        {{"list", "\\\\.\\cdrom0"}, 2, "", "\\\\.\\cdrom0: wrong device name\n"},
        {{"check", "\\\\.\\tape5"}, 2, "", "brxtool: check reads image files, not devices\n"},
        {{"check", "marker.tap"}, 1, "marker.tap: offset 16: an illegal marker 0xFFFE0001\n", ""},
        {{"check", "long.tap", "--from", "tap"}, 1, "long.tap: offset 0: the word 0x01000001 is no standard record length\n", ""},
        {{"check", "x.tap", "--repair", "/dev/full"}, 2, "", "brxtool: /dev/full: cannot end the image: " + system_text(ERROR_DISK_FULL)},
        {{"list", "x.tap", "--from"}, 2, "", "brxtool: option --from needs a value\n"},
        {{"list", "x.tap", "--json=1"}, 2, "", "brxtool: option --json takes no value\n"},
        {{"list", "--", "gap.tap"}, 0, "gap.tap: tap\n", ""},
        {{"merge", "x.tap", "--out", "o.tap"}, 2, "", "brxtool: merge takes two passes or more and --out with an image file\n"},
        {{"merge", "x.tap", "more.tap", "--out", "hard", "--to", "tap"}, 2, "", "brxtool: merge: OUT must not be x.tap or its list\n"},
        {{"merge", "x.tap", "more.tap", "--out", "o.tap", "--prefer", "z.tap"}, 2, "", "brxtool: merge: --prefer z.tap names none of the passes\n"},
        {{"retry", "\\\\.\\tape5", "lost.tap"}, 2, "", "Failed to open tape device '\\\\.\\Tape5': " + system_text(ERROR_FILE_NOT_FOUND) +
                                                  "\nbrxtool: retry: \\\\.\\tape5 is not a tape device that opens\n"},
        {{"check", "orphan.aws", "--from", "aws"}, 1, "orphan.aws: offset 0: a chunk that belongs to no record\n", ""},
        {{"check", "mark.aws", "--from", "aws"}, 1, "mark.aws: offset 0: a tape mark with a length of 3\n", ""},
        {{"check", "flags.aws", "--from", "aws"}, 1, "flags.aws: offset 0: flags the format does not have (or a compressed chunk)\n", ""},
        {{"check", "cut.aws", "--from", "aws"}, 1, "cut.aws: offset 0: a chunk of 10 bytes cut off by the end of the file\n", ""},
        {{"check", "tail.tap"}, 0, "tail.tap: offset 12: 3 bytes after the end-of-medium word, not read\n", ""},
        {{"manifest", "x.tap", "--out", "nodir/x.json"}, 2, "", "brxtool: nodir/x.json: " + system_text(ERROR_PATH_NOT_FOUND)},
        {{"manifest", "\\\\.\\tape5"}, 2, "", "brxtool: manifest: give an image file, not \\\\.\\tape5\n"},
        {{"manifest", "x.tap", "--out", "x.tap"}, 2, "", "brxtool: manifest: x.tap is the image or its list\n"},
        {{"convert", "x.tap", "y.aws", "--bad=xyz"}, 2, "", "brxtool: convert: --bad takes stop, drop or plain, not 'xyz'\n"},
        {{"convert", "x.tap", "y.aws", "--too-long=xyz"}, 2, "", "brxtool: convert: --too-long takes stop, drop or cut, not 'xyz'\n"},
        {{"convert", "x.tap", "y.aws", "--compress=zlib"}, 2, "", "brxtool: convert: --compress and --level are for het images\n"},
        {{"convert", "x.tap", "y.het", "--compress=lzma"}, 2, "", "brxtool: convert: --compress takes zlib, bzip2 or none, not 'lzma'\n"},
        {{"convert", "x.tap", "y.het", "--level=10"}, 2, "", "brxtool: convert: --level takes 1 to 9, not '10'\n"},
        {{"convert", "x.tap", "hard", "--to", "brx"}, 2, "", "brxtool: convert: OUT must be an image file other than IN\n"},
        {{"convert", "x.tap", "soft", "--to", "brx"}, 2, "", "brxtool: convert: OUT must be an image file other than IN\n"},
        {{"convert", "x.tap", "./x.tap", "--to", "brx"}, 2, "", "brxtool: convert: OUT must be an image file other than IN\n"},
        {{"list", "x.tap", "--buffer=4097"}, 2, "", "brxtool: --buffer takes a number of MiB from 1 to 4096, not '4097'\n"},
        {{"convert", "x.tap", "-", "--to", "aws", "--manifest"}, 2, "", "brxtool: convert: --manifest needs OUT to be a file\n"},
        {{"retry", "\\\\.\\tape5", "x.tap", "--reads=2000"}, 2, "", "brxtool: retry: --reads takes a number from 0 to 1000, not '2000'\n"},
        {{"retry", "\\\\.\\tape5", "\\\\.\\tape6"}, 2, "", "brxtool: retry: OUT must be an image file, not a list of lost records\n"},
        {{"retry", "\\\\.\\tape5", "-", "--out", "o.tap"}, 2, "", "brxtool: retry: IMAGE must be an image file\n"},
        {{"retry", "\\\\.\\tape5", "-", "--bad", "x.bad", "--out", "o.tap"}, 2, "", "brxtool: x.bad: a list goes only with an image file: refused\n"},
        {{"retry", "\\\\.\\tape5", "x.tap", "--bad", "nosuch.bad"}, 2, "",
         "brxtool: nosuch.bad: The system cannot find the file specified.: refused\n"},
        {{"retry", "\\\\.\\tape5", "x.tap"}, 0, "x.tap: no record is lost; nothing to do\n", ""},
        {{"verify", "a", "b", "--from", "e11,brx"}, 0, "a and b are equal: 1 files, 2 records, 8 bytes, 1 tape marks, 0 bad records\n", ""},
        {{"verify", "a", "b", "--from", "e11,"}, 0, "a and b are equal: 1 files, 2 records, 8 bytes, 1 tape marks, 0 bad records\n", ""},
        {{"verify", "a", "b", "--from", "e11"}, 1, "", "brxtool: b: cannot read the block after file 0, record 0: damaged image at offset 0\n"},
        {{"verify", "a", "b", "--from", "e11,dmp"}, 2, "", "brxtool: --from takes brx, tap, e11, aws or het, not 'dmp'\n"},
        {{"list", "x.tap", "--from", "dmp"}, 2, "", "brxtool: --from takes brx, tap, e11, aws or het, not 'dmp'\n"},
        {{"verify", "--manifest", "nosuch.json", "x.tap"}, 2, "", "brxtool: nosuch.json: cannot be read\n"},
        {{"verify", "--manifest", "bad.json", "x.tap"}, 2, "", "brxtool: bad.json: byte 1: a string was expected\n"},
        {{"verify", "--manifest", "v2.json", "x.tap"}, 2, "", "brxtool: v2.json: not a manifest of version 1\n"},
        {{"verify", "--manifest", "nosha.json", "x.tap"}, 2, "", "brxtool: nosha.json: file 0 has no records, bytes and sha256\n"},
        {{"verify", "--manifest", "x.tap.json", "more.tap"}, 1,
         "more.tap" + differs + "file 2: not in the manifest (1 records, 1 bytes, a tape mark)\n", ""},
        {{"verify", "--manifest", "x.tap.json", "less.tap"}, 1, "less.tap" + differs + "file 1: the image ends before it\n", ""},
        {{"verify", "--manifest", "x.tap.json", "other.tap"}, 1,
         "other.tap" + differs + "file 1: 2 records, 3 bytes, a tape mark, the manifest says 1 records, 2 bytes, a tape mark\n", ""},
        {{"verify", "--manifest", "x.tap.json", "gap.tap"}, 1,
         "gap.tap" + differs + "its files match, but the image is 50 bytes with SHA-256 ", ""},
    };
    for (const auto& c : cases) {
        const brx_run_t run = brxtool(directory, c.arguments);
        const std::string shown = testing::PrintToString(c.arguments);
        EXPECT_EQ(run.exit_status, c.status) << shown;
        EXPECT_EQ(run.standard_output.substr(0, c.output.size()), c.output) << shown;
        EXPECT_EQ(run.standard_error.substr(0, c.error.size()), c.error) << shown;
        EXPECT_TRUE(c.output.empty() ? run.standard_output.empty() : c.error.empty() && run.standard_error.empty()) << shown;
    }
    EXPECT_EQ(directory.read("x.tap.json"), manifest);
    EXPECT_TRUE(directory.read("x.tap") == image);
}
