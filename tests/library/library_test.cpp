// brxtool library over a simulated library: the whole flow, what a rerun does with an earlier
// run's work, and what stops one tape or one drive only.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "tests/library/in_process.h"
#include "tests/support/simulated_library.h"

using namespace library_test;

namespace {

const std::string tape_a = container_of({record_of(80, 1), record_of(200000, 2), "", record_of(1, 3), "", ""});
const std::string tape_b = container_of({record_of(65536, 4), ""});
const std::string tape_c = container_of({record_of(7, 5), record_of(7, 6), "", record_of(3000, 7), ""});
constexpr uint8_t read_op = 0x08, ready_op = 0x00, move_op = 0xA5;

std::string journal_lines(const scratch_directory_t& folder, const std::string& event)
{
    std::string found, line;
    std::istringstream text(folder.read("out/library.journal"));
    while (std::getline(text, line))
        if (line.rfind(event + " ", 0) == 0)
            found += line.substr(0, line.find(" records")) + "\n";
    return found;
}

}  // namespace

TEST(library_run, every_tape_is_imaged_and_put_back)
{
    scratch_directory_t folder;
    simulated_library_t library(folder.path(), 2, 8, 73);
    library.put(1, "A00001", tape_a);
    library.put(2, "A00002", "");
    library.put(3, "CLN001", "", true);
    library.put(5, "", tape_b);
    library.put(6, "A00006", tape_c);
    library.put(7, "A00001", tape_b);
    library.fail_next(1, ready_op, 2, 0x04, 0x01);
    library.fail_next(1, ready_op, 6, 0x28, 0x00);
    library.limit_replies(false, 0, 8);  // as tgt: drive:1's identifier cut short
    std::filesystem::create_directory(folder.file("out"));
    const brx_run_t run = brxtool_here({"library", library.changer_name(), folder.file("out"), "--verify", "--devices",
                                        library.drive_name(1) + "," + library.drive_name(0)});
    EXPECT_EQ(run.exit_status, 4) << run.standard_error;
    EXPECT_EQ(steady(run.standard_output),
              "barcode          slot      drive    status      records          bytes  skipped  seconds\n"
              "A00001           slot:1    drive:N  imaged            3         200081        0 S\n"
              "A00002           slot:2    drive:N  imaged            0              0        0 S\n"
              "CLN001           slot:3    -        cleaning          0              0        0 S\n"
              "-                slot:5    drive:N  imaged            1          65536        0 S\n"
              "A00006           slot:6    drive:N  imaged            3           3014        0 S\n"
              "A00001           slot:7    -        failed            0              0        0 S  "
              "the name A00001 is also the tape's in slot:1; not imaged\n");
    EXPECT_EQ(folder.read("out/A00001.dmp"), tape_a);
    EXPECT_EQ(folder.read("out/slot-5.dmp"), tape_b);
    EXPECT_EQ(folder.read("out/A00006.dmp"), tape_c);
    EXPECT_TRUE(folder.exists("out/A00002.dmp") && folder.read("out/A00002.dmp").empty());
    EXPECT_FALSE(folder.exists("out/CLN001.dmp"));
    for (const auto& [slot, held] : std::map<uint16_t, std::string>{
             {300, "A00001"}, {301, "A00002"}, {302, "CLN001"}, {303, ""}, {304, "-"}, {305, "A00006"}, {306, "A00001"},
             {307, ""}, {200, ""}, {201, ""}})
        EXPECT_EQ(library.holds(slot), held) << slot;
}

TEST(library_run, a_rerun_keeps_complete_images_puts_back_what_a_drive_holds_and_images_the_rest)
{
    scratch_directory_t folder;
    simulated_library_t library(folder.path(), 1, 4, 74);
    library.put(1, "A", tape_a);
    library.put(2, "B", tape_b);
    library.put(3, "C", tape_c);
    std::filesystem::create_directory(folder.file("out"));
    const std::vector<std::string> command = {"library", library.changer_name(), folder.file("out"), "--drive",
                                              "0=" + library.drive_name(0)};
    ASSERT_EQ(brxtool_here(command).exit_status, 0);
    // What a run killed while imaging B leaves: B in the drive, its image spoilt, a partial file, a torn line.
    ASSERT_EQ(brxtool_here({"changer", "load", library.changer_name(), "slot:2", "drive:0"}).exit_status, 0);
    folder.write("out/B.dmp", tape_b.substr(0, 100));
    folder.write("out/B.dmp.partial", "x");
    folder.write("out/library.journal", folder.read("out/library.journal") +
                                            "load B slot 301 drive 200\nloaded B slot 301 drive 200\nimaged C file C.d");
    const auto moves = std::ranges::count(library.changer_commands(), move_op);
    const brx_run_t run = brxtool_here(command);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.standard_error, "brxtool: library: drive:0 held B; put back into slot:2\n");
    EXPECT_EQ(steady(run.standard_output),
              "barcode          slot      drive    status      records          bytes  skipped  seconds\n"
              "A                slot:1    -        kept              3         200081        0 S  imaged by an earlier run\n"
              "B                slot:2    drive:N  imaged            1          65536        0 S\n"
              "C                slot:3    -        kept              3           3014        0 S  imaged by an earlier run\n");
    EXPECT_EQ(std::ranges::count(library.changer_commands(), move_op) - moves, 3);
    EXPECT_EQ(folder.read("out/B.dmp"), tape_b);
    EXPECT_FALSE(folder.exists("out/B.dmp.partial"));
    EXPECT_EQ(journal_lines(folder, "imaged"), "imaged A file A.dmp\nimaged B file B.dmp\nimaged C file C.dmp\n"
                                               "imaged C file C.d\nimaged B file B.dmp\n");
    EXPECT_EQ(library.holds(301), "B");
    const auto tape = [](const std::string& name, const std::string& drive, const std::string& counts, bool kept) {
        return "  {\"barcode\": \"" + name + "\", \"slot\": \"slot:" + std::to_string(name[0] - 'A' + 1) + "\", \"drive\": " +
               drive + ", \"status\": \"" + (kept ? "kept" : "imaged") + "\", \"image\": \"" + name + ".dmp\", " + counts +
               ", \"skipped\": 0, \"seconds\": S, \"left_in_drive\": false, \"why\": " +
               (kept ? "\"imaged by an earlier run\"" : "null") + "}";
    };
    EXPECT_EQ(std::regex_replace(folder.read("out/library.json"), std::regex("\"seconds\": [0-9.]+"), "\"seconds\": S"),
              "{\"changer\": \"" + std::regex_replace(library.changer_name(), std::regex("\\\\"), "\\\\") +
                  "\", \"format\": \"brx\", \"exit_status\": 0,\n \"tapes\": [\n" +
                  tape("A", "null", "\"records\": 3, \"bytes\": 200081", true) + ",\n" +
                  tape("B", "\"drive:0\"", "\"records\": 1, \"bytes\": 65536", false) + ",\n" +
                  tape("C", "null", "\"records\": 3, \"bytes\": 3014", true) + "\n]}\n");
}

TEST(library_run, what_goes_wrong_stops_one_tape_or_one_drive)
{
    const std::string stopped = "cannot read the block after file 0, record ";
    const std::string before = ": the drive answered 04/44/00 before the end of its data";
    const struct {
        int drive;
        uint8_t opcode, key, asc, ascq;
        unsigned skip;
        const char* user_file;  // a file of the user's where B's image would go
        std::string failed;     // the journal's lines
        std::string error;
    } cases[] = {
        {-1, move_op, 5, 0x3B, 0x0D, 0, nullptr,
         "failed A cannot load it into drive:0: sense 05/3b/0d (medium destination element full)\n", ""},
        {-2, 0, 0, 0, 0, 0, "B.dmp", "failed B OUT/B.dmp exists and the journal does not know it; it is left alone\n", ""},
        {0, read_op, 4, 0x44, 0x00, 0, nullptr, "failed A " + stopped + "0" + before + "\n",
         "brxtool: \\\\.\\Tape750: " + stopped + "0" + before + "\nbrxtool: library: drive:0 is taken out of the run: " +
             stopped + "0" + before + "\n"},
        {0, read_op, 4, 0x44, 0x00, 8, nullptr,  // the second reading, for --verify
         "failed A verify: " + stopped + "1" + before + "\n",
         "brxtool: \\\\.\\Tape750: " + stopped + "1" + before + "\nbrxtool: library: drive:0 is taken out of the run: verify: " +
             stopped + "1" + before + "\n"},
        {0, ready_op, 2, 0x04, 0x03, 0, nullptr,
         "failed A the drive is not ready: sense 02/04/03 (manual intervention required)\n",
         "brxtool: library: drive:0 is taken out of the run: the drive is not ready: sense 02/04/03 (manual "
         "intervention required)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        scratch_directory_t folder;
        simulated_library_t library(folder.path(), 1, 3, 75);
        library.put(1, "A", tape_a);
        library.put(2, "B", tape_b);
        std::filesystem::create_directory(folder.file("out"));
        if (c.user_file != nullptr)
            folder.write(std::string("out/") + c.user_file, "mine");
        if (c.drive > -2)
            library.fail_next(c.drive, c.opcode, c.key, c.asc, c.ascq, false, c.skip);
        const brx_run_t run = brxtool_here({"library", library.changer_name(), folder.file("out"), "--verify",
                                            "--drive", "0=" + library.drive_name(0)});
        EXPECT_EQ(run.exit_status, 4);
        EXPECT_EQ(run.standard_error, c.error);
        std::string failed = journal_lines(folder, "failed");
        const size_t path = failed.find(folder.file("out"));
        EXPECT_EQ(path == std::string::npos ? failed : failed.replace(path, folder.file("out").size(), "OUT"), c.failed);
        EXPECT_EQ(library.holds(300) + library.holds(301) + library.holds(200), "AB");
        EXPECT_EQ(folder.read("out/B.dmp"), c.user_file != nullptr ? "mine" : c.drive == -1 ? tape_b : "");
        EXPECT_EQ(folder.exists("out/A.dmp") || folder.exists("out/A.dmp.partial"), c.user_file != nullptr);
    }
}
