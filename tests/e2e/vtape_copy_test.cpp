// brx dumping and restoring virtual tapes: the dump file, the tape's medium, standard error and
// the log, byte for byte (line ends and system texts as the system writes them); and random tapes
// that survive dump then restore.
#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "platform/platform.h"
#include "tests/support/e2e.h"

namespace {

struct outcome_t { brx_run_t run; std::string log, tape, trace; };

const char tape0[] = "\\\\.\\tape0", scsi0[] = "\\\\.\\scsi0:0:0";

// Runs brx with the tape tape.dmp (with vtape options) as \\.\tape0 or \\.\scsi0:0:0 and the log run.log.
outcome_t run_on_tape(const scratch_directory_t& directory, const std::string& options,
                      std::vector<std::string> arguments)
{
    const bool scsi = arguments[0] == scsi0 || arguments[1] == scsi0;
    arguments.push_back("/log=run.log");
    const std::string device = "vtape:" + directory.file("tape.dmp") + "?trace=" + directory.file("trace.txt") +
                               (options.empty() ? "" : "&" + options);
    const brx_run_t run = run_brx_on(scsi ? "BRX_SCSI0" : "BRX_TAPE0", device, arguments, directory.path());
    return {run, directory.read("run.log"), directory.read("tape.dmp"), directory.read("trace.txt")};
}

std::string bad(int offset) { return "TAPE BAD BLOCK detected (offset " + std::to_string(offset) + " bytes), trying to recover...\n"; }
std::string failed(DWORD code) { return "Failed to read tape block: " + system_text(code) + "\n"; }

const std::string rewind_good = "01 00 00 00 00 00 | none 0 | status 00 | sense -\n";
const std::string set_up = rewind_good + "1A 00 00 00 04 00 | in 4 | status 00 | sense -\n"
                                         "15 00 00 00 04 00 | out 4 | status 00 | sense -\n"
                                         "05 00 00 00 00 00 | in 65536 | status 00 | sense -\n";

}  // namespace

TEST(vtape_copy, dump_and_back)
{
    // Blocks 0 to 2 lie in 324 bytes: block 3 (the record of 300 bytes) has its header at 324.
    const std::string k = container_of({record_of(100, 1), record_of(200, 2), "", record_of(300, 3)});
    const std::string to_k = container_of({record_of(100, 1), record_of(200, 2), ""});
    // A record that fails to read: MEDIUM ERROR, and no reason of the system's (code 0).
    const std::string fail = failed(NO_ERROR), pair = fail + "DUMP file offset: 324\n";
    const std::string marks = container_of({record_of(80, 1), "", record_of(65024, 3), record_of(1, 4), "", ""});
    const std::string bad3 = bad(324) + bad(324) + bad(324) + fail, bad3_log = bad(324) + pair + bad(324) + pair + bad(324) + pair + pair;
    // log: exactly; file none: no dump file left
    struct case_t { std::string tape, options; std::vector<std::string> extra; int status; std::string console, log;
                    std::optional<std::string> file; };
    std::vector<case_t> cases = {
        {"", "", {}, 0, "", "", ""},  // a blank tape: an empty file
        {marks, "", {}, 0, "", "", marks},
        {k, "bad=3:2", {"/reads=3"}, 0, bad(324) + bad(324), bad(324) + pair + bad(324), k},
        {k, "bad=3", {"/reads=3"}, 1, bad3, bad3_log, {}},
        {k, "bad=3", {"/reads=3", "/ignore"}, 1, bad3, bad3_log, to_k},
        {container_of({record_of(10, 1), record_of(65025, 2)}), "", {}, 1, failed(ERROR_MORE_DATA), failed(ERROR_MORE_DATA) + "DUMP file offset: 18\n", {}},
    };
    // And random tapes of up to 12 blocks: tape marks, single or in runs, and records of 1 to 65,024 bytes, both ends likelier.
    std::mt19937 random(20261205);
    std::uniform_int_distribution<int> count(0, 12), kind(0, 9), small(1, 600), any(1, 65024), large(64000, 65024);
    for (int round = 0; round < 12; ++round) {
        std::vector<std::string> blocks(static_cast<size_t>(count(random)));
        for (std::string& block : blocks) {
            const int k = kind(random);
            if (k >= 3)
                block = record_of(static_cast<size_t>(k < 5 ? small(random) : k < 8 ? any(random) : large(random)),
                                  static_cast<unsigned>(random()));
        }
        cases.push_back({container_of(blocks), "", {}, 0, "", "", container_of(blocks)});
    }
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write("tape.dmp", c.tape);
        std::vector<std::string> arguments = {tape0, "out.dmp"};
        arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
        const outcome_t outcome = run_on_tape(directory, c.options, arguments);
        const std::string shown = c.options + " " + std::to_string(c.tape.size()) + c.console;
        EXPECT_EQ(outcome.run.exit_status, c.status) << shown;
        EXPECT_EQ(outcome.run.standard_error, console_text(c.console)) << shown;
        EXPECT_EQ(outcome.log, console_text(c.log)) << shown;
        EXPECT_EQ(directory.exists("out.dmp"), c.file.has_value()) << shown;
        EXPECT_TRUE(!c.file || directory.read("out.dmp") == *c.file) << shown;
        if (c.tape.empty()) {  // one rewind, one read that meets the end of the data
            EXPECT_EQ(outcome.trace, rewind_good + "08 00 00 FE 00 00 | in 65024 | status 02 | sense 08/00/05\n");
        }
        if (c.file) {  // and back onto a blank tape, silently; every other time named by its SCSI address
            directory.write("tape.dmp", "");
            const outcome_t restored = run_on_tape(directory, "", {"out.dmp", (&c - cases.data()) % 2 ? scsi0 : tape0});
            EXPECT_EQ(restored.run.exit_status, 0) << shown;
            EXPECT_EQ(restored.run.standard_error + restored.log, "") << shown;
            EXPECT_TRUE(restored.tape == *c.file) << shown;
        }
    }
    // A device string that names no virtual drive opens nothing, not even a real drive; nor does one
    // with an option the drive does not know.
    const scratch_directory_t directory;
    for (const auto& [device, code] : {std::pair<std::string, DWORD>{"nosuch:tape", ERROR_NOT_SUPPORTED},
                                       {"vtape:" + directory.file("t.dmp") + "?colour=red", ERROR_INVALID_PARAMETER}}) {
        const brx_run_t refused = run_brx_on("BRX_TAPE0", device, {tape0, "out.dmp"}, directory.path());
        EXPECT_EQ(refused.exit_status, 1);
        EXPECT_EQ(refused.standard_error, console_text("Failed to open tape device '\\\\.\\Tape0': " + system_text(code) + "\n"));
    }
}

TEST(vtape_copy, restore)
{
    const std::string s = container_of({record_of(80, 1), "", record_of(65536, 2)}), two = container_of({record_of(100, 1), ""});
    const std::string r10 = container_of({record_of(10, 1)}), attention = "01 00 00 00 00 00 | none 0 | status 02 | sense 06/28/00\n";
    // Each 1,000-byte record takes 1,008 bytes of medium.
    const std::string k4 = container_of({record_of(1000, 1), record_of(1000, 2), record_of(1000, 3), record_of(1000, 4)});
    // message: on the console and in the log; trace empty: not compared
    const struct { std::string contents, options; int status; std::string message;
                   std::string tape, trace; } cases[] = {
        {s, "", 0, "", s,
         set_up + "0A 00 00 00 50 00 | out 80 | status 00 | sense -\n10 00 00 00 01 00 | none 0 | status 00 | sense -\n"
                  "0A 00 01 00 00 00 | out 65536 | status 00 | sense -\n"},
        {r10, "attention=3", 0, "", r10, attention + attention + attention + set_up + "0A 00 00 00 0A 00 | out 10 | status 00 | sense -\n"},
        {s, "minblock=4", 1, "\\\\.\\Tape0: block length error\n", "", ""},
        {s, "notready", 1, "\\\\.\\Tape0: device not ready\n", "", ""},
        // The second record ends inside the early-warning zone: written, then the copy stops.
        {k4, "capacity=3500&ew=1600", 0, "BRX:1191: \\\\.\\Tape0: can't complete record write operation; tape full\n",
         k4.substr(0, 2016), ""},
        // The fourth record does not fit: VOLUME OVERFLOW, a sense key the loop calls fatal.
        {k4, "capacity=3500", 0, "BRX:1184: \\\\.\\Tape0: fatal SCSI error (F0...4D...00 02)\n", k4.substr(0, 3024), ""},
        {two + std::string(5, '\x7F'), "", 0, "", two, ""},  // inside a header: as if the file ended cleanly
        {two + container_of({record_of(500, 3)}).substr(0, 300), "", 0, "BRX:1104: in.dmp: unexpected end-of-file\n", two, ""},
        {two + container_of({record_of(65537, 2)}), "", 1, "BRX:1110: in.dmp: record length 65537 exceeds the transfer buffer\n", two, ""},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write("in.dmp", c.contents);
        const outcome_t outcome = run_on_tape(directory, c.options, {"in.dmp", tape0});
        const std::string shown = c.options + " " + std::to_string(c.contents.size());
        EXPECT_EQ(outcome.run.exit_status, c.status) << shown;
        EXPECT_EQ(outcome.run.standard_error, console_text(c.message)) << shown;
        EXPECT_EQ(outcome.log, console_text(c.message)) << shown;
        EXPECT_TRUE(outcome.tape == c.tape) << shown;
        EXPECT_TRUE(c.trace.empty() || outcome.trace == c.trace) << shown << "\n" << outcome.trace.substr(0, 1000);
    }
}
