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
constexpr uint8_t read_op = 0x08;

std::string list_of(uint64_t size, uint64_t offset)
{
    char text[160];
    snprintf(text, sizeof text,
             "brx skipped records; dump file size %020llu bytes\nblock 1 file 0 record 2 offset %llu sense 03/11/00\n",
             static_cast<unsigned long long>(size), static_cast<unsigned long long>(offset));
    return text;
}

struct run_t {
    brx_run_t run;
    std::string image, list;
};

// One tape A in a library of one drive, imaged with the options given.
run_t image_a(const std::string& medium_options, std::vector<std::string> options, bool refuse_block_3 = false,
              const std::string& extension = ".dmp")
{
    scratch_directory_t folder;
    simulated_library_t library(folder.path(), 1, 2, 78);
    folder.write("medium", tape);
    if (medium_options.empty())
        library.put(1, "A", tape);
    else
        library.put_file(1, "A", folder.file("medium"), medium_options);
    if (refuse_block_3)
        library.fail_next(0, read_op, 0x0D, 0x00, 0x02, false, 3);
    std::filesystem::create_directory(folder.file("out"));
    options.insert(options.begin(), {"library", library.changer_name(), folder.file("out"), "--drive",
                                     "0=" + library.drive_name(0), "--verify"});
    run_t result{brxtool_here(options), "", ""};
    const std::string image = "out/A" + extension;
    result.image = folder.exists(image) ? folder.read(image) : "(none)";
    result.list = folder.exists(image + ".bad") ? folder.read(image + ".bad") : "(none)";
    EXPECT_EQ(library.holds(300), "A");
    return result;
}

std::string row(const run_t& run)
{
    const std::string table = steady(run.run.standard_output);
    return std::regex_replace(table.substr(table.find('\n') + 1), std::regex(" +"), " ");
}

}  // namespace

TEST(library_rescue, skipped_records_are_listed_or_marked_and_decide_the_status)
{
    const std::string early = "cannot read the block after file 1, record 0: the drive answered 0D/00/02 before the end of its data";
    const struct {
        std::string medium;
        std::vector<std::string> options;
        bool refuse_block_3;
        int status;
        std::string row, image, list, error;
    } cases[] = {
        {"bad=1", {"--skip"}, false, 2, "A slot:1 drive:N partial 2 81 1 S\n", tape_without_1,
         list_of(tape_without_1.size(), 88), "brxtool: library: A: Skipped unreadable block 1 (file 0, record 2); dump file offset 88, sense 03/11/00\n"},
        {"bad=1:2", {"--skip", "--reads=2"}, false, 0, "A slot:1 drive:N imaged 3 200081 0 S\n", tape, "(none)",
         "brxtool: library: A: TAPE BAD BLOCK detected (offset 88 bytes), trying to recover...\n"
             "brxtool: library: A: TAPE BAD BLOCK detected (offset 88 bytes), trying to recover...\n"},
        {"bad=1", {}, false, 4,
         "A slot:1 drive:N failed 1 80 0 S cannot read the block after file 0, record 1: the drive reported a "
         "medium error (sense 03/11/00)\n",
         "(none)", "(none)",
         "brxtool: \\\\.\\Tape780: cannot read the block after file 0, record 1: the drive reported a medium error "
         "(sense 03/11/00)\n"},
        {"", {"--skip"}, true, 0, "A slot:1 drive:N imaged 2 200080 0 S " + early + "\n",
         container_of({record_of(80, 1), record_of(200000, 2), ""}), "(none)", ""},
        {"", {"--skip", "--strict"}, true, 4, "A slot:1 drive:N incomplete 2 200080 0 S " + early + "\n",
         container_of({record_of(80, 1), record_of(200000, 2), ""}), "(none)", ""},
        {"maxblock=65536", {"--block=100000"}, false, 4,
         "A slot:1 drive:N failed 0 0 0 S --block=100000 is more than \\\\.\\Tape780 takes (the drive 65536, the "
         "transport no limit)\n",
         "(none)", "(none)", ""},
        {"maxblock=65536", {}, false, 4,
         "A slot:1 drive:N failed 1 80 0 S cannot read the block after file 0, record 1: a record of 200000 bytes, "
         "longer than the longest read, 65536 bytes (--block=)\n",
         "(none)", "(none)", ""},
        {"bad=1", {"--skip", "--to=aws"}, false, 2, "A slot:1 drive:N partial 2 81 1 S\n", "", list_of(111, 86), "brxtool: library: A: Skipped unreadable block 1 (file 0, record 2); dump file offset 88, sense 03/11/00\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        for (const char* buffer : {"--buffer=0", "--buffer=1"}) {
            std::vector<std::string> options = c.options;
            options.push_back(buffer);
            const bool aws = c.image.empty();
            const run_t run = image_a(c.medium, options, c.refuse_block_3, aws ? ".aws" : ".dmp");
            EXPECT_EQ(run.run.exit_status, c.status);
            EXPECT_EQ(run.run.standard_error, c.error);
            EXPECT_EQ(row(run), c.row);
            if (!aws) {
                EXPECT_EQ(run.image, c.image);
            }
            EXPECT_EQ(run.list, c.list);
        }
    }
    // tap marks the record bad where it stands, as convert does with brx's list.
    scratch_directory_t folder;
    folder.write("a.dmp", tape_without_1);
    folder.write("a.dmp.bad", list_of(tape_without_1.size(), 88));
    ASSERT_EQ(brxtool_here({"convert", folder.file("a.dmp"), folder.file("a.tap")}).exit_status, 0);
    const run_t tap = image_a("bad=1", {"--skip", "--to=tap"}, false, ".tap");
    EXPECT_EQ(tap.run.exit_status, 2);
    EXPECT_EQ(tap.image, folder.read("a.tap"));
    EXPECT_EQ(tap.list, "(none)");
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
    EXPECT_NE(manifest.find("\"vendor\": \"BRXSIM\", \"product\": \"DRIVE\", \"revision\": \"\", \"serial\": \"SIMSER0\"}"),
              std::string::npos);
    EXPECT_NE(manifest.find("\"buffer\": {\"size\": 67108864, \"records\": 2, \"tape_marks\": 3, \"bytes\": 81,"),
              std::string::npos);
    EXPECT_NE(journal.find("skipped 1 early 0 list 1 manifest 1 size"), std::string::npos);
    const struct {
        const char* spoil;  // what the crash (or a user) left
        std::string rows;
    } cases[] = {
        {"", "A kept 2 81 1 imaged by an earlier run\nB kept 3 200081 0 imaged by an earlier run\n"},
        {"out/A.dmp.json", "A partial 2 81 1\nB kept 3 200081 0 imaged by an earlier run\n"},
        {"out/A.dmp.bad", "A partial 2 81 1\nB kept 3 200081 0 imaged by an earlier run\n"},
        {"journal", "A kept 2 81 1 imaged by an earlier run\nB imaged 3 200081 0\n"},
    };
    const std::string image = folder.read("out/A.dmp"), list = folder.read("out/A.dmp.bad");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spoil);
        if (std::string(c.spoil) == "journal") {  // killed after B's files got their names, before its line
            folder.write("out/library.journal", journal.substr(0, journal.find("imaged B")) + "imag");
            ASSERT_EQ(brxtool_here({"changer", "load", library.changer_name(), "slot:2", "drive:0"}).exit_status, 0);
        } else if (*c.spoil != '\0') {
            std::filesystem::remove(folder.file(c.spoil));
        }
        const brx_run_t run = brxtool_here(command);
        EXPECT_EQ(run.exit_status, 2);
        EXPECT_EQ(std::regex_replace(row({run, "", ""}), std::regex(" slot:[0-9] (drive:N|-)| S"), ""), c.rows);
        EXPECT_EQ(folder.read("out/A.dmp"), image);
        EXPECT_EQ(folder.read("out/A.dmp.bad"), list);
        for (const char* name : {"A", "B"})
            EXPECT_EQ(brxtool_here({"verify", "--manifest", folder.file("out/" + std::string(name) + ".dmp.json"),
                                    folder.file("out/" + std::string(name) + ".dmp")})
                          .exit_status,
                      0);
    }
    EXPECT_EQ(library.holds(300) + library.holds(301), "AB");
}
