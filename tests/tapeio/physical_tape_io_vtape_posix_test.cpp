// The tape-API driver over the virtual drive: reads, the spacing table, writes up to a full
// medium, erase and unload, each checked for result, block_count, position and where the tape is.
#include <cstring>

#include "tapeio/tape_io_objects.h"
#include "tests/tapeio/physical_tape_io_fixture_posix.h"

namespace {

using physical_test::record_data;
using physical_test::scratch_directory_t;
using physical_test::tape_drive_t;
using physical_test::write_medium;

constexpr uint32_t size = 65536;
constexpr int32_t counted_elsewhere = 1000;  // planted in block_count where the tape must say
constexpr uint64_t untouched = 7;            // planted in position where nothing may change it
// Blocks 0 and 1 records, 2 a mark, 3 a record, 4 a mark, then the end of data.
const std::vector<uint32_t> two_files = {100, 200, 0, 300, 0};

class physical_vtape_test : public ::testing::Test {
protected:
    void open(const std::vector<uint32_t>& blocks, const std::string& options = "")
    {
        write_medium(directory.file("tape.brx"), blocks);
        drive = std::make_unique<tape_drive_t>("vtape:" + directory.file("tape.brx") + options, 80);
    }
    tape_io_handle_t* handle() { return &drive->handle; }
    uint8_t* buffer() { return drive->buffer.data(); }
    // Rewinds, then reads `blocks` records and marks.
    void go_to(uint32_t blocks)
    {
        ASSERT_EQ(physical_tape_io.rewind(handle(), buffer(), size), 1);
        for (uint32_t i = 0; i < blocks; ++i)
            ASSERT_GE(physical_tape_io.read_forward(handle(), buffer(), size), 0);
    }

    scratch_directory_t directory;
    std::unique_ptr<tape_drive_t> drive;
};

TEST_F(physical_vtape_test, reads_give_records_at_offset_0_marks_as_0_and_the_end_of_data_as_minus_2)
{
    open(two_files);
    ASSERT_EQ(physical_tape_io.rewind(handle(), buffer(), size), 1);
    for (size_t block = 0; block < two_files.size(); ++block) {
        SCOPED_TRACE(block);
        ASSERT_EQ(physical_tape_io.read_forward(handle(), buffer(), size), static_cast<int32_t>(two_files[block]));
        EXPECT_EQ(std::vector<uint8_t>(buffer(), buffer() + two_files[block]), record_data(block, two_files[block]));
        EXPECT_EQ(handle()->block_count, static_cast<int32_t>(block + 1));
    }
    handle()->block_count = counted_elsewhere;
    EXPECT_EQ(physical_tape_io.read_forward(handle(), buffer(), size), -2);  // tape stays at the end of data
    EXPECT_EQ(handle()->block_count, 5);
    EXPECT_EQ(handle()->last_error, 0u);
    EXPECT_EQ(physical_tape_io.read_forward(handle(), buffer(), size), -2);
    uint32_t count = 0;
    EXPECT_EQ(physical_tape_io.get_block_count(handle(), &count), 0);
    EXPECT_EQ(count, 5u);
}

TEST_F(physical_vtape_test, a_record_longer_than_the_buffer_fails_and_leaves_the_tape_behind_it)
{
    open(two_files);
    go_to(1);
    EXPECT_EQ(physical_tape_io.read_forward(handle(), buffer(), 150), -3);
    EXPECT_EQ(handle()->last_error, ERROR_MORE_DATA);
    EXPECT_EQ(std::vector<uint8_t>(buffer(), buffer() + 150), record_data(1, 150));  // the record's head
    EXPECT_EQ(handle()->block_count, 1);
    EXPECT_EQ(physical_tape_io.read_forward(handle(), buffer(), size), 0);  // the mark behind it
}

enum class op_t { space_file_forward, space_file_reverse, space_record_forward, space_record_reverse,
                  step_record_forward, step_record_reverse };

int32_t run(op_t op, tape_io_handle_t* handle, uint8_t* buffer, uint32_t count)
{
    switch (op) {
    case op_t::space_file_forward: return physical_tape_io.space_file_forward(handle, buffer, size);
    case op_t::space_file_reverse: return physical_tape_io.space_file_reverse(handle, buffer, size);
    case op_t::space_record_forward: return physical_tape_io.space_record_forward(handle, buffer, size, count);
    case op_t::space_record_reverse: return physical_tape_io.space_record_reverse(handle, buffer, size, count);
    case op_t::step_record_forward: return physical_tape_io.step_record_forward(handle, buffer, size, count);
    case op_t::step_record_reverse: return physical_tape_io.step_record_reverse(handle, buffer, size, count);
    }
    return 99;
}

struct move_case_t {
    const char* what;
    uint32_t start;  // blocks read from the beginning first
    op_t op;
    uint32_t count;
    int32_t result;
    int32_t block_count;
    uint64_t position;
    int32_t next_read;  // what a read right after gives: where the tape was left
};

TEST_F(physical_vtape_test, spacing_results_and_block_counts_come_from_the_tape)
{
    open(two_files);
    const move_case_t cases[] = {
        {"file forward", 0, op_t::space_file_forward, 0, 0, 3, untouched, 300},
        {"last file forward", 3, op_t::space_file_forward, 0, 0, 5, untouched, -2},
        {"file forward at the end of data", 5, op_t::space_file_forward, 0, -2, 5, untouched, -2},
        {"file back over a mark", 4, op_t::space_file_reverse, 0, 0, 2, untouched, 0},
        {"file back to the beginning", 1, op_t::space_file_reverse, 0, -1, 0, 0, 100},
        {"one record forward", 0, op_t::space_record_forward, 1, 0, 1, untouched, 200},
        {"records forward into a mark", 0, op_t::space_record_forward, 5, 0, 3, untouched, 300},
        {"record forward at the end of data", 5, op_t::space_record_forward, 1, -2, 5, untouched, -2},
        {"step over records", 0, op_t::step_record_forward, 2, 1, 2, untouched, 0},
        {"step into a mark", 0, op_t::step_record_forward, 5, 0, 3, untouched, 300},
        {"step at the end of data", 5, op_t::step_record_forward, 1, -2, 5, untouched, -2},
        {"record back: one whatever the count", 2, op_t::space_record_reverse, 9, 0, 1, untouched, 200},
        {"record back over a mark", 3, op_t::space_record_reverse, 1, 0, 2, untouched, 0},
        {"record back at the beginning", 0, op_t::space_record_reverse, 1, -1, 0, 0, 100},
        {"step back: one whatever the count", 2, op_t::step_record_reverse, 9, 1, 1, untouched, 200},
        {"step back over a mark", 3, op_t::step_record_reverse, 1, 0, 2, untouched, 0},
        {"step back at the beginning", 0, op_t::step_record_reverse, 1, -1, 0, 0, 100},
    };
    for (const move_case_t& c : cases) {
        SCOPED_TRACE(c.what);
        go_to(c.start);
        handle()->block_count = counted_elsewhere;
        handle()->position = untouched;
        EXPECT_EQ(run(c.op, handle(), buffer(), c.count), c.result);
        EXPECT_EQ(handle()->block_count, c.block_count);
        EXPECT_EQ(handle()->position, c.position);
        EXPECT_EQ(handle()->last_error, 0u);
        EXPECT_EQ(physical_tape_io.read_forward(handle(), buffer(), size), c.next_read);
    }
}

TEST_F(physical_vtape_test, a_drive_without_medium_fails_every_movement_plainly)
{
    open(two_files, "?notready");
    for (op_t op : {op_t::space_file_forward, op_t::space_file_reverse, op_t::space_record_forward,
                    op_t::space_record_reverse, op_t::step_record_forward, op_t::step_record_reverse}) {
        SCOPED_TRACE(static_cast<int>(op));
        handle()->block_count = counted_elsewhere;
        handle()->position = untouched;
        SetLastError(0);
        EXPECT_EQ(run(op, handle(), buffer(), 1), -3);
        EXPECT_EQ(handle()->last_error, ERROR_NO_MEDIA_IN_DRIVE);
        EXPECT_EQ(GetLastError(), ERROR_NO_MEDIA_IN_DRIVE);
        EXPECT_EQ(handle()->block_count, counted_elsewhere);
        EXPECT_EQ(handle()->position, untouched);
    }
    EXPECT_EQ(physical_tape_io.rewind(handle(), buffer(), size), -1);
    EXPECT_EQ(physical_tape_io.read_forward(handle(), buffer(), size), -3);
    EXPECT_EQ(handle()->last_error, ERROR_NO_MEDIA_IN_DRIVE);
    EXPECT_EQ(physical_tape_io.write_tape_mark(handle(), buffer(), size), -2);
    EXPECT_EQ(physical_tape_io.erase(handle(), buffer(), size), -1);
    EXPECT_EQ(handle()->block_count, counted_elsewhere);
}

struct write_step_t {
    uint32_t length;  // 0: a tape mark
    int32_t result;
    int32_t block_count;
    uint64_t position;
};

// Medium of 1000 bytes with the early warning 400 bytes before its end; each block takes 8 bytes
// more than its data.
TEST_F(physical_vtape_test, writes_report_the_early_warning_and_a_full_medium_as_minus_1)
{
    open({}, "?capacity=1000&ew=400");
    ASSERT_EQ(physical_tape_io.rewind(handle(), buffer(), size), 1);
    const write_step_t steps[] = {
        {100, 100, 1, 0},  // ends at 108
        {0, 0, 2, 0},      // 116
        {400, 400, 3, 0},  // 524
        {100, -1, 4, 1},   // 632: in the warning zone, written
        {0, -1, 5, 1},     // 640: the mark too
        {400, -1, 5, 1},   // 1048 would pass the end: not written
        {300, -1, 6, 1},   // 948: written in the zone
    };
    std::vector<std::pair<size_t, uint32_t>> on_tape;  // step and length of what the tape holds
    for (size_t i = 0; i < std::size(steps); ++i) {
        const write_step_t& s = steps[i];
        SCOPED_TRACE(i);
        if (s.result == -1)
            handle()->block_count = counted_elsewhere;
        int32_t result = 0;
        if (s.length == 0) {
            result = physical_tape_io.write_tape_mark(handle(), buffer(), size);
        } else {
            std::vector<uint8_t> data = record_data(i, s.length);
            std::memcpy(buffer(), data.data(), s.length);
            result = physical_tape_io.write_record(handle(), buffer(), s.length);
        }
        EXPECT_EQ(result, s.result);
        EXPECT_EQ(handle()->block_count, s.block_count);
        EXPECT_EQ(handle()->position, s.position);
        EXPECT_EQ(handle()->last_error, 0u);
        if (i != 5)
            on_tape.emplace_back(i, s.length);
    }
    ASSERT_EQ(physical_tape_io.rewind(handle(), buffer(), size), 1);
    EXPECT_EQ(handle()->position, 0u);
    for (const auto& [step, length] : on_tape) {
        SCOPED_TRACE(step);
        ASSERT_EQ(physical_tape_io.read_forward(handle(), buffer(), size), static_cast<int32_t>(length));
        EXPECT_EQ(std::vector<uint8_t>(buffer(), buffer() + length), record_data(step, length));
    }
    EXPECT_EQ(physical_tape_io.read_forward(handle(), buffer(), size), -2);
}

TEST_F(physical_vtape_test, a_protected_medium_refuses_writes_with_the_drives_code)
{
    open(two_files, "?protect");
    handle()->block_count = counted_elsewhere;
    EXPECT_EQ(physical_tape_io.write_record(handle(), buffer(), 10), -2);
    EXPECT_EQ(handle()->last_error, ERROR_WRITE_PROTECT);
    SetLastError(0);
    EXPECT_EQ(physical_tape_io.write_tape_mark(handle(), buffer(), size), -2);
    EXPECT_EQ(handle()->last_error, ERROR_WRITE_PROTECT);
    EXPECT_EQ(GetLastError(), ERROR_WRITE_PROTECT);
    EXPECT_EQ(physical_tape_io.erase(handle(), buffer(), size), -1);
    EXPECT_EQ(handle()->block_count, counted_elsewhere);
}

TEST_F(physical_vtape_test, erase_ends_the_data_here_and_unload_empties_the_drive)
{
    open(two_files);
    go_to(2);
    handle()->block_count = counted_elsewhere;
    EXPECT_EQ(physical_tape_io.erase(handle(), buffer(), size), 0);
    EXPECT_EQ(handle()->block_count, 2);
    EXPECT_EQ(physical_tape_io.read_forward(handle(), buffer(), size), -2);
    EXPECT_EQ(physical_tape_io.flush(handle(), buffer(), size), 0);
    EXPECT_EQ(physical_tape_io.read_reverse(handle(), buffer(), size), -3);
    EXPECT_EQ(handle()->last_error, 0u);
    EXPECT_EQ(physical_tape_io.unload(handle(), buffer(), size), 0);
    EXPECT_EQ(handle()->block_count, 0);
    EXPECT_EQ(physical_tape_io.read_forward(handle(), buffer(), size), -3);
    EXPECT_EQ(handle()->last_error, ERROR_NO_MEDIA_IN_DRIVE);
}

}  // namespace
