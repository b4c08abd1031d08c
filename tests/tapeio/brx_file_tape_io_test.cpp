// The container-file driver over real files: layouts, movements both ways, writes, and the
// handle and file pointer after every outcome.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tapeio/tape_io_objects.h"
#include "tests/tapeio/container_file_fixture.h"

namespace brx_test {
namespace {

using file_driver_test = container_file_test;
using op = op_t;

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST_F(file_driver_test, WritesTheExampleFileByteForByte)
{
    create_bytes({});
    open();
    std::vector<uint8_t> first = pattern(0, 80);
    std::vector<uint8_t> second = pattern(1, 2048);
    std::copy(first.begin(), first.end(), data());
    ASSERT_EQ(tape.write_record(&handle, buffer.data(), 80), 80);
    expect_at(88, 0, 1, "after 80 bytes");
    std::copy(second.begin(), second.end(), data());
    ASSERT_EQ(tape.write_record(&handle, buffer.data(), 2048), 2048);
    expect_at(2144, 88, 2, "after 2048 bytes");
    ASSERT_EQ(tape.write_tape_mark(&handle, buffer.data(), 65536), 0);
    expect_at(2152, 2144, 3, "after the tape mark");

    std::vector<uint8_t> file = contents();
    ASSERT_EQ(file.size(), 2152u);
    const std::vector<uint8_t> h0 = {0x00, 0x00, 0x00, 0x50, 0x00, 0x00, 0x00, 0x01};
    const std::vector<uint8_t> h1 = {0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00};
    const std::vector<uint8_t> h2 = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x58};
    EXPECT_EQ(file, concat({h0, first, h1, second, h2}));
}

TEST_F(file_driver_test, TapeMarkOnAnEmptyFileAndBackPointerEight)
{
    // Any stored previous offset of 1 to 7 means none, and the first block says so with 1.
    for (uint64_t none : {7, 5, 1}) {
        create_bytes({});
        open();
        tape.set_prev_offset(&handle, none);
        ASSERT_EQ(tape.write_tape_mark(&handle, buffer.data(), 65536), 0);
        expect_at(8, 0, 1, "after the tape mark");
        EXPECT_EQ(contents(), (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 1})) << "previous offset " << none;
        if (none != 1)
            close();
    }

    std::vector<uint8_t> record = pattern(1, 30);
    std::copy(record.begin(), record.end(), data());
    ASSERT_EQ(tape.write_record(&handle, buffer.data(), 30), 30);
    std::copy(record.begin(), record.begin() + 5, data());
    ASSERT_EQ(tape.write_record(&handle, buffer.data(), 5), 5);
    std::vector<uint8_t> file = contents();
    ASSERT_EQ(file.size(), 59u);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 8, file.begin() + 16), header_bytes(30, 0));
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 46, file.begin() + 54),
              (std::vector<uint8_t>{0, 0, 0, 5, 0, 0, 0, 8}));
    run_script({
        {op::space_record_reverse, 0, 46, 8, 2},
        {op::space_record_reverse, 0, 8, 0, 1},
        {op::space_record_reverse, 0, 0, 1, 0},
        {op::space_record_reverse, -1, 0, 1, 0},
    });
}

struct layout_case_t {
    const char* name;
    std::vector<uint32_t> lengths;
    std::vector<step_t> steps;
};

// Every script starts right after setup, at the start of the file.
const std::vector<layout_case_t> layout_cases = {
    {"records and a tape mark, forwards then backwards",
     {80, 2048, 0, 5},
     {
         {op::read_forward, 80, 88, 0, 1},
         {op::read_forward, 2048, 2144, 88, 2},
         {op::read_forward, 0, 2152, 2144, 3},
         {op::read_forward, 5, 2165, 2152, 4},
         {op::read_forward, -2, 2165, 2152, 4},
         {op::read_forward, -2, 2165, 2152, 4},
         {op::read_reverse, 5, 2152, 2144, 3},
         {op::read_reverse, 0, 2144, 88, 2},
         {op::read_reverse, 2048, 88, 0, 1},
         {op::read_reverse, 80, 0, 1, 0},
         {op::read_reverse, -1, 0, 1, 0},
         {op::read_forward, 80, 88, 0, 1},
     }},
    {"tape mark first",
     {0, 10},
     {
         {op::space_file_forward, 0, 8, 0, 1},
         {op::space_file_forward, -2, 26, 8, 2},
         {op::space_file_reverse, 0, 0, 1, 0},
         {op::space_file_reverse, -1, 0, 1, 0},
         {op::step_record_forward, 0, 8, 0, 1},
         {op::step_record_forward, 10, 26, 8, 2},
         {op::step_record_reverse, 10, 8, 0, 1},
         {op::step_record_reverse, 0, 0, 1, 0},
         {op::step_record_reverse, -1, 0, 1, 0},
     }},
    {"tape mark last",
     {10, 0},
     {
         {op::space_file_forward, 0, 26, 18, 2},
         {op::space_file_forward, -2, 26, 18, 2},
         {op::space_file_reverse, 0, 18, 0, 1},
         {op::space_file_reverse, -1, 0, 1, 0},
         {op::step_record_forward, 10, 18, 0, 1},
         {op::step_record_forward, 0, 26, 18, 2},
         {op::step_record_forward, -2, 26, 18, 2},
     }},
    {"tape marks doubled",
     {10, 0, 0, 20},
     {
         {op::space_file_forward, 0, 26, 18, 2},
         {op::space_file_forward, 0, 34, 26, 3},
         {op::space_file_forward, -2, 62, 34, 4},
         {op::space_file_reverse, 0, 26, 18, 2},
         {op::space_file_reverse, 0, 18, 0, 1},
         {op::space_file_reverse, -1, 0, 1, 0},
         {op::read_forward, 10, 18, 0, 1},
         {op::read_forward, 0, 26, 18, 2},
         {op::read_forward, 0, 34, 26, 3},
         {op::read_forward, 20, 62, 34, 4},
     }},
    {"space_file_forward over a record, a record, a tape mark and a record",
     {7, 9, 0, 11},
     {
         {op::space_file_forward, 0, 40, 32, 3},
         {op::read_forward, 11, 59, 40, 4},
         {op::rewind, 1, 0, 1, 0},
         {op::space_file_forward, 0, 40, 32, 3},
     }},
    {"space_file_reverse after reading a record, a tape mark and two records",
     {7, 0, 9, 11},
     {
         {op::read_forward, 7, 15, 0, 1},
         {op::read_forward, 0, 23, 15, 2},
         {op::read_forward, 9, 40, 23, 3},
         {op::read_forward, 11, 59, 40, 4},
         {op::space_file_reverse, 0, 15, 0, 1},
         {op::read_forward, 0, 23, 15, 2},
     }},
    {"an empty file",
     {},
     {
         {op::read_forward, -2, 0, 1, 0},
         {op::space_file_forward, -2, 0, 1, 0},
         {op::space_record_forward, -2, 0, 1, 0},
         {op::step_record_forward, -2, 0, 1, 0},
         {op::read_reverse, -1, 0, 1, 0},
         {op::space_file_reverse, -1, 0, 1, 0},
         {op::space_record_reverse, -1, 0, 1, 0},
         {op::step_record_reverse, -1, 0, 1, 0},
     }},
    {"writing after moving back",
     {10, 20, 30},
     {
         {op::space_file_forward, -2, 84, 46, 3},
         {op::space_record_reverse, 0, 46, 18, 2},
         {op::write_tape_mark, 0, 54, 46, 3},
         {op::read_forward, -2, 54, 46, 3},
         {op::step_record_reverse, 0, 46, 18, 2},
         {op::step_record_reverse, 20, 18, 0, 1},
     }},
};

TEST_F(file_driver_test, MovesOverLayoutsInBothDirections)
{
    for (const layout_case_t& c : layout_cases) {
        SCOPED_TRACE(c.name);
        layout_t layout = create(c.lengths);
        open();
        run_script(c.steps, &layout);
        close();
    }
}

TEST_F(file_driver_test, RecordLongerThanTheBufferGivesHeadForwardsAndTailBackwards)
{
    struct size_case_t {
        uint32_t size;
        uint32_t delivered;
    };
    const size_case_t cases[] = {{65536, 65528}, {8, 0}, {9, 1}, {70008, 70000}, {70100, 70000}};
    create({70000, 3});
    open();
    for (const size_case_t& c : cases) {
        SCOPED_TRACE("buffer of " + std::to_string(c.size));
        std::vector<uint8_t> small(c.size, 0xEE);  // exactly this big, so an overrun shows
        ASSERT_EQ(tape.read_forward(&handle, small.data(), c.size), 70000);
        expect_at(70008, 0, 1, "forwards");
        std::vector<uint8_t> head = pattern(0, 70000);
        EXPECT_TRUE(std::equal(small.begin() + 8, small.begin() + 8 + c.delivered, head.begin()));
        EXPECT_TRUE(std::all_of(small.begin() + 8 + c.delivered, small.end(), [](uint8_t b) { return b == 0xEE; }));

        std::fill(small.begin(), small.end(), uint8_t{0xEE});
        ASSERT_EQ(tape.read_reverse(&handle, small.data(), c.size), 70000);
        expect_at(0, 1, 0, "backwards");
        EXPECT_TRUE(std::equal(small.begin() + 8, small.begin() + 8 + c.delivered, head.end() - c.delivered));
        EXPECT_TRUE(std::all_of(small.begin() + 8 + c.delivered, small.end(), [](uint8_t b) { return b == 0xEE; }));
    }
    // A buffer that cannot even hold a header is refused before anything moves.
    EXPECT_EQ(tape.read_forward(&handle, buffer.data(), 7), -1);
    EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(tape.read_reverse(&handle, buffer.data(), 0), -1);
    EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_INSUFFICIENT_BUFFER));
    expect_at(0, 1, 0, "refused buffer");
}

TEST_F(file_driver_test, WritingInTheMiddleCutsTheFileAfterTheNewBlock)
{
    create({10, 20, 0});
    open();
    ASSERT_EQ(tape.space_record_forward(&handle, buffer.data(), 65536, 1), 0);
    std::vector<uint8_t> record = pattern(5, 100);
    std::copy(record.begin(), record.end(), data());
    ASSERT_EQ(tape.write_record(&handle, buffer.data(), 100), 100);
    expect_at(126, 18, 2, "after the write");
    EXPECT_EQ(contents(), concat({header_bytes(10, 1), pattern(0, 10), header_bytes(100, 0), record}));
    EXPECT_EQ(tape.read_forward(&handle, buffer.data(), 65536), -2);
    expect_at(126, 18, 2, "at the new end");
}

TEST_F(file_driver_test, CountsAboveOneStillPassOneBlock)
{
    create({10, 20, 30});
    open();
    EXPECT_EQ(tape.space_record_forward(&handle, buffer.data(), 65536, 5), 0);
    expect_at(18, 0, 1, "space_record_forward");
    EXPECT_EQ(tape.step_record_forward(&handle, buffer.data(), 65536, 5), 20);
    expect_at(46, 18, 2, "step_record_forward");
    EXPECT_EQ(tape.space_record_reverse(&handle, buffer.data(), 65536, 5), 0);
    expect_at(18, 0, 1, "space_record_reverse");
    EXPECT_EQ(tape.step_record_reverse(&handle, buffer.data(), 65536, 5), 10);
    expect_at(0, 1, 0, "step_record_reverse");
}

TEST_F(file_driver_test, PartialHeaderAtTheEndIsTheEndOfTheData)
{
    for (size_t partial = 1; partial <= 7; ++partial) {
        SCOPED_TRACE(std::to_string(partial) + " bytes of a header");
        create({10});
        append(std::vector<uint8_t>(partial, 0xAB));
        open();
        run_script({
            {op::read_forward, 10, 18, 0, 1},
            {op::read_forward, -2, 18, 0, 1},
            {op::space_record_forward, -2, 18, 0, 1},
            {op::step_record_forward, -2, 18, 0, 1},
            {op::space_file_forward, -2, 18, 0, 1},
            {op::write_tape_mark, 0, 26, 18, 2},
        });
        EXPECT_EQ(contents(), concat({header_bytes(10, 1), pattern(0, 10), header_bytes(0, 0)}));
        close();
    }
}

TEST_F(file_driver_test, FileEndingInsideARecordIsNeverPassed)
{
    create({10});
    append(header_bytes(100, 0));
    append(pattern(1, 50));
    open();
    ASSERT_EQ(tape.read_forward(&handle, buffer.data(), 65536), 10);
    // Reading says the record is cut short; the spaces see the data end before it.
    struct case_t {
        op_t op;
        uint32_t size;
        int32_t result;
        uint32_t last_error;
    };
    const case_t cases[] = {
        {op::read_forward, 65536, -1, 0},
        {op::read_forward, 20, -1, 0},  // the first 12 bytes are there, the rest is not
        {op::space_record_forward, 65536, -2, ERROR_INVALID_DATA},
        {op::step_record_forward, 65536, -2, ERROR_INVALID_DATA},
        {op::space_file_forward, 65536, -2, ERROR_INVALID_DATA},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(op_name(c.op) + std::string(" with a buffer of ") + std::to_string(c.size));
        buffer.assign(c.size, 0);
        EXPECT_EQ(run(c.op), c.result);
        EXPECT_EQ(handle.last_error, c.last_error);
        expect_at(18, 0, 1, "on the damaged record's header");
    }
    buffer.assign(65536, 0);
    // A write there replaces the damaged record instead of leaving a hole behind it.
    ASSERT_EQ(tape.write_tape_mark(&handle, buffer.data(), 65536), 0);
    EXPECT_EQ(contents(), concat({header_bytes(10, 1), pattern(0, 10), header_bytes(0, 0)}));
}

TEST_F(file_driver_test, LengthThatCannotBeReportedIsRefusedWhereItWouldBe)
{
    create({10});
    append(header_bytes(0x80000000u, 0));
    open();
    ASSERT_EQ(tape.space_record_forward(&handle, buffer.data(), 65536, 1), 0);
    struct case_t {
        op_t op;
        int32_t result;
    };
    const case_t cases[] = {
        {op::read_forward, -1}, {op::step_record_forward, -2}, {op::space_record_forward, -2}};
    for (const case_t& c : cases) {
        SCOPED_TRACE(op_name(c.op));
        EXPECT_EQ(run(c.op), c.result);
        EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_INVALID_DATA));
        expect_at(18, 0, 1, "on the damaged header");
    }
    EXPECT_EQ(tape.write_record(&handle, buffer.data(), 0x80000000u), -1);
    EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
    expect_at(18, 0, 1, "after the refused write");
    EXPECT_EQ(contents().size(), 26u);
}

TEST_F(file_driver_test, RewindSetupUnloadAndTheOffsets)
{
    create({10, 20});
    open();
    uint64_t offset = 99;
    EXPECT_EQ(tape.get_prev_offset(&handle, &offset), -1);
    EXPECT_EQ(offset, 1u);
    ASSERT_EQ(tape.read_forward(&handle, buffer.data(), 65536), 10);
    EXPECT_EQ(tape.get_prev_offset(&handle, &offset), 0);
    EXPECT_EQ(offset, 0u);
    ASSERT_EQ(tape.read_forward(&handle, buffer.data(), 65536), 20);
    EXPECT_EQ(tape.unload(&handle, buffer.data(), 65536), 0);
    expect_at(46, 18, 2, "after unload");
    EXPECT_EQ(tape.data_offset(&handle), 8);
    EXPECT_EQ(tape.rewind(&handle, buffer.data(), 65536), 1);
    expect_at(0, 1, 0, "after rewind");
    ASSERT_EQ(tape.space_record_forward(&handle, buffer.data(), 65536, 1), 0);
    EXPECT_EQ(tape.setup(&handle, buffer.data(), 65536), 1);
    expect_at(0, 1, 0, "after setup");

    // Any stored offset of 1 to 7 means no previous block; 0 and 8 are headers.
    const struct {
        uint64_t stored;
        int32_t result;
    } offsets[] = {{0, 0}, {1, -1}, {4, -1}, {7, -1}, {8, 0}, {0x100000003ull, 0}};
    for (const auto& c : offsets) {
        tape.set_prev_offset(&handle, c.stored);
        EXPECT_EQ(tape.get_prev_offset(&handle, &offset), c.result) << c.stored;
        EXPECT_EQ(offset, c.stored);
    }
}

TEST_F(file_driver_test, BlockCountFollowsTheMovesAndTheLimit)
{
    create({10, 0, 20});
    open();
    uint32_t count = 99;
    EXPECT_EQ(tape.get_block_count(&handle, &count), 0);
    EXPECT_EQ(count, 0u);
    ASSERT_EQ(tape.space_file_forward(&handle, buffer.data(), 65536), 0);
    EXPECT_EQ(tape.get_block_count(&handle, &count), 0);
    EXPECT_EQ(count, 2u);
    handle.limit = 26;  // the position has reached it
    EXPECT_EQ(tape.get_block_count(&handle, &count), -1);
    EXPECT_EQ(count, 2u);
    handle.limit = 27;
    EXPECT_EQ(tape.get_block_count(&handle, &count), 0);
}

TEST_F(file_driver_test, EraseAndFlushEndTheFileAtThePosition)
{
    create({10, 20, 30});
    open();
    ASSERT_EQ(tape.space_record_forward(&handle, buffer.data(), 65536, 1), 0);
    EXPECT_EQ(tape.flush(&handle, buffer.data(), 65536), 0);
    expect_at(18, 0, 1, "after flush");
    EXPECT_EQ(contents().size(), 84u);
    EXPECT_EQ(tape.erase(&handle, buffer.data(), 65536), 0);
    expect_at(18, 0, 1, "after erase");
    EXPECT_EQ(contents(), concat({header_bytes(10, 1), pattern(0, 10)}));
    EXPECT_EQ(tape.read_forward(&handle, buffer.data(), 65536), -2);
    EXPECT_EQ(tape.read_reverse(&handle, buffer.data(), 65536), 10);
    EXPECT_EQ(tape.erase(&handle, buffer.data(), 65536), 0);
    EXPECT_TRUE(contents().empty());
    expect_at(0, 1, 0, "after erasing everything");
}

TEST(file_driver_widening, BackPointersWidenToTheWindowOfTheirHeader)
{
    const uint64_t gib4 = 1ull << 32;
    const struct {
        uint64_t header;
        uint32_t back_pointer;
        uint64_t previous;
    } cases[] = {
        {0, 1, 1},                                // the first block: no previous one
        {88, 0, 0},                               //
        {2144, 88, 88},                           //
        {gib4 - 8, 0xFFFFFFE0u, gib4 - 32},       // below 4 GiB nothing widens
        {gib4 + 16, 0xFFFFFFF0u, gib4 - 16},      // from the window before
        {gib4 + 16, 8, gib4 + 8},                 // in the same window
        {gib4, 0xFFFFFFF8u, gib4 - 8},            // a header right on the boundary
        {3 * gib4 + 5, 5, 2 * gib4 + 5},          // equal low halves: a whole window back
        {3 * gib4 + 0x7FFFFFFF, 0x10, 3 * gib4 + 0x10},
        {gib4 + 7, 0xFFFFFFFFu, 0xFFFFFFFFu},     // previous header at 4 GiB - 1
    };
    tape_io_handle_t handle;
    for (const auto& c : cases) {
        brx_file_tape_io.set_prev_from_back_pointer(&handle, c.header, c.back_pointer);
        EXPECT_EQ(handle.prev_offset, c.previous) << "header " << c.header << ", back-pointer " << c.back_pointer;
    }
}

}  // namespace
}  // namespace brx_test
