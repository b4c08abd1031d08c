// brxtool library with brx's rescue options, the ring and manifests: a bad record skipped, listed or
// marked, the exit statuses, the same images with and without the ring, and a rerun after a crash.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/library/in_process.h"
#include "tests/support/simulated_library.h"

using namespace library_test;

namespace {

// Block 1 (200000 bytes) is the bad one; block 3 the one a drive may refuse.
const std::string tape = container_of({record_of(80, 1), record_of(200000, 2), "", record_of(1, 3), "", ""});
const std::string tape_without_1 = container_of({record_of(80, 1), "", record_of(1, 3), "", ""});
const std::string skipped = "brxtool: library: A: Skipped unreadable block 1 (file 0, record 2); dump file offset 88, "
                            "sense 03/11/00\n";

std::string list_of(uint64_t size, uint64_t offset)
{
    const std::string digits = std::to_string(size);
    return "brx skipped records; dump file size " + std::string(20 - digits.size(), '0') + digits +
           " bytes\nblock 1 file 0 record 2 offset " + std::to_string(offset) + " sense 03/11/00\n";
}

// The table's rows without the header, the slot, the drive and the seconds.
std::string rows(const brx_run_t& run)
{
    const std::string table = steady(run.standard_output);
    const std::string bare = std::regex_replace(table.substr(table.find('\n') + 1), std::regex(" +slot:[0-9] +(drive:N|-)| S\\b"), "");
    return std::regex_replace(bare, std::regex(" +"), " ");
}

struct imaged_t {
    brx_run_t run;
    std::string image = "(none)", list = "(none)";
};

// Tape A, its medium played with medium_options, imaged alone with options.
imaged_t image_a(const std::string& medium_options, std::vector<std::string> options, uint8_t refuse_block_3 = 0,
                 const std::string& extension = ".dmp")
{
    scratch_directory_t folder;
    simulated_library_t library(folder.path(), 1, 2, 78);
    folder.write("medium", tape);
    library.put_file(1, "A", folder.file("medium"), medium_options);
    if (refuse_block_3 != 0)  // with this sense key: VOLUME OVERFLOW is no drive's fault, HARDWARE ERROR is
        library.fail_next(0, 0x08, refuse_block_3, 0x00, 0x02, 0, 3);
    std::filesystem::create_directory(folder.file("out"));
    options.insert(options.begin(), {"library", library.changer_name(), folder.file("out"), "--drive",
                                     "0=" + library.drive_name(0), "--verify"});
    imaged_t imaged{brxtool_here(options)};
    const std::string out = folder.file("out");
    for (std::string* text : {&imaged.run.standard_output, &imaged.run.standard_error})
        for (size_t at; (at = text->find(out)) != std::string::npos;)
            text->replace(at, out.size(), "OUT");
    const std::string image = "out/A" + extension;
    for (auto [name, read] : {std::pair{image, &imaged.image}, {image + ".bad", &imaged.list}})
        if (folder.exists(name))
            *read = folder.read(name);
    EXPECT_EQ(library.holds(300), "A");
    return imaged;
}

}  // namespace

TEST(library_rescue, skipped_records_are_listed_or_marked_and_decide_the_status)
{
    const std::string after = "cannot read the block after file ", drive = "\\\\.\\Tape780";
    const std::string early = after + "1, record 0: the drive answered 0D/00/02 before the end of its data\n";
    const std::string broken = after + "1, record 0: the drive answered 04/00/02 before the end of its data";
    const std::string kept = broken + "; what was read is kept in OUT/A.dmp.partial\n";
    const std::string medium_error = after + "0, record 1: the drive reported a medium error (sense 03/11/00)\n";
    const std::string attempt = "brxtool: library: A: TAPE BAD BLOCK detected (offset 88 bytes), trying to recover...\n";
    const struct {
        std::string medium;
        std::vector<std::string> options;
        uint8_t refuse_block_3;
        int status;
        std::string row, image, list, error;
    } cases[] = {
        {"bad=1", {"--skip"}, 0, 2, "A partial 2 81 1\n", tape_without_1, list_of(tape_without_1.size(), 88), skipped},
        {"bad=1:2", {"--skip", "--reads=2"}, 0, 0, "A imaged 3 200081 0\n", tape, "(none)", attempt + attempt},
        {"bad=1", {}, 0, 4, "A failed 1 80 0 " + medium_error, "(none)", "(none)", "brxtool: " + drive + ": " + medium_error},
        {"bufmode=1", {"--skip"}, 0x0D, 0, "A imaged 2 200080 0 " + early, tape.substr(0, 200104), "(none)", ""},
        {"bufmode=1", {"--skip", "--strict"}, 0x0D, 4, "A incomplete 2 200080 0 " + early, tape.substr(0, 200104), "(none)", ""},
        {"maxblock=65536", {"--block=100000"}, 0, 4,
         "A failed 0 0 0 --block=100000 is more than " + drive + " takes (the drive 65536, the transport no limit)\n",
         "(none)", "(none)", ""},
        {"maxblock=65536", {}, 0, 4,
         "A failed 1 80 0 " + after + "0, record 1: a record of 200000 bytes, longer than the longest read, 65536 bytes (--block=)\n",
         "(none)", "(none)", ""},
        {"bad=1", {"--skip"}, 0x04, 4, "A failed 1 80 1 " + kept, "(none)", "(none)",
         skipped + "brxtool: " + drive + ": " + broken + "\nbrxtool: library: drive:0 is taken out of the run: " + kept},
        {"bad=1", {"--skip", "--to=aws"}, 0, 2, "A partial 2 81 1\n", "", list_of(111, 86), skipped},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        for (const char* buffer : {"--buffer=0", "--buffer=1"}) {
            std::vector<std::string> options = c.options;
            options.push_back(buffer);
            const imaged_t imaged = image_a(c.medium, options, c.refuse_block_3, c.image.empty() ? ".aws" : ".dmp");
            EXPECT_EQ(imaged.run.exit_status, c.status);
            EXPECT_EQ(imaged.run.standard_error, c.error);
            EXPECT_EQ(rows(imaged.run), c.row);
            EXPECT_EQ(c.image.empty() ? "" : imaged.image, c.image);
            EXPECT_EQ(imaged.list, c.list);
        }
    }
    // tap marks the record bad where it stands, as convert does from brx's list.
    scratch_directory_t folder;
    folder.write("a.dmp", tape_without_1);
    folder.write("a.dmp.bad", list_of(tape_without_1.size(), 88));
    ASSERT_EQ(brxtool_here({"convert", folder.file("a.dmp"), folder.file("a.tap")}).exit_status, 0);
    const imaged_t tap = image_a("bad=1", {"--skip", "--to=tap"}, 0, ".tap");
    EXPECT_EQ(tap.run.exit_status, 2);
    EXPECT_EQ(tap.image + tap.list, folder.read("a.tap") + "(none)");
}

TEST(library_rescue, lists_and_manifests_are_part_of_a_complete_image_after_a_crash)
{
    scratch_directory_t folder;
    simulated_library_t library(folder.path(), 1, 3, 79);
    folder.write("medium", tape);
    library.put_file(1, "A", folder.file("medium"), "bad=1");
    library.put(2, "B", tape);
    std::filesystem::create_directory(folder.file("out"));
    const std::vector<std::string> command = {"library", library.changer_name(), folder.file("out"), "--drive",
                                              "0=" + library.drive_name(0), "--skip", "--manifest"};
    ASSERT_EQ(brxtool_here(command).exit_status, 2);
    const std::string manifest = folder.read("out/A.dmp.json"), journal = folder.read("out/library.journal");
    for (const char* part : {"\"vendor\": \"BRXSIM\", \"product\": \"DRIVE\", \"revision\": \"\", \"serial\": \"SIMSER0\"}",
                             "\"buffer\": {\"size\": 67108864, \"records\": 2, \"tape_marks\": 3, \"bytes\": 81,"})
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    EXPECT_NE(journal.find("skipped 1 early 0 list 1 manifest 1 size"), std::string::npos);
    const std::string image = folder.read("out/A.dmp") + folder.read("out/A.dmp.bad"), kept = " imaged by an earlier run\n";
    const struct {
        std::string spoilt;  // what a crash (or a user) left
        std::string rows;
    } cases[] = {
        {"", "A kept 2 81 1" + kept + "B kept 3 200081 0" + kept},
        {"out/A.dmp.json", "A partial 2 81 1\nB kept 3 200081 0" + kept},
        {"out/A.dmp.bad", "A partial 2 81 1\nB kept 3 200081 0" + kept},
        {"journal", "A kept 2 81 1" + kept + "B imaged 3 200081 0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spoilt);
        if (c.spoilt == "journal") {  // killed after B's files got their names, before its line
            folder.write("out/library.journal", journal.substr(0, journal.find("imaged B")) + "imag");
            ASSERT_EQ(brxtool_here({"changer", "load", library.changer_name(), "slot:2", "drive:0"}).exit_status, 0);
        } else if (!c.spoilt.empty()) {
            std::filesystem::remove(folder.file(c.spoilt));
        }
        const brx_run_t run = brxtool_here(command);
        EXPECT_EQ(run.exit_status, 2);
        EXPECT_EQ(rows(run), c.rows);
        EXPECT_EQ(folder.read("out/A.dmp") + folder.read("out/A.dmp.bad"), image);
        for (const std::string name : {"out/A.dmp", "out/B.dmp"})
            EXPECT_EQ(brxtool_here({"verify", "--manifest", folder.file(name + ".json"), folder.file(name)}).exit_status, 0);
    }
    EXPECT_EQ(library.holds(300) + library.holds(301), "AB");
}
