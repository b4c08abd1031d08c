// brx under faults, end to end through the executable: killed mid-way, a dump file that cannot grow,
// media in use by another run, and a medium beyond 4 GiB.
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "tests/fault/fault_support_posix.h"
#include "tests/support/e2e.h"
#include "vtape/vtape.h"

namespace {

const char tape0[] = "\\\\.\\tape0", tape1[] = "\\\\.\\tape1";

// kill -9 mid-way, or a dump file that cannot grow (status 1), leaves the source's first bytes:
// whole blocks, then at most one cut block; with a ring between drive and file too.
TEST(fault, a_run_killed_or_out_of_room_leaves_a_prefix_of_whole_blocks)
{
    const struct { bool dump; uint64_t limit; int status; std::string error; } cases[] = {
        {true, 6ull << 30, -1, ""}, {false, 6ull << 30, -1, ""}, {true, 1 << 20, 1, "out.dmp: File too large\n"}};
    for (const std::string ring : {"", "/buffer=4"})
    for (const auto& c : cases) {
        SCOPED_TRACE((c.dump ? "dump " : "restore ") + ring + c.error);
        scratch_directory_t dir;
        const std::string source = dir.file("source.dmp"), copy = c.dump ? "out.dmp" : "medium.dmp";
        write_sparse_medium(source, c.status < 0 ? 3000 : 300);
        const std::vector<std::string> arguments = {c.dump ? tape0 : "source.dmp", c.dump ? "out.dmp" : tape0, ring};
        const pid_t run = start_brx(arguments, dir.path(), {{"BRX_TAPE0", "vtape:" + (c.dump ? source : dir.file(copy))}},
                                    "err", c.limit);
        if (c.status < 0) {
            EXPECT_TRUE(wait_for_size(dir.file(copy), 2 << 20));
            kill(run, SIGKILL);
        }
        EXPECT_EQ(finish(run), c.status);
        EXPECT_EQ(dir.read("err"), c.error);
        const std::string left = dir.read(copy);
        EXPECT_TRUE(c.status < 0 ? left.size() < std::filesystem::file_size(source) : left.size() == 1u << 20) << left.size();
        EXPECT_GT(whole_blocks_of_prefix(left, source), 0);
    }
}

// While one run dumps a medium, no other run may write it or replace it, nor may a dump replace
// its own medium; each refused run fails at once and changes nothing.
TEST(fault, a_medium_in_use_is_neither_written_nor_replaced)
{
    scratch_directory_t dir;
    write_sparse_medium(dir.file("tape.dmp"), 3000);
    write_sparse_medium(dir.file("original.dmp"), 3000);
    const std::string small = container_of({record_of(100, 1), ""});
    dir.write("in.dmp", small);
    const pid_t first = start_brx({tape0, "out.dmp"}, dir.path(), {{"BRX_TAPE0", "vtape:" + dir.file("tape.dmp")}}, "err");
    ASSERT_TRUE(wait_for_size(dir.file("out.dmp"), 1 << 20));
    kill(first, SIGSTOP);
    const std::string in_use = system_text(ERROR_SHARING_VIOLATION) + "\n";
    const struct { std::string medium; std::vector<std::string> arguments; std::string error; } runs[] = {
        {"tape.dmp", {"in.dmp", tape1}, "BRX:729: \\\\.\\Tape1: failed to open tape device\n"},
        {"tape.dmp", {tape1, "second.dmp"}, "Failed to open tape device '\\\\.\\Tape1': " + in_use},
        {"in.dmp", {tape1, "tape.dmp"}, "Failed to open dump file: " + in_use},
        {"in.dmp", {tape1, "in.dmp"}, "Failed to open dump file: " + in_use},
    };
    for (const auto& c : runs) {
        SCOPED_TRACE(c.arguments[0] + " " + c.arguments[1]);
        const pid_t second = start_brx(c.arguments, dir.path(), {{"BRX_TAPE1", "vtape:" + dir.file(c.medium)}}, "err2");
        EXPECT_EQ(finish(second), 1);
        EXPECT_EQ(dir.read("err2"), c.error);
        EXPECT_EQ(dir.read("in.dmp"), small);
        EXPECT_FALSE(dir.exists("second.dmp"));
    }
    kill(first, SIGCONT);
    EXPECT_EQ(finish(first), 0);
    EXPECT_EQ(dir.read("err"), "");
    EXPECT_TRUE(same_files(dir.file("out.dmp"), dir.file("original.dmp")));
    EXPECT_TRUE(same_files(dir.file("tape.dmp"), dir.file("original.dmp")));
}

// One SCSI command to the virtual drive; true when it completed with GOOD status.
bool command(vtape_t& tape, std::vector<uint8_t> cdb, std::vector<uint8_t>* data = nullptr)
{
    uint8_t sense[18];
    const vtape_reply_t reply = tape.execute(cdb.data(), uint32_t(cdb.size()), data ? SCSI_IOCTL_DATA_IN : SCSI_IOCTL_DATA_UNSPECIFIED,
                                             data ? data->data() : nullptr, data ? uint32_t(data->size()) : 0, sense, sizeof sense);
    return reply.error == NO_ERROR && reply.status == 0;
}

// About 70 s and 4.4 GB of disk at a time: the dump file is compared and removed before the restore.
// The restored medium is then walked back across the 4 GiB line by the virtual drive.
TEST(fault, a_medium_over_4_gib_is_dumped_restored_and_walked_back_across_the_line)
{
    scratch_directory_t dir;
    const std::string source = dir.file("big.dmp"), copy = dir.file("copy.dmp");
    const std::vector<uint64_t> offsets = write_sparse_medium(source, 130000);
    ASSERT_GT(std::filesystem::file_size(source), (1ull << 32) + (1ull << 24));
    const pid_t dump = start_brx({tape0, "out.dmp"}, dir.path(), {{"BRX_TAPE0", "vtape:" + source}}, "err");
    EXPECT_EQ(finish(dump), 0);
    EXPECT_TRUE(same_files(dir.file("out.dmp"), source));
    std::filesystem::remove(dir.file("out.dmp"));
    const pid_t restore = start_brx({"big.dmp", tape1}, dir.path(), {{"BRX_TAPE1", "vtape:" + copy}}, "err2");
    EXPECT_EQ(finish(restore), 0);
    EXPECT_EQ(dir.read("err") + dir.read("err2"), "");
    EXPECT_TRUE(same_files(copy, source));

    std::unique_ptr<vtape_t> tape;
    ASSERT_EQ(vtape_t::open(copy.c_str(), tape), NO_ERROR);
    uint32_t line = 0;  // the first block beyond 4 GiB
    while (offsets[line] < (1ull << 32)) ++line;
    const uint32_t start = line + 1;
    ASSERT_TRUE(command(*tape, {0x2B, 0, 0, uint8_t(start >> 24), uint8_t(start >> 16), uint8_t(start >> 8), uint8_t(start), 0, 0, 0}));
    const std::vector<uint8_t> back_one = {0x11, 0, 0xFF, 0xFF, 0xFF, 0};
    for (uint32_t index = line; index + 3 > line; --index) {  // blocks after and before the line
        SCOPED_TRACE(index);
        ASSERT_TRUE(command(*tape, back_one));
        const uint32_t length = uint32_t(offsets[index + 1] - offsets[index] - 8);
        if (length == 0) continue;  // a tape mark: spaced over, nothing to read
        std::vector<uint8_t> data(length);
        EXPECT_TRUE(command(*tape, {0x08, 0, uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length), 0}, &data));
        const std::vector<uint8_t> stamp = {uint8_t(index >> 24), uint8_t(index >> 16), uint8_t(index >> 8), uint8_t(index)};
        EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.begin() + std::min<uint32_t>(length, 4)),
                  std::vector<uint8_t>(stamp.begin(), stamp.begin() + std::min<uint32_t>(length, 4)));
        ASSERT_TRUE(command(*tape, back_one));
    }
}

}  // namespace
