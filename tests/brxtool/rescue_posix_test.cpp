// A second chance for lost records and proof of what an image holds: merge, retry over the
// virtual drive, and manifests in every format checked against the schema.
#include <gtest/gtest.h>

#include "tests/brxtool/image_writers.h"

using namespace brxtool_test;

namespace {

std::string label(const std::string& text) { return text + std::string(80 - text.size(), ' '); }

// Blocks 0-2 labels, 3 mark, 4-7 records, 8 mark, 9 mark.
const std::vector<block_t> labelled = {
    text(label("VOL1TAPE01")), text(label("HDR1PAYROLL")), text(label("HDR2F0080000080")), mark(),
    rec(800, 1), rec(800, 2), rec(400, 3), rec(400, 4), mark(), mark()};

// The list brx writes beside an image of these blocks that lost the records whose numbers are given.
std::string list_of(const std::string& format, const std::vector<block_t>& blocks, const std::set<size_t>& lost)
{
    std::vector<block_t> kept;
    std::string lines;
    for (size_t k = 0, file = 0, record = 0; k < blocks.size(); ++k) {
        record = blocks[k].kind == block_t::mark ? 0 : record + 1;
        if (!lost.count(k)) {
            kept.push_back(blocks[k]);
            file += blocks[k].kind == block_t::mark;
            continue;
        }
        const std::string at = std::to_string(image_of(format, kept).size() - (format == "tap" ? 4 : 0));
        lines += "block " + std::to_string(k) + " file " + std::to_string(file) + " record " + std::to_string(record) +
                 " offset " + at + " sense 03/11/00\n";
    }
    const std::string size = std::to_string(image_of(format, kept).size());
    return "brx skipped records; dump file size " + std::string(20 - size.size(), '0') + size + " bytes\n" + lines;
}

// Writes NAME holding blocks, less the lost ones, with its list (formats that mark bad records mark them).
void write_pass(const scratch_directory_t& directory, const std::string& name, const std::vector<block_t>& blocks,
                const std::set<size_t>& lost)
{
    const std::string format = name.substr(name.find('.') + 1);
    std::vector<block_t> kept;
    for (size_t k = 0; k < blocks.size(); ++k)
        if (!lost.count(k) || format == "tap")
            kept.push_back(lost.count(k) ? bad() : blocks[k]);
    directory.write(name, image_of(format, kept));
    if (!lost.empty() && format != "tap")
        directory.write(name + ".bad", list_of(format, blocks, lost));
}

std::string section(const std::string& manifest, const std::string& from, const std::string& to)
{
    const size_t begin = manifest.find(from);
    return begin == std::string::npos ? "" : manifest.substr(begin, manifest.find(to, begin) - begin);
}

// Debian's python3-jsonschema judges the document against the schema in the repository.
void expect_valid(const scratch_directory_t& directory, const std::string& name)
{
    const brx_run_t check = run_program("/usr/bin/python3",
        {"-c", "import json, sys, jsonschema; jsonschema.validate(json.load(open(sys.argv[2])), "
               "json.load(open(sys.argv[1])), cls=jsonschema.Draft202012Validator)",
         BRX_SOURCE_DIR "/manifest.schema.json", name}, directory.path());
    EXPECT_EQ(check.exit_status, 0) << name << ": " << check.standard_error;
}

}  // namespace

TEST(brxtool_manifest, every_format_and_brx_give_the_same_digests_and_a_flipped_byte_is_named)
{
    scratch_directory_t directory;
    std::string files;
    for (const std::string name : {"pass.dmp", "pass.tap", "pass.aws", "pass.het"}) {
        write_pass(directory, name, labelled, {5});
        const brx_run_t run = brxtool(directory, {"manifest", name});
        ASSERT_EQ(run.exit_status, 0) << name << run.standard_error;
        const std::string manifest = directory.read(name + ".json");
        files = files.empty() ? section(manifest, "\"files\"", "\"lost\"") : files;
        EXPECT_EQ(section(manifest, "\"files\"", "\"lost\""), files) << name;
        EXPECT_NE(manifest.find("\"lost\": [\n  {\"block\": 5, \"file\": 1, \"record\": 2"), std::string::npos) << name;
        expect_valid(directory, name + ".json");
    }
    EXPECT_NE(files.find("{\"record\": 2, \"id\": \"HDR1\", \"code\": \"ANSI\", \"file_id\": \"PAYROLL\"}"), std::string::npos);
    EXPECT_NE(files.find("\"runs\": [{\"first\": 1, \"last\": 1, \"bytes\": 800}, {\"first\": 3, \"last\": 4, \"bytes\": 400}]"),
              std::string::npos);
    EXPECT_NE(files.find("{\"file\": 2, \"records\": 0, \"bytes\": 0, \"tape_mark\": true, \"sha256\": "
                         "\"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\""), std::string::npos);
    std::string flipped = directory.read("pass.tap");
    flipped[flipped.size() - 100] ^= 1;  // in the last record of file 1
    directory.write("flipped.tap", flipped);
    const struct { std::string image, output; int status; } cases[] = {
        {"pass.het", "pass.het matches pass.dmp.json: 3 files, 6 records, 1840 bytes, 1 lost records\n", 0},
        {"flipped.tap", "flipped.tap differs from pass.dmp.json: file 1: the SHA-256 of its records is ", 1},
    };
    for (const auto& c : cases) {
        const brx_run_t run = brxtool(directory, {"verify", "--manifest", "pass.dmp.json", c.image});
        EXPECT_EQ(run.exit_status, c.status) << c.image << run.standard_error;
        EXPECT_EQ(run.standard_output.substr(0, c.output.size()), c.output);
    }
    // brx writes one beside a dump, with the drive's identity.
    directory.write("tape.dmp", image_of("brx", labelled));
    const brx_run_t dump = run_brx_on("BRX_TAPE0", "vtape:" + directory.file("tape.dmp") + "?bad=5",
                                      {"\\\\.\\tape0", "out.dmp", "/skip", "/manifest"}, directory.path());
    EXPECT_EQ(dump.exit_status, 2) << dump.standard_error;
    const std::string manifest = directory.read("out.dmp.json");
    EXPECT_NE(manifest.find("\n \"device\": {\"name\": \"\\\\\\\\.\\\\tape0\", \"vendor\": \"BRX\", \"product\": "
                            "\"VIRTUAL TAPE\", \"revision\": \"1.2\", \"serial\": \"VTAPE0000001\"},\n \"made\": "
                            "{\"program\": \"brx\", \"version\": \"1.2\", \"command_line\": ["),
              std::string::npos) << manifest;
    expect_valid(directory, "out.dmp.json");
    // With a ring the manifest also says how the drive was fed.
    run_brx_on("BRX_TAPE0", "vtape:" + directory.file("tape.dmp") + "?bad=5",
               {"\\\\.\\tape0", "ring.dmp", "/skip", "/manifest", "/buffer=2"}, directory.path());
    const std::string fed = "\n \"buffer\": {\"size\": 2097152, \"records\": 6, \"tape_marks\": 3, \"bytes\": 1840, ";
    EXPECT_NE(directory.read("ring.dmp.json").find(fed), std::string::npos) << directory.read("ring.dmp.json");
    expect_valid(directory, "ring.dmp.json");
    EXPECT_EQ(section(manifest, "\"files\"", "\"device\""), section(directory.read("pass.aws.json"), "\"files\"", "\"made\""));
}

TEST(brxtool_merge, passes_fill_each_others_gaps_and_disagreements_stop_it)
{
    std::vector<block_t> changed = labelled, reshaped = labelled;
    changed[6] = rec(400, 9);
    reshaped[7] = mark();
    // out: OUT's list, or "" for none; message: standard error
    const struct { std::vector<std::vector<block_t>> tapes; std::vector<std::set<size_t>> lost; std::vector<std::string> extra;
                   int status; std::string out, message; } cases[] = {
        {{labelled, labelled}, {{0, 5}, {6}}, {}, 0, "", ""},
        {{labelled, labelled, labelled}, {{0, 5}, {5, 6}, {0, 6, 7}}, {}, 0, "", ""},
        {{labelled, labelled}, {{5}, {5, 9}}, {}, 3, list_of("brx", labelled, {5}), ""},
        {{labelled, {labelled.begin(), labelled.begin() + 7}}, {{5}, {}}, {}, 0, "", ""},  // a pass cut short
        {{labelled, changed}, {{}, {}}, {}, 1, "",
         "brxtool: merge: block 6 (file 1, record 3): pass0.dmp and pass1.tap hold different records (400 and 400 bytes, "
         "the first difference at byte 0); --prefer PASS says which wins\nbrxtool: merge: nothing written\n"},
        {{changed, labelled}, {{}, {}}, {"--prefer", "pass1.tap"}, 0, "", ""},
        {{labelled, reshaped}, {{}, {}}, {"--prefer", "pass1.tap"}, 1, "",
         "brxtool: merge: block 7 (file 1, its tape mark): pass1.tap has a tape mark, pass0.dmp has a record of 400 bytes: "
         "the passes disagree on the tape's structure\nbrxtool: merge: nothing written\n"},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        std::vector<std::string> arguments = {"merge"};
        const char* const formats[] = {"dmp", "tap", "aws"};
        for (size_t i = 0; i < c.tapes.size(); ++i) {
            arguments.push_back("pass" + std::to_string(i) + "." + formats[i]);
            write_pass(directory, arguments.back(), c.tapes[i], c.lost[i]);
        }
        arguments.insert(arguments.end(), {"--out", "out.dmp"});
        arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
        const brx_run_t run = brxtool(directory, arguments);
        const std::string shown = std::to_string(&c - cases) + ": " + run.standard_output;
        EXPECT_EQ(run.exit_status, c.status) << shown << run.standard_error;
        EXPECT_EQ(run.standard_error, c.message) << shown;
        EXPECT_EQ(directory.read("out.dmp.bad"), c.out) << shown;
        std::vector<block_t> kept;
        for (size_t k = 0; k < labelled.size(); ++k)
            if (c.out.empty() || k != 5)
                kept.push_back(labelled[k]);
        EXPECT_TRUE(directory.read("out.dmp") == (c.status == 1 ? "" : image_of("brx", kept))) << shown;
        EXPECT_FALSE(directory.exists("out.dmp.partial")) << shown;
    }
    scratch_directory_t directory;
    write_pass(directory, "a.dmp", labelled, {5});
    write_pass(directory, "b.tap", labelled, {0});
    const brx_run_t run = brxtool(directory, {"merge", "a.dmp", "b.tap", "--out", "out.aws"});
    EXPECT_EQ(run.standard_output, "a.dmp: 6 records taken, 1 found in no other pass\n"
                                   "b.tap: 1 records taken, 1 found in no other pass\n"
                                   "out.aws: 3 files, 7 records, 2640 bytes, 3 tape marks, 0 records lost\n");
}

TEST(brxtool_retry, recovers_what_heals_on_every_kind_of_drive_and_refuses_another_tape)
{
    // Lost: the first record, one in the middle of a file, one before a mark, the last before the end.
    const std::vector<block_t> tape = {rec(100, 1), rec(200, 2), mark(), rec(300, 3), rec(5000, 4), rec(70, 5),
                                       mark(), rec(50, 6), rec(60, 7)};
    const std::string clean = image_of("brx", tape);
    const std::string healing = "bad=0:2&bad=4:2&bad=5:2&bad=8:2&heal=heal&";
    // other: the tape in the drive for the retry, when not the same
    const struct { std::string drive, bad, other; int status; } cases[] = {
        {"trace=t", healing, "", 0},
        {"pastbad", healing, "", 0},
        {"zeroposition", healing, "", 0},
        {"pastbad&zeroposition&nolocate", healing, "", 0},
        {"nolocate", healing + "bad=5&", "", 3},
        {"pastbad", healing, image_of("brx", {rec(100, 1), rec(200, 9), mark()}), 1},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write("tape.dmp", clean);
        const std::string device = "vtape:" + directory.file("tape.dmp") + "?" + c.bad + c.drive;
        ASSERT_EQ(run_brx_on("BRX_TAPE0", device, {"\\\\.\\tape0", "pass.dmp", "/skip"}, directory.path()).exit_status, 2);
        const std::string pass = directory.read("pass.dmp"), list = directory.read("pass.dmp.bad");
        EXPECT_EQ(list, list_of("brx", tape, {0, 4, 5, 8})) << c.drive;
        if (!c.other.empty())
            directory.write("tape.dmp", c.other);
        const brx_run_t run = brxtool(directory, {"retry", device, "pass.dmp", "--reads=1", "--manifest"});
        EXPECT_EQ(run.exit_status, c.status) << c.drive << run.standard_error;
        const bool written = c.status != 1;
        const std::string refusal = "brxtool: retry: block 1 (file 0, record 2) holds other bytes than the image's copy: "
                                    "this is not the tape the image was made from\nbrxtool: retry: nothing written\n";
        EXPECT_EQ(run.standard_error.find(refusal) != std::string::npos, !written) << run.standard_error;
        EXPECT_TRUE(directory.read("pass.dmp") == (c.status == 0 ? clean : written ? image_of("brx", {tape[0], tape[1],
                    tape[2], tape[3], tape[4], tape[6], tape[7], tape[8]}) : pass)) << c.drive;
        EXPECT_EQ(directory.read("pass.dmp.bad"), c.status == 0 ? "" : written ? list_of("brx", tape, {5}) : list);
        EXPECT_TRUE(directory.read("pass.dmp.prev") == (written ? pass : "")) << c.drive;
        EXPECT_EQ(directory.read("pass.dmp.prev.bad"), written ? list : "") << c.drive;
        EXPECT_FALSE(directory.exists("pass.dmp.partial")) << c.drive;
        EXPECT_EQ(directory.exists("pass.dmp.json"), written) << c.drive;
    }
    // A SIMH image keeps its lost records as bad records, and gets them back in place.
    scratch_directory_t directory;
    directory.write("tape.dmp", clean);
    directory.write("pass.tap", image_of("tap", {bad(), tape[1], tape[2], tape[3], bad(), bad(), tape[6], tape[7], bad()}));
    const std::string device = "vtape:" + directory.file("tape.dmp") + "?bad=4:1&bad=5";
    EXPECT_EQ(brxtool(directory, {"retry", device, "pass.tap", "--no-keep"}).exit_status, 3);
    EXPECT_TRUE(directory.read("pass.tap") ==
                image_of("tap", {tape[0], tape[1], tape[2], tape[3], tape[4], bad(), tape[6], tape[7], tape[8]}));
    EXPECT_EQ(directory.names(), (std::vector<std::string>{"pass.tap", "tape.dmp"}));
}
