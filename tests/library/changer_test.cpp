// The changer module and command against a simulated changer: the paths a real one takes rarely.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "changer/changer.h"
#include "tests/library/in_process.h"
#include "tests/support/simulated_library.h"

namespace {

constexpr uint8_t move_op = 0xA5, status_op = 0xB8, request_sense_op = 0x03;

std::string summary(const std::vector<element_t>& elements)
{
    std::string text;
    for (const element_t& e : elements)
        text += std::to_string(static_cast<int>(e.type)) + ":" + std::to_string(e.address) + (e.full ? " full" : "") +
                (e.volume_tag.empty() ? "" : " " + e.volume_tag) + (e.source_valid ? " from " + std::to_string(e.source) : "") +
                (e.medium_type == cleaning_medium ? " cleaning" : "") + (e.identifier.empty() ? "" : " id " + e.identifier) +
                "\n";
    return text;
}

}  // namespace

TEST(library_changer, every_element_is_read_however_the_changer_limits_its_replies)
{
    scratch_directory_t folder;
    simulated_library_t library(folder.path(), 2, 5, 71);
    library.put(1, "A00001", "");
    library.put(3, "CLN001", "", true);
    library.put(5, "", "");
    const std::string expected = "1:100\n"
                                 "2:300\n2:301\n2:302 full CLN001 cleaning\n2:303\n2:304 full\n"
                                 "3:400\n"
                                 "4:200 id BRXSIM  DRIVE           SIMSER0\n"
                                 "4:201 full A00001 from 300 id BRXSIM  DRIVE           SIMSER1\n";
    const struct {
        bool refuse_both;
        uint16_t per_reply;
        uint32_t short_by;
        long requests;  // READ ELEMENT STATUS commands
    } cases[] = {{false, 0, 0, 4}, {true, 0, 0, 6}, {false, 2, 0, 6}, {true, 1, 0, 12}, {false, 0, 8, 6}};
    changer_t first;
    ASSERT_TRUE(first.open(library.changer_name()));
    ASSERT_TRUE(first.move(300, 201).good());
    for (const auto& c : cases) {
        library.limit_replies(c.refuse_both, c.per_reply, c.short_by);
        changer_t changer;
        std::vector<element_t> elements;
        const long before = std::ranges::count(library.changer_commands(), status_op);
        ASSERT_TRUE(changer.open(library.changer_name()));
        ASSERT_TRUE(changer.read_elements(elements).good());
        // A reply cut short keeps what arrived of its last descriptor: here the start of an identifier.
        EXPECT_EQ(summary(elements), c.short_by == 0 ? expected : expected.substr(0, expected.size() - 19) + "\n");
        EXPECT_EQ(std::ranges::count(library.changer_commands(), status_op) - before, c.requests) << c.per_reply;
    }
}

TEST(library_changer, a_move_is_tried_again_through_transient_states_only)
{
    const struct {
        std::vector<std::vector<uint8_t>> faults;  // key, asc, ascq, quiet
        long moves;
        bool good;
        std::vector<uint8_t> sense;  // of the answer, when it failed
    } cases[] = {
        {{{2, 0x04, 0x01, 0}, {6, 0x28, 0x00, 0}}, 3, true, {}},
        {{{4, 0x15, 0x01, 0}}, 2, true, {}},
        {{{5, 0x3B, 0x0D, 0}}, 1, false, {5, 0x3B, 0x0D}},
        {{{5, 0x3B, 0x0E, 1}}, 1, false, {5, 0x3B, 0x0E}},  // the sense fetched with REQUEST SENSE
        {{{2, 0x04, 0x03, 0}}, 1, false, {2, 0x04, 0x03}},  // manual intervention: no use waiting
        {{{6, 0x29, 0, 0}, {6, 0x29, 0, 0}, {6, 0x29, 0, 0}, {2, 0x04, 0x01, 0}}, 4, false, {2, 0x04, 0x01}},
    };
    for (const auto& c : cases) {
        scratch_directory_t folder;
        simulated_library_t library(folder.path(), 1, 2, 72);
        library.put(1, "A00001", "");
        changer_t changer;
        changer.retry_pause_ms = 0;
        ASSERT_TRUE(changer.open(library.changer_name()));
        for (const std::vector<uint8_t>& fault : c.faults)
            library.fail_next(-1, move_op, fault[0], fault[1], fault[2], fault[3] != 0);
        const scsi_answer_t answer = changer.move(300, 200);
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(answer.good(), c.good);
        EXPECT_EQ(std::ranges::count(library.changer_commands(), move_op), c.moves);
        EXPECT_EQ(std::ranges::count(library.changer_commands(), request_sense_op), c.faults[0][3]);
        if (!c.good) {
            EXPECT_EQ((std::vector<uint8_t>{answer.key, answer.asc, answer.ascq}), c.sense);
        }
        EXPECT_EQ(library.holds(200), c.good ? "A00001" : "");
    }
}

TEST(library_changer, the_changer_and_library_commands_name_elements_and_refuse_what_cannot_be)
{
    scratch_directory_t folder;
    simulated_library_t library(folder.path(), 2, 3, 76);
    library.put(1, "A00001", "");
    library.put(3, "CLN001", "", true);
    std::filesystem::create_directory(folder.file("out"));
    const std::string changer = library.changer_name(), out = folder.file("out"), drive = "0=" + library.drive_name(0);
    const std::string refused = "brxtool: library: ";  // before any tape moves
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string output, error;
    } cases[] = {
        {{"changer", "load", changer, "slot:1", "drive:1"}, 0, "moved slot:1 to drive:1\n", ""},
        {{"changer", "status", changer}, 0,
         "drive:0      element 200   empty  id BRXSIM  DRIVE           SIMSER0\n"
         "drive:1      element 201   full   A00001  from slot:1  id BRXSIM  DRIVE           SIMSER1\n"
         "slot:1       element 300   empty\nslot:2       element 301   empty\n"
         "slot:3       element 302   full   CLN001  cleaning\n"
         "ie:1         element 400   empty\ntransport:0  element 100   empty\n", ""},
        {{"changer", "move", changer, "302", "ie:1"}, 0, "moved slot:3 to ie:1\n", ""},
        {{"changer", "move", changer, "slot:2", "drive:0"}, 1, "",
         "brxtool: " + changer + ": cannot move slot:2 to drive:0: sense 05/3b/0e (medium source element empty)\n"},
        {{"changer", "load", changer, "slot:9"}, 2, "", "brxtool: changer: no slot element 'slot:9' in this changer\n"},
        {{"changer", "load", changer, "drive:0"}, 2, "", "brxtool: changer: no slot element 'drive:0' in this changer\n"},
        {{"changer", "unload", changer, "drive:1"}, 0, "moved drive:1 to slot:1\n", ""},
        {{"changer", "move", changer, "ie:1", "slot:3"}, 0, "moved ie:1 to slot:3\n", ""},
        {{"changer", "spin", changer}, 2, "", "brxtool: changer: wrong arguments for spin\n"},
        {{"library", changer, out, "--drive", drive, "--slots", "3x"}, 1, "",
         refused + "--slots takes numbers and ranges such as 3-40,45, not '3x'\n"},
        {{"library", changer, out, "--drive", "0"}, 1, "", refused + "--drive takes N=DEVICE, not '0'\n"},
        {{"library", changer, out, "--drive", "2=" + library.drive_name(0)}, 1, "",
         refused + "--drive 2: the changer has no drive:2 (it has 2 drives)\n"},
        {{"library", changer, out, "--drive", drive, "--drive", drive}, 1, "", refused + "drive:0 is given twice\n"},
        {{"library", changer, out, "--drive", "0=" + out}, 1, "", refused + out + " is not a tape device\n"},
        {{"library", changer, out}, 1, "", refused + "no drive to image with: give --drive N=DEVICE or --devices DEV,...\n"},
        {{"library", changer, folder.file("none"), "--drive", drive}, 1, "", refused + folder.file("none") + " is not a folder\n"},
        {{"library", changer, out, "--drive", drive, "--load-timeout", "0"}, 1, "",
         refused + "--load-timeout takes seconds from 1 to 86400, not '0'\n"},
        {{"library", changer, out, "--drive", drive, "--block=0"}, 1, "", refused + "--block takes a number from 1 to 16777215, not '0'\n"},
        {{"library", changer, out, "--drive", drive, "--buffer=4097"}, 1, "", refused + "--buffer takes a number from 0 to 4096, not '4097'\n"},
    };
    for (const auto& c : cases) {
        const brx_run_t run = library_test::brxtool_here(c.arguments);
        const std::string shown = testing::PrintToString(c.arguments);
        EXPECT_EQ(run.exit_status, c.status) << shown;
        EXPECT_EQ(run.standard_output, c.output) << shown;
        EXPECT_EQ(run.standard_error.substr(0, run.standard_error.find("Usage")), c.error) << shown;
    }
    EXPECT_EQ(library.holds(300) + library.holds(302) + library.holds(400) + library.holds(200), "A00001CLN001");
}
