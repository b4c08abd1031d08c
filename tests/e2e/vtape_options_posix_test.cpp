// brx's options for real tapes over the virtual drive: long records, skipping unreadable ones in
// either drive behaviour, and the statuses of incomplete copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>

#include "tests/support/e2e.h"

namespace {

const char tape0[] = "\\\\.\\tape0";

// brx with tape.dmp (and vtape options) as \\.\tape0, in directory.
brx_run_t run_on(const scratch_directory_t& directory, const std::string& options, const std::vector<std::string>& arguments)
{
    const std::string device = "vtape:" + directory.file("tape.dmp") + (options.empty() ? "" : "?" + options);
    return run_brx_on("BRX_TAPE0", device, arguments, directory.path());
}

}  // namespace

TEST(vtape_options, long_records_copied_whole_or_refused_before_the_tape_moves)
{
    const std::string image = container_of({record_of(65025, 1), record_of(262144, 2), "", record_of(1048576, 3)});
    const std::string limit = "\\\\.\\Tape0: /block=1048576 is more than one transfer carries (transport limit ";
    // result: out.dmp for a dump, the tape for a restore; none: no file
    const struct { bool dump; std::string options, block, console; int status;
                   std::optional<std::string> result; } cases[] = {
        {true, "", "/block=1048576", "", 0, image},
        {false, "", "/block=1048576", "", 0, image},
        {true, "maxtransfer=262144", "/block=1048576", limit + "262144 bytes, drive limit 16777215 bytes)\n", 1, {}},
        {true, "maxblock=500000", "/block=1048576", limit + "none, drive limit 500000 bytes)\n", 1, {}},
        {false, "maxtransfer=262144", "/block=1048576", limit + "262144 bytes, drive limit 16777215 bytes)\n", 1, ""},
        {true, "", "/block=262144", "Failed to read tape block: the record is 1048576 bytes long, more than /block=262144\n",
         1, {}},
        {false, "", "/block=262144", "BRX:1110: in.dmp: record length 1048576 exceeds the transfer buffer\n", 1,
         image.substr(0, 65033 + 262152 + 8)},
    };
    for (const auto& c : cases) {
        scratch_directory_t directory;
        directory.write(c.dump ? "tape.dmp" : "in.dmp", image);
        const brx_run_t run = run_on(directory, c.options, c.dump ? std::vector<std::string>{tape0, "out.dmp", c.block}
                                                                  : std::vector<std::string>{"in.dmp", tape0, c.block});
        const std::string shown = c.options + " " + c.block + (c.dump ? " dump" : " restore");
        EXPECT_EQ(run.exit_status, c.status) << shown;
        EXPECT_EQ(run.standard_error, c.console) << shown;
        const std::string result = c.dump ? "out.dmp" : "tape.dmp";
        EXPECT_EQ(directory.exists(result), c.result.has_value()) << shown;
        EXPECT_TRUE(!c.result || directory.read(result) == *c.result) << shown;
    }
}

TEST(vtape_options, skip_leaves_out_exactly_the_bad_records_in_either_drive_behaviour)
{
    // Blocks: 0 r, 1 r, 2 mark, 3 r, 4 r, 5 r, 6 mark, 7 mark, 8 r, 9 r.
    std::vector<std::string> blocks;
    for (const int length : {100, 200, 0, 300, 1, 65024, 0, 0, 50, 70})
        blocks.push_back(length == 0 ? "" : record_of(static_cast<size_t>(length), static_cast<unsigned>(blocks.size())));
    // fails: extra vtape options for blocks that fail only a few times
    const struct { std::set<size_t> bad; std::string fails; } cases[] = {
        {{4}, ""},          // in the middle of a file
        {{3}, ""},          // at the start of a file, after a mark
        {{5, 8}, ""},       // before and after tape marks
        {{0, 1}, ""},       // two in a row at the beginning
        {{9}, ""},          // the last record before the end of data
        {{}, "bad=4:1"},    // reads again on the further attempt: nothing skipped, nothing twice
    };
    for (const auto& c : cases)
        for (const std::string behaviour : {"&trace=t", "&pastbad", "&pastbad&zeroposition", "&zeroposition"}) {
            std::string options = c.fails;
            std::vector<std::string> kept;
            std::string list, console;
            uint64_t offset = 0;
            for (size_t k = 0, file = 0, record = 0; k < blocks.size(); ++k) {
                record = blocks[k].empty() ? 0 : record + 1;
                if (!c.bad.count(k)) {
                    kept.push_back(blocks[k]);
                    offset += 8 + blocks[k].size();
                    file += blocks[k].empty();
                    continue;
                }
                options += (options.empty() ? "bad=" : "&bad=") + std::to_string(k);
                const std::string where = std::to_string(k) + " (file " + std::to_string(file) + ", record " +
                                          std::to_string(record) + "); dump file offset " + std::to_string(offset);
                console += "TAPE BAD BLOCK detected (offset " + std::to_string(offset) + " bytes), trying to recover...\n"
                           "Skipped unreadable block " + where + ", sense 03/11/00\n";
                list += "block " + std::to_string(k) + " file " + std::to_string(file) + " record " + std::to_string(record) +
                        " offset " + std::to_string(offset) + " sense 03/11/00\n";
            }
            if (!c.fails.empty())
                console = "TAPE BAD BLOCK detected (offset 632 bytes), trying to recover...\n";
            else
                console += std::to_string(c.bad.size()) + " unreadable records skipped, listed in out.dmp.bad\n";
            scratch_directory_t directory;
            directory.write("tape.dmp", container_of(blocks));
            const brx_run_t run = run_on(directory, options + behaviour, {tape0, "out.dmp", "/skip", "/reads=1"});
            const std::string shown = options + behaviour;
            EXPECT_EQ(run.exit_status, c.bad.empty() ? 0 : 2) << shown;
            EXPECT_EQ(run.standard_error, console) << shown;
            EXPECT_TRUE(directory.read("out.dmp") == container_of(kept)) << shown;
            const std::string size = std::to_string(offset);
            EXPECT_EQ(directory.read("out.dmp.bad"), "brx skipped records; dump file size " +
                                                         std::string(20 - size.size(), '0') + size + " bytes\n" + list)
                << shown;
        }
}

TEST(vtape_options, strict_turns_every_incomplete_copy_into_status_4)
{
    const std::string k4 = container_of({record_of(1000, 1), record_of(1000, 2), record_of(1000, 3), record_of(1000, 4)});
    std::vector<std::string> bad_run = {record_of(10, 1), record_of(20, 2)};
    std::string bad_blocks = "trace=t";
    for (int k = 2; k < 2002; ++k) {
        bad_run.push_back(record_of(1, static_cast<unsigned>(k)));
        bad_blocks += "&bad=" + std::to_string(k);
    }
    bad_run.push_back(record_of(30, 3));
    const std::vector<std::string> dump = {tape0, "out.dmp"}, restore = {"in.dmp", tape0};
    const std::string drive = "The copy is incomplete: the drive answered ", stopped =
        "The copy is incomplete: the restore stopped before the end of the dump file\n";
    // status: without /strict; reason: with /strict, status 4 and this line (empty: the same run)
    const struct { std::vector<std::string> arguments; std::string contents, options; int status; std::string reason; }
        cases[] = {
        {dump, k4, "notready", 0, drive + "02/3A/00 before the end of its data\n"},
        {dump, k4, "attention=4000000000", 0, drive + "06/28/00 before the end of its data\n"},
        {dump, k4, "", 0, ""},
        {{tape0, "out.dmp", "/skip"}, container_of(bad_run), bad_blocks, 2,
         "The copy is incomplete: unreadable records ended the dump\n"},
        {restore, k4, "capacity=3500", 0, stopped},
        {restore, k4.substr(0, 2500), "", 0, stopped},
        {restore, k4.substr(0, 2020), "", 0, stopped},
        {restore, k4, "", 0, ""},
    };
    for (const auto& c : cases) {
        brx_run_t runs[2];
        for (int strict = 0; strict < 2; ++strict) {
            scratch_directory_t directory;
            directory.write(c.arguments[0] == tape0 ? "tape.dmp" : "in.dmp", c.contents);
            std::vector<std::string> arguments = c.arguments;
            if (strict)
                arguments.push_back("/strict");
            runs[strict] = run_on(directory, c.options, arguments);
            if (c.status == 2) {  // gave up after 1,000: the first two records and the list of 1,000 kept
                EXPECT_TRUE(directory.read("out.dmp") == container_of({bad_run[0], bad_run[1]}));
                const std::string list = directory.read("out.dmp.bad");
                EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 1001);
                EXPECT_EQ(list.substr(list.rfind("block 1001 ")), "block 1001 file 0 record 1002 offset 46 sense 03/11/00\n");
            }
        }
        const std::string shown = c.options.substr(0, 40) + " " + std::to_string(c.contents.size());
        EXPECT_EQ(runs[0].exit_status, c.status) << shown;
        EXPECT_EQ(runs[1].exit_status, c.reason.empty() ? c.status : 4) << shown;
        EXPECT_EQ(runs[1].standard_error, runs[0].standard_error + c.reason) << shown;
    }
}
