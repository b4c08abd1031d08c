// The opening every tape operation makes through the dispatch table.
#include <gtest/gtest.h>

#include <string>

#include "tests/tapeio/container_file_fixture.h"

namespace brx_test {
namespace {

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
