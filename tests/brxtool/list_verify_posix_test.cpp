// brxtool list of labelled tapes and damaged ones, and verify finding each kind of difference.
#include <gtest/gtest.h>

#include "tests/brxtool/image_writers.h"

using namespace brxtool_test;

namespace {

std::string label(std::string text) { return text + std::string(80 - text.size(), ' '); }

// EBCDIC for the letters, digits and blanks of the labels below.
std::string ebcdic(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'I') c = char(0xC1 + (c - 'A'));
        else if (c >= 'J' && c <= 'R') c = char(0xD1 + (c - 'J'));
        else if (c >= 'S' && c <= 'Z') c = char(0xE2 + (c - 'S'));
        else if (c >= '0' && c <= '9') c = char(0xF0 + (c - '0'));
        else c = char(0x40);
    }
    return text;
}

std::vector<block_t> labelled_tape(std::string (*code)(std::string))
{
    const std::string file = "PAYROLL          TAPE0100010001000100024061 00000 000000";
    return {text(code(label("VOL1TAPE01"))), text(code(label("HDR1" + file))), text(code(label("HDR2F0080000080"))),
            mark(), rec(800, 1), rec(800, 2), rec(400, 3), mark(),
            text(code(label("EOF1" + file.substr(0, 50) + "000003"))), text(code(label("EOF2F0080000080"))), mark(), mark()};
}

std::string keep(std::string text) { return text; }

std::string listing(const std::string& code)
{
    return "in.aws: aws\n"
           "file 0: record 1: 80 bytes: VOL1 (" + code + ") volume TAPE01\n"
           "file 0: record 2: 80 bytes: HDR1 (" + code + ") file PAYROLL, sequence 1, created 2024-03-01\n"
           "file 0: record 3: 80 bytes: HDR2 (" + code + ") record format F, block length 800, record length 80\n"
           "file 0: tape mark: 3 records, 240 bytes\n"
           "file 1: records 1-2: 800 bytes\n"
           "file 1: record 3: 400 bytes\n"
           "file 1: tape mark: 3 records, 2000 bytes\n"
           "file 2: record 1: 80 bytes: EOF1 (" + code + ") file PAYROLL, sequence 1, created 2024-03-01, blocks 3\n"
           "file 2: record 2: 80 bytes: EOF2 (" + code + ") record format F, block length 800, record length 80\n"
           "file 2: tape mark: 2 records, 160 bytes\n"
           "file 3: tape mark: 0 records, 0 bytes\n"
           "total: 4 files, 8 records, 2400 bytes, 4 tape marks, 0 bad records\n";
}

}  // namespace

TEST(brxtool_list, labelled_tapes_json_and_blocks_cut_off_by_the_end_of_the_file)
{
    const std::string whole = brx_image({rec(10, 1), rec(20, 2)}), stopped = "brxtool: in.dmp: cannot read the block after ";
    const auto so_far = [](const std::string& records, const std::string& counts) {
        return "in.dmp: brx\nfile 0: record 1: 10 bytes\n" + records + "file 0: no tape mark: " + counts +
               "\ntotal so far: 1 files, " + counts + ", 0 tape marks, 0 bad records\n";
    };
    std::string het = het_image({compressible(5000, 4), mark()});
    het[40] ^= 0x55;  // in the compressed bytes
    const struct { std::string name, image; std::vector<std::string> options; int status; std::string output, error; } cases[] = {
        {"in.aws", aws_image(labelled_tape(keep)), {}, 0, listing("ANSI"), ""},
        {"in.aws", aws_image(labelled_tape(ebcdic)), {}, 0, listing("IBM"), ""},
        {"in.tap", le(0xFFFFFFFE, 4) + simh_image({text(label("VOL1TAPE01")), bad(2), mark()}, true), {"--json"}, 0,
         "{\"image\": \"in.tap\", \"format\": \"tap\",\n \"files\": [\n"
         "  {\"file\": 0, \"entries\": [\n"
         "    {\"first\": 1, \"last\": 1, \"bytes\": 80, \"label\": {\"id\": \"VOL1\", \"code\": \"ANSI\", "
         "\"volume\": \"TAPE01\"}},\n"
         "    {\"first\": 2, \"last\": 2, \"bytes\": 2, \"bad\": true}],\n"
         "   \"records\": 2, \"bytes\": 82, \"tape_mark\": true}],\n"
         " \"totals\": {\"files\": 1, \"records\": 2, \"bytes\": 82, \"tape_marks\": 1, \"bad_records\": 1,\n"
         "  \"passed_over\": {\"gaps\": 1, \"private\": 0, \"reserved\": 0, \"descriptions\": 0}},\n"
         " \"stray_bytes\": 0, \"complete\": true}\n", ""},
        {"in.dmp", whole.substr(0, whole.size() - 1), {"--from", "brx"}, 1, so_far("", "1 records, 10 bytes"), stopped + "file 0, record 1: damaged image at offset 18\n"},
        {"in.dmp", whole + "abcdefghi", {"--from", "brx"}, 1, so_far("file 0: record 2: 20 bytes\n", "2 records, 30 bytes"), stopped + "file 0, record 2: damaged image at offset 46\n"},
        {"x.het", het, {"--from", "het"}, 1,
         "x.het: het\ntotal so far: 0 files, 0 records, 0 bytes, 0 tape marks, 0 bad records\n", "brxtool: x.het: cannot read the block after file 0, record 0: damaged image at offset 0\n"},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write(c.name, c.image);
        std::vector<std::string> arguments = {"list", c.name};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const brx_run_t run = brxtool(directory, arguments);
        EXPECT_EQ(run.exit_status, c.status) << c.error;
        EXPECT_EQ(run.standard_output, c.output);
        EXPECT_EQ(run.standard_error, c.error);
    }
}

TEST(brxtool_verify, finds_the_first_difference)
{
    const std::vector<block_t> tape = {rec(80, 1), rec(81, 2), mark(), rec(100, 3), mark()};
    std::vector<block_t> one_byte = tape, one_length = tape, no_mark = tape;
    one_byte[1].data[17] ^= 1;
    std::vector<block_t> one_both = one_byte;
    one_both[1].data.pop_back();
    one_length[3].data.pop_back();
    no_mark.erase(no_mark.begin() + 2);
    const struct { std::string b, output; int status; } cases[] = {
        {aws_image(tape), "a.tap and b.img are equal: 2 files, 3 records, 261 bytes, 2 tape marks, 0 bad records\n", 0},
        {brx_image(one_byte), "a.tap and b.img differ: file 0, record 2, byte 17: a.tap has 0xB0, b.img has 0xB1, "
                              "in records of 81 bytes\n", 1},
        {brx_image(one_both), "a.tap and b.img differ: file 0, record 2, byte 17: a.tap has 0xB0, b.img has 0xB1; "
                              "a.tap has a record of 81 bytes, b.img has a record of 80 bytes\n", 1},
        {simh_image(one_length, false), "a.tap and b.img differ: file 1, record 1, byte 99: a.tap has a record of "
                                        "100 bytes, b.img has a record of 99 bytes\n", 1},
        {simh_image(no_mark, true), "a.tap and b.img differ: file 0, record 3: a.tap has a tape mark, b.img has a "
                                    "record of 100 bytes\n", 1},
        {"garbage", "", 2},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write("a.tap", simh_image(tape, true));
        directory.write("b.img", c.b);
        brx_run_t run = brxtool(directory, {"verify", "a.tap", "b.img"});
        EXPECT_EQ(run.exit_status, c.status) << c.output;
        EXPECT_EQ(run.standard_output, c.output);
        if (c.status == 2) {
            EXPECT_EQ(run.standard_error, "brxtool: b.img: the content fits none of the formats brx, tap, e11, aws, het "
                                          "(--from FORMAT reads it as one)\n");
        }
    }
}
