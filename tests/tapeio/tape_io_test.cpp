// The bookkeeping shared by every driver, the handle record, and the opening that every tape
// operation makes through the dispatch table.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "tapeio/tape_io_objects.h"
#include "tests/tapeio/container_file_fixture.h"

namespace brx_test {
namespace {

TEST(tape_io_handle, ConstructedAndAttached)
{
    tape_io_handle_t handle;
    EXPECT_EQ(handle.path_id, -1);
    EXPECT_EQ(handle.target_id, -1);
    EXPECT_EQ(handle.lun, -1);
    EXPECT_EQ(handle.last_error, 0u);
    EXPECT_EQ(handle.get_os_handle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(handle.user_flag, 0);
    EXPECT_EQ(handle.block_count, 0);
    EXPECT_EQ(handle.prev_offset, 0u);
    EXPECT_EQ(handle.position, 0u);
    EXPECT_EQ(handle.limit, 0u);

    handle.path_id = 3;
    handle.target_id = 4;
    handle.lun = 5;
    handle.last_error = 77;
    handle.block_count = 9;
    handle.position = 123;
    int something = 0;
    HANDLE device = &something;
    EXPECT_EQ(handle.attach(device), device);
    EXPECT_EQ(handle.get_os_handle(), device);
    EXPECT_EQ(handle.path_id, -1);
    EXPECT_EQ(handle.target_id, -1);
    EXPECT_EQ(handle.lun, -1);
    EXPECT_EQ(handle.last_error, 0u);
    // The counters belong to the medium's state, not to the attachment.
    EXPECT_EQ(handle.block_count, 9);
    EXPECT_EQ(handle.position, 123u);
}

TEST(tape_io_bookkeeping, GetPositionReportsTheLimitOnlyWhenOneIsSet)
{
    const uint64_t top = UINT64_MAX;
    const struct {
        uint64_t limit;
        uint64_t position;
        int32_t result;
    } cases[] = {
        {0, 0, 0},
        {0, top, 0},  // no limit: never the end of the medium
        {10, 9, 0},
        {10, 10, -1},
        {10, 11, -1},
        {1, 0, 0},
        {1ull << 33, (1ull << 33) - 1, 0},
        {1ull << 32, (1ull << 32) + 1, -1},
        {1ull << 63, (1ull << 63) + 1, -1},  // compared unsigned
        {top, top - 1, 0},
    };
    tape_io_handle_t handle;
    for (const auto& c : cases) {
        handle.limit = c.limit;
        handle.position = c.position;
        uint64_t position = 0;
        EXPECT_EQ(brx_file_tape_io.get_position(&handle, &position), c.result)
            << "limit " << c.limit << ", position " << c.position;
        EXPECT_EQ(position, c.position);
        uint32_t count = 0;
        EXPECT_EQ(brx_file_tape_io.get_block_count(&handle, &count), c.result);
        EXPECT_EQ(brx_file_tape_io.tape_io_t::get_block_count(&handle, &count), 0) << "the shared one ignores it";
    }
}

TEST(tape_io_bookkeeping, CountersFlagsAndOffsetsStoreWhatTheyAreGiven)
{
    tape_io_handle_t handle;
    tape_io_t& tape = brx_file_tape_io;
    uint32_t count = 99;
    EXPECT_EQ(tape.get_block_count(&handle, &count), 0);
    EXPECT_EQ(count, 0u);

    const struct {
        const char* step;
        void (*apply)(tape_io_t&, tape_io_handle_t*);
        int32_t blocks;
    } steps[] = {
        {"set 5", [](tape_io_t& t, tape_io_handle_t* h) { t.set_blocks(h, 5); }, 5},
        {"add 3", [](tape_io_t& t, tape_io_handle_t* h) { t.add_blocks(h, 3); }, 8},
        {"add -10", [](tape_io_t& t, tape_io_handle_t* h) { t.add_blocks(h, -10); }, -2},
        {"reset", [](tape_io_t& t, tape_io_handle_t* h) { t.reset_blocks(h); }, 0},
        {"set max", [](tape_io_t& t, tape_io_handle_t* h) { t.set_blocks(h, INT32_MAX); }, INT32_MAX},
        {"add 1 wraps", [](tape_io_t& t, tape_io_handle_t* h) { t.add_blocks(h, 1); }, INT32_MIN},
    };
    for (const auto& s : steps) {
        s.apply(tape, &handle);
        EXPECT_EQ(handle.block_count, s.blocks) << s.step;
        EXPECT_EQ(tape.get_block_count(&handle, &count), 0) << s.step;
        EXPECT_EQ(count, static_cast<uint32_t>(s.blocks)) << s.step;
    }

    const struct {
        int32_t flag;
        int32_t tested;
    } flags[] = {{0, 0}, {1, 1}, {5, 1}, {-1, 0}};
    for (const auto& f : flags) {
        handle.user_flag = f.flag;
        EXPECT_EQ(tape.test_user_flag(&handle), f.tested) << f.flag;
    }
    tape.set_user_flag(&handle);
    EXPECT_EQ(handle.user_flag, 1);
    tape.clear_user_flag(&handle);
    EXPECT_EQ(handle.user_flag, 0);
    handle.last_error = 5;
    tape.clear_error(&handle);
    EXPECT_EQ(handle.last_error, 0u);

    uint64_t offset = 0;
    tape.set_prev_offset(&handle, 0x123456789ull);
    EXPECT_EQ(tape.get_prev_offset(&handle, &offset), 0);
    EXPECT_EQ(offset, 0x123456789ull);
    tape.set_prev_offset(&handle, 3);
    EXPECT_EQ(tape.tape_io_t::get_prev_offset(&handle, &offset), 0) << "the shared one has no 'none'";
    EXPECT_EQ(offset, 3u);
    tape.set_position(&handle, 0xFFFFFFFFFull);
    EXPECT_EQ(handle.position, 0xFFFFFFFFFull);
}

// Records the opening calls, to show that they go through the dispatch table, once and in order.
class recording_driver_t : public brx_file_tape_io_t {
public:
    void clear_error(tape_io_handle_t* handle) override
    {
        trace += 'E';
        brx_file_tape_io_t::clear_error(handle);
    }
    void clear_user_flag(tape_io_handle_t* handle) override
    {
        trace += 'U';
        brx_file_tape_io_t::clear_user_flag(handle);
    }
    std::string trace;
};

recording_driver_t recording_driver;

class opening_test : public container_file_test {
protected:
    opening_test() : container_file_test(recording_driver) {}
};

TEST_F(opening_test, EveryTapeOperationClearsErrorThenFlagFirst)
{
    create_bytes({});
    open();
    // In the interface's order, on an empty file: every outcome here leaves no error code.
    const struct {
        op_t op;
        int32_t result;
    } cases[] = {
        {op_t::erase, 0},
        {op_t::flush, 0},
        {op_t::setup, 1},
        {op_t::read_forward, -2},
        {op_t::read_reverse, -1},
        {op_t::rewind, 1},
        {op_t::space_file_forward, -2},
        {op_t::space_file_reverse, -1},
        {op_t::space_record_forward, -2},
        {op_t::space_record_reverse, -1},
        {op_t::step_record_forward, -2},
        {op_t::step_record_reverse, -1},
        {op_t::write_record, 5},
        {op_t::write_tape_mark, 0},
        {op_t::unload, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(op_name(c.op));
        recording_driver.trace.clear();
        handle.last_error = 1234;
        handle.user_flag = 1;
        EXPECT_EQ(run(c.op), c.result);
        EXPECT_EQ(recording_driver.trace, "EU");
        EXPECT_EQ(handle.last_error, 0u);
        EXPECT_EQ(handle.user_flag, 0);
    }
    recording_driver.trace.clear();
    EXPECT_EQ(tape.data_offset(&handle), 8);
    uint32_t count = 0;
    EXPECT_EQ(tape.get_block_count(&handle, &count), 0);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(recording_driver.trace, "") << "bookkeeping does not clear anything";
}

}  // namespace
}  // namespace brx_test
