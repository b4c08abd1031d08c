// The container-file driver over real files: the bytes it writes, movements both ways over
// every layout, and the handle and file pointer after every outcome.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "tests/tapeio/container_file_fixture.h"

namespace brx_test {
namespace {

using file_driver_test = container_file_test;
using op = op_t;

TEST_F(file_driver_test, WritesTheExampleFileByteForByte)
{
    create({});
    open();
    tape.set_prev_offset(&handle, 7);  // any of 1 to 7 means no previous block; the first header says 1
    std::vector<uint8_t> first = pattern(0, 80), second = pattern(1, 2048);
    std::copy(first.begin(), first.end(), data());
    ASSERT_EQ(tape.write_record(&handle, buffer.data(), 80), 80);
    expect_at(88, 0, 1, "after 80 bytes");
    std::copy(second.begin(), second.end(), data());
    ASSERT_EQ(tape.write_record(&handle, buffer.data(), 2048), 2048);
    ASSERT_EQ(tape.write_tape_mark(&handle, buffer.data(), 65536), 0);
    expect_at(2152, 2144, 3, "after the tape mark");
    EXPECT_EQ(contents(), concat({{0, 0, 0, 0x50, 0, 0, 0, 1}, first, {0, 0, 0x08, 0, 0, 0, 0, 0}, second,
                                  {0, 0, 0, 0, 0, 0, 0, 0x58}}));
}

struct layout_case_t {
    const char* name;
    std::vector<uint32_t> lengths;
    std::vector<step_t> steps;
    uint64_t end = UINT64_MAX;  // the file's size afterwards, where the script changes it
};

// Every script starts right after setup, at the start of the file; 0 is a tape mark.
const std::vector<layout_case_t> layout_cases = {
    {"records and a tape mark, forwards then backwards", {80, 2048, 0, 5},
     {{op::read_forward, 80, 88, 0, 1}, {op::read_forward, 2048, 2144, 88, 2}, {op::read_forward, 0, 2152, 2144, 3},
      {op::read_forward, 5, 2165, 2152, 4}, {op::read_forward, -2, 2165, 2152, 4},
      {op::read_reverse, 5, 2152, 2144, 3}, {op::read_reverse, 0, 2144, 88, 2}, {op::read_reverse, 2048, 88, 0, 1},
      {op::read_reverse, 80, 0, 1, 0}, {op::read_reverse, -1, 0, 1, 0}, {op::read_forward, 80, 88, 0, 1}}},
    {"tape mark first", {0, 10},
     {{op::space_file_forward, 0, 8, 0, 1}, {op::space_file_forward, -2, 26, 8, 2},
      {op::space_file_reverse, 0, 0, 1, 0}, {op::space_file_reverse, -1, 0, 1, 0},
      {op::step_record_forward, 0, 8, 0, 1}, {op::step_record_forward, 10, 26, 8, 2},
      {op::step_record_reverse, 10, 8, 0, 1}, {op::step_record_reverse, 0, 0, 1, 0},
      {op::step_record_reverse, -1, 0, 1, 0}}},
    {"tape mark last", {10, 0},
     {{op::space_file_forward, 0, 26, 18, 2}, {op::space_file_forward, -2, 26, 18, 2},
      {op::space_file_reverse, 0, 18, 0, 1}, {op::space_file_reverse, -1, 0, 1, 0},
      {op::step_record_forward, 10, 18, 0, 1}, {op::step_record_forward, 0, 26, 18, 2}}},
    {"tape marks doubled", {10, 0, 0, 20},
     {{op::space_file_forward, 0, 26, 18, 2}, {op::space_file_forward, 0, 34, 26, 3},
      {op::space_file_forward, -2, 62, 34, 4}, {op::space_file_reverse, 0, 26, 18, 2},
      {op::space_file_reverse, 0, 18, 0, 1}, {op::space_file_reverse, -1, 0, 1, 0},
      {op::read_forward, 10, 18, 0, 1}, {op::read_forward, 0, 26, 18, 2}, {op::read_forward, 0, 34, 26, 3}}},
    {"space_file_reverse after records, a mark and two records", {7, 0, 9, 11},
     {{op::space_file_forward, 0, 23, 15, 2}, {op::read_forward, 9, 40, 23, 3}, {op::read_forward, 11, 59, 40, 4},
      {op::space_file_reverse, 0, 15, 0, 1}, {op::read_forward, 0, 23, 15, 2}, {op::rewind, 1, 0, 1, 0}}},
    {"an empty file", {},
     {{op::read_forward, -2, 0, 1, 0}, {op::space_file_forward, -2, 0, 1, 0}, {op::space_record_forward, -2, 0, 1, 0},
      {op::step_record_forward, -2, 0, 1, 0}, {op::read_reverse, -1, 0, 1, 0}, {op::space_file_reverse, -1, 0, 1, 0},
      {op::space_record_reverse, -1, 0, 1, 0}, {op::step_record_reverse, -1, 0, 1, 0}}},
    {"writing in the middle cuts the file after the new block", {10, 20, 30},
     {{op::space_file_forward, -2, 84, 46, 3}, {op::space_record_reverse, 0, 46, 18, 2},
      {op::write_tape_mark, 0, 54, 46, 3}, {op::read_forward, -2, 54, 46, 3}, {op::step_record_reverse, 0, 46, 18, 2},
      {op::step_record_reverse, 20, 18, 0, 1}, {op::write_record, 5, 31, 18, 2}, {op::read_forward, -2, 31, 18, 2},
      {op::step_record_reverse, 5, 18, 0, 1}}, 31},
    {"flush keeps the file, erase ends it at the position", {10, 20, 30},
     {{op::space_record_forward, 0, 18, 0, 1}, {op::flush, 0, 18, 0, 1}, {op::read_forward, 20, 46, 18, 2},
      {op::read_reverse, 20, 18, 0, 1}, {op::erase, 0, 18, 0, 1}, {op::read_forward, -2, 18, 0, 1},
      {op::read_reverse, 10, 0, 1, 0}, {op::erase, 0, 0, 1, 0}, {op::read_forward, -2, 0, 1, 0}}, 0},
    {"unload stays, setup and rewind go to the start", {10, 20},
     {{op::read_forward, 10, 18, 0, 1}, {op::unload, 0, 18, 0, 1}, {op::setup, 1, 0, 1, 0},
      {op::space_record_forward, 0, 18, 0, 1}, {op::rewind, 1, 0, 1, 0}}},
};

TEST_F(file_driver_test, MovesOverLayoutsInBothDirections)
{
    for (const layout_case_t& c : layout_cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint64_t> offsets = create(c.lengths);
        open();
        run_script(c.steps, &offsets);
        EXPECT_EQ(contents().size(), c.end == UINT64_MAX ? offsets.back() : c.end);
        close();
    }
}

TEST_F(file_driver_test, RecordLongerThanTheBufferGivesHeadForwardsAndTailBackwards)
{
    const struct { uint32_t size, delivered; } cases[] = {{65536, 65528}, {8, 0}, {9, 1}, {70100, 70000}};
    create({70000, 3});
    open();
    std::vector<uint8_t> record = pattern(0, 70000), header = header_bytes(70000, 1);
    for (const auto& c : cases) {
        SCOPED_TRACE("buffer of " + std::to_string(c.size));
        std::vector<uint8_t> small(c.size, 0xEE);  // exactly this big, so an overrun shows; the header leads
        ASSERT_EQ(tape.read_forward(&handle, small.data(), c.size), 70000);
        expect_at(70008, 0, 1, "forwards");
        std::vector<uint8_t> head(record.begin(), record.begin() + c.delivered);
        EXPECT_EQ(small, concat({header, head, std::vector<uint8_t>(c.size - 8 - c.delivered, 0xEE)}));
        std::fill(small.begin(), small.end(), uint8_t{0xEE});
        ASSERT_EQ(tape.read_reverse(&handle, small.data(), c.size), 70000);
        expect_at(0, 1, 0, "backwards");
        std::vector<uint8_t> tail(record.end() - c.delivered, record.end());
        EXPECT_EQ(small, concat({header, tail, std::vector<uint8_t>(c.size - 8 - c.delivered, 0xEE)}));
    }
    // A buffer that cannot even hold a header is refused before anything moves.
    EXPECT_EQ(tape.read_forward(&handle, buffer.data(), 7), -1);
    EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_INSUFFICIENT_BUFFER));
    expect_at(0, 1, 0, "refused buffer");
}

TEST_F(file_driver_test, CountsAboveOneStillPassOneBlock)
{
    create({10, 20, 30});
    open();
    EXPECT_EQ(run(op::space_record_forward, 5), 0);
    EXPECT_EQ(run(op::step_record_forward, 5), 20);
    expect_at(46, 18, 2, "forwards");
    EXPECT_EQ(run(op::space_record_reverse, 5), 0);
    EXPECT_EQ(run(op::step_record_reverse, 5), 10);
    expect_at(0, 1, 0, "backwards");
}

TEST_F(file_driver_test, TruncatedOrUnreportableBlockIsNeverPassedAndAWriteReplacesIt)
{
    const uint32_t bad = ERROR_INVALID_DATA;
    const struct { const char* name; std::vector<uint8_t> tail; int32_t read; uint32_t read_error, space_error; } cases[] = {
        {"1 byte of a header", {0xAB}, -2, 0, 0},
        {"7 bytes of a header", std::vector<uint8_t>(7, 0xAB), -2, 0, 0},
        {"record cut short", concat({header_bytes(100, 0), pattern(1, 50)}), -1, 0, bad},
        {"length above the largest result", header_bytes(0x80000000u, 0), -1, bad, bad},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        create({10});
        append(c.tail);
        open();
        run_script({{op::read_forward, 10, 18, 0, 1}, {op::read_forward, c.read, 18, 0, 1, c.read_error},
                    {op::space_record_forward, -2, 18, 0, 1, c.space_error},
                    {op::step_record_forward, -2, 18, 0, 1, c.space_error},
                    {op::space_file_forward, -2, 18, 0, 1, c.space_error}});
        EXPECT_EQ(tape.write_record(&handle, buffer.data(), 0x80000000u), -1);
        EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
        run_script({{op::write_tape_mark, 0, 26, 18, 2}});
        EXPECT_EQ(contents(), concat({header_bytes(10, 1), pattern(0, 10), header_bytes(0, 0)}));
        close();
    }
}

TEST(file_driver_offsets, BackPointersWidenToTheWindowOfTheirHeaderAndOneToSevenMeanNone)
{
    const uint64_t gib4 = 1ull << 32;
    const struct { uint64_t header; uint32_t back_pointer; uint64_t previous; } cases[] = {
        {0, 1, 1},                                                  // the first block: no previous one
        {2144, 88, 88},
        {gib4 - 8, 0xFFFFFFE0u, gib4 - 32},                         // below 4 GiB nothing widens
        {gib4 + 16, 0xFFFFFFF0u, gib4 - 16},                        // from the window before
        {gib4 + 16, 8, gib4 + 8},                                   // in the same window
        {gib4, 0xFFFFFFF8u, gib4 - 8},                              // a header right on the boundary
        {3 * gib4 + 5, 5, 2 * gib4 + 5},                            // equal low halves: a whole window back
        {gib4 + 7, 0xFFFFFFFFu, 0xFFFFFFFFu},
    };
    tape_io_handle_t handle;
    for (const auto& c : cases) {
        brx_file_tape_io.set_prev_from_back_pointer(&handle, c.header, c.back_pointer);
        EXPECT_EQ(handle.prev_offset, c.previous) << "header " << c.header << ", back-pointer " << c.back_pointer;
    }
    const struct { uint64_t stored; int32_t result; } offsets[] = {{0, 0}, {1, -1}, {7, -1}, {8, 0}, {gib4 + 3, 0}};
    for (const auto& c : offsets) {
        uint64_t offset = 99;
        brx_file_tape_io.set_prev_offset(&handle, c.stored);
        EXPECT_EQ(brx_file_tape_io.get_prev_offset(&handle, &offset), c.result) << c.stored;
        EXPECT_EQ(offset, c.stored);
    }
}

}  // namespace
}  // namespace brx_test
