// The container-file driver over real and damaged files: the bytes it writes, movements both ways,
// the handle and file pointer after every outcome, and the opening every operation makes.

#include "tests/tapeio/container_file_fixture.h"

namespace brx_test {
namespace {

using file_driver_test = container_file_test;
using op = op_t;

// end: the file's size afterwards, where the script changes it.
struct layout_case_t { const char* name; std::vector<uint32_t> lengths; std::vector<step_t> steps; uint64_t end = UINT64_MAX; };

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
    {"space_file_reverse after records, a mark and two records", {7, 0, 9, 11},
     {{op::space_file_forward, 0, 23, 15, 2}, {op::read_forward, 9, 40, 23, 3}, {op::read_forward, 11, 59, 40, 4},
      {op::space_file_reverse, 0, 15, 0, 1}, {op::read_forward, 0, 23, 15, 2}, {op::rewind, 1, 0, 1, 0}}},
    {"an empty file", {}, {{op::read_forward, -2, 0, 1, 0}, {op::space_file_reverse, -1, 0, 1, 0}}},
    {"writing in the middle cuts the file after the new block", {10, 20, 30},
     {{op::space_file_forward, -2, 84, 46, 3}, {op::space_record_reverse, 0, 46, 18, 2},
      {op::write_tape_mark, 0, 54, 46, 3}, {op::read_forward, -2, 54, 46, 3}, {op::step_record_reverse, 0, 46, 18, 2},
      {op::step_record_reverse, 20, 18, 0, 1}, {op::write_record, 5, 31, 18, 2}, {op::read_forward, -2, 31, 18, 2},
      {op::step_record_reverse, 5, 18, 0, 1}}, 31},
    {"flush keeps the file, erase ends it at the position", {10, 20, 30},
     {{op::space_record_forward, 0, 18, 0, 1}, {op::flush, 0, 18, 0, 1}, {op::read_forward, 20, 46, 18, 2},
      {op::read_reverse, 20, 18, 0, 1}, {op::erase, 0, 18, 0, 1}, {op::read_forward, -2, 18, 0, 1},
      {op::read_reverse, 10, 0, 1, 0}, {op::erase, 0, 0, 1, 0}, {op::read_forward, -2, 0, 1, 0}}, 0},
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

TEST_F(file_driver_test, CutOrOverlongBlockAfterAGoodOne)
{
    // After a block of 10 bytes at 0 (end 18): what one forward operation does with what follows,
    // and what the next forward read then finds.
    const uint32_t bad = ERROR_INVALID_DATA;
    const std::vector<uint8_t> partial_header(7, 0xAB), cut = concat({header_bytes(100, 0), pattern(1, 50)}),
                               cut_rest = concat({header_bytes(70000, 0), pattern(1, 65600)}),
                               overlong = header_bytes(0x80000000u, 0);
    const uint64_t past_overlong = 26 + 0x80000000ull;
    const struct { const char* name; const std::vector<uint8_t>& tail; std::vector<step_t> steps; } cases[] = {
        {"7 bytes of a header", partial_header, {{op::read_forward, -2, 18, 0, 1}, {op::space_record_forward, -2, 18, 0, 1},
                                                 {op::step_record_forward, -2, 18, 0, 1}, {op::space_file_forward, -2, 18, 0, 1}}},
        {"record cut short", cut, {{op::read_forward, -1, 18, 0, 1}, {op::space_record_forward, 0, 126, 18, 2},
                                   {op::step_record_forward, 100, 126, 18, 2}, {op::space_file_forward, -2, 126, 18, 2}}},
        {"longer than the buffer, cut in its rest", cut_rest, {{op::read_forward, 70000, 70026, 18, 2}}},
        {"length above the largest result", overlong, {{op::read_forward, -1, 18, 0, 1, bad}, {op::step_record_forward, -2, 18, 0, 1, bad},
                                                       {op::space_record_forward, 0, past_overlong, 18, 2}}},
    };
    for (const auto& c : cases) for (const step_t& s : c.steps) {
        SCOPED_TRACE(std::string(c.name) + ", op " + std::to_string(int(s.op)));
        create({10});
        patch(18, c.tail);
        open();
        run_script({{op::read_forward, 10, 18, 0, 1}, s});
        if (s.position != 18) {
            // Passed without noticing: the end of the data comes next. Backwards the length is
            // not examined: one step lands on the header passed.
            run_script({{op::read_forward, -2, s.position, 18, 2}, {op::space_record_reverse, 0, 18, 0, 1}});
            close();
            continue;
        }
        EXPECT_EQ(tape.write_record(&handle, buffer.data(), 0x80000000u), -1);
        EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
        run_script({{op::write_tape_mark, 0, 26, 18, 2}});
        EXPECT_EQ(contents(), concat({header_bytes(10, 1), pattern(0, 10), header_bytes(0, 0)}));
        close();
    }
}

TEST_F(file_driver_test, DamagedBackPointerIsRefusedWithoutMovingAndEveryBackwardWalkEnds)
{
    const uint32_t bad = ERROR_INVALID_DATA;
    // Blocks of 10, 20 and 30 bytes at 0, 18 and 46 (end 84), damaged after being passed forwards.
    const struct { const char* name; uint64_t at; uint32_t value; uint64_t position, prev; int32_t blocks; uint32_t error; } cases[] = {
        {"back-pointer forwards", 22, 46, 46, 18, 2, bad},
        {"back-pointer past the end", 22, 0xFFFFFF00u, 46, 18, 2, bad},
        {"back-pointer to itself", 22, 18, 46, 18, 2, bad},
        {"back-pointer overlapping its header", 22, 11, 46, 18, 2, bad},
        {"first block: 5 also means none", 4, 5, 0, 5, 0, 0},
        {"second block: 1 means none", 22, 1, 18, 1, 1, 0},
        {"first block pointing forwards", 4, 18, 18, 0, 1, bad},
        {"first block pointing to itself", 4, 0, 18, 0, 1, bad},
    };
    for (const auto& c : cases) {
        for (op_t backward : {op::space_record_reverse, op::step_record_reverse, op::read_reverse, op::space_file_reverse}) {
            SCOPED_TRACE(std::string(c.name) + ", op " + std::to_string(int(backward)));
            create({10, 20, 30});
            open();
            ASSERT_EQ(run(op::space_file_forward), -2);
            patch(c.at, be32(c.value));
            int32_t result = 0;
            for (int calls = 0; result >= 0 && calls < 10; ++calls)
                result = run(backward);
            EXPECT_EQ(result, -1) << "the walk does not stop";
            EXPECT_EQ(handle.last_error, c.error);
            expect_at(c.position, c.prev, c.blocks, "where the walk stopped");
            close();
        }
    }
}

TEST_F(file_driver_test, FailingFileHandleLeavesTheHandleAsItWas)
{
    const struct { op_t op; int32_t result; } cases[] = {
        {op::read_forward, -3}, {op::space_file_reverse, -3}, {op::write_record, -2}, {op::rewind, -1}, {op::erase, -1}};
    create({10, 20});
    open();
    ASSERT_EQ(run(op::read_forward), 10);
    handle.attach(INVALID_HANDLE_VALUE);
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.op));
        EXPECT_EQ(run(c.op), c.result);
        EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_INVALID_HANDLE));
        EXPECT_EQ((std::tuple(handle.position, handle.prev_offset, handle.block_count)),
                  (std::tuple<uint64_t, uint64_t, int32_t>(18, 0, 1)));
    }
    EXPECT_EQ(contents().size(), 46u);
}

// Records the opening calls, to show that they go through the dispatch table, once and in order.
class recording_driver_t : public brx_file_tape_io_t {
public:
    void clear_error(tape_io_handle_t* handle) override { trace += 'E'; brx_file_tape_io_t::clear_error(handle); }
    void clear_user_flag(tape_io_handle_t* handle) override { trace += 'U'; brx_file_tape_io_t::clear_user_flag(handle); }
    std::string trace;
};
recording_driver_t recording_driver;

class opening_test : public container_file_test {
protected:
    opening_test() : container_file_test(recording_driver) {}
};

TEST_F(opening_test, EveryTapeOperationClearsErrorThenFlagFirst)
{
    create({});
    open();
    // On an empty file, in the interface's order: no outcome here leaves an error code.
    const struct { op_t op; int32_t result; } cases[] = {
        {op_t::erase, 0}, {op_t::flush, 0}, {op_t::setup, 1}, {op_t::read_forward, -2}, {op_t::read_reverse, -1},
        {op_t::rewind, 1}, {op_t::space_file_forward, -2}, {op_t::space_file_reverse, -1},
        {op_t::space_record_forward, -2}, {op_t::space_record_reverse, -1}, {op_t::step_record_forward, -2},
        {op_t::step_record_reverse, -1}, {op_t::write_record, 5}, {op_t::write_tape_mark, 0}, {op_t::unload, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.op));
        recording_driver.trace.clear();
        handle.last_error = 1234, handle.user_flag = 1;
        EXPECT_EQ(run(c.op), c.result);
        EXPECT_EQ(recording_driver.trace, "EU");
        EXPECT_EQ(handle.last_error + handle.user_flag, 0u);
    }
    recording_driver.trace.clear();
    uint32_t count = 0;
    EXPECT_EQ(tape.get_block_count(&handle, &count), 0);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(recording_driver.trace, "") << "bookkeeping clears nothing";
}

}  // namespace
}  // namespace brx_test
