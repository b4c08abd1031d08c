// The container-file driver on damaged files and on file handles that fail: clear results, the
// tape left where it was, and no backward walk that never ends.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "tests/tapeio/container_file_fixture.h"

namespace brx_test {
namespace {

using damaged_file_test = container_file_test;
using op = op_t;

TEST_F(damaged_file_test, DamagedBackPointerOrLengthIsRefusedWithoutMovingAndEveryBackwardWalkEnds)
{
    const uint32_t bad = ERROR_INVALID_DATA;
    // Blocks of 10, 20 and 30 bytes at 0, 18 and 46 (end 84), damaged after being passed forwards.
    const struct { const char* name; uint64_t at; uint32_t value; uint64_t position, prev; int32_t blocks; uint32_t error; } cases[] = {
        {"back-pointer forwards", 22, 46, 46, 18, 2, bad},
        {"back-pointer past the end", 22, 0xFFFFFF00u, 46, 18, 2, bad},
        {"back-pointer to itself", 22, 18, 46, 18, 2, bad},
        {"back-pointer overlapping its own header", 22, 12, 46, 18, 2, bad},
        {"no previous block in the middle", 22, 1, 46, 18, 2, bad},
        {"back-pointer into record data", 22, 8, 18, 8, 1, bad},  // looks like a header that does not end at 18
        {"first block: 5 also means none", 4, 5, 0, 5, 0, 0},
        {"first block pointing to 0", 4, 0, 18, 0, 1, bad},
        {"first block pointing forwards", 4, 18, 18, 0, 1, bad},
        {"length too long", 18, 21, 46, 18, 2, bad},
        {"length 0 (a tape mark)", 18, 0, 46, 18, 2, bad},
        {"last length too short", 46, 29, 84, 46, 3, bad},
        {"last length wrapping", 46, 0xFFFFFFF0u, 84, 46, 3, bad},
        {"first length too long", 0, 11, 18, 0, 1, bad},
    };
    for (const auto& c : cases) {
        for (op_t backward : {op::space_record_reverse, op::step_record_reverse, op::read_reverse, op::space_file_reverse}) {
            SCOPED_TRACE(std::string(c.name) + ", " + op_name(backward));
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

TEST_F(damaged_file_test, FailingFileHandleLeavesTheHandleAsItWas)
{
    const struct { op_t op; int32_t result; } cases[] = {
        {op::read_forward, -3}, {op::step_record_forward, -3}, {op::space_record_forward, -3},
        {op::space_file_forward, -3}, {op::read_reverse, -3}, {op::step_record_reverse, -3},
        {op::space_record_reverse, -3}, {op::space_file_reverse, -3}, {op::write_record, -2},
        {op::write_tape_mark, -2}, {op::rewind, -1}, {op::setup, -1}, {op::erase, -1}, {op::flush, -1},
    };
    for (bool closed : {true, false}) {
        SCOPED_TRACE(closed ? "closed handle" : "invalid handle");
        create({10, 20});
        open();
        ASSERT_EQ(run(op::read_forward), 10);
        if (closed) {
            CloseHandle(file);  // the handle record keeps the stale value
            file = INVALID_HANDLE_VALUE;
        } else {
            handle.attach(INVALID_HANDLE_VALUE);
        }
        for (const auto& c : cases) {
            SCOPED_TRACE(op_name(c.op));
            EXPECT_EQ(run(c.op), c.result);
            EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_INVALID_HANDLE));
            EXPECT_EQ((std::tuple(handle.position, handle.prev_offset, handle.block_count)),
                      (std::tuple<uint64_t, uint64_t, int32_t>(18, 0, 1)));
        }
        EXPECT_EQ(run(op::unload), 0);
        EXPECT_EQ(handle.last_error, 0u);
        EXPECT_EQ(contents().size(), 46u);
        close();
    }
}

TEST_F(damaged_file_test, MissingAccessFailsWithTheSystemCodeAndMovesNothing)
{
    create({10});
    open(GENERIC_READ);
    ASSERT_EQ(run(op::read_forward), 10);
    for (op_t denied : {op::write_record, op::write_tape_mark, op::erase, op::flush}) {
        SCOPED_TRACE(op_name(denied));
        EXPECT_EQ(run(denied), -1);
        if (denied == op::erase)  // wine answers SetEndOfFile here with ERROR_INVALID_HANDLE
            EXPECT_TRUE(handle.last_error == ERROR_ACCESS_DENIED || handle.last_error == ERROR_INVALID_HANDLE);
        else
            EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
        expect_at(18, 0, 1, "read-only file");
    }
    EXPECT_EQ(contents(), concat({header_bytes(10, 1), pattern(0, 10)}));
    close();

    create({10, 20});
    open(GENERIC_WRITE);
    for (op_t denied : {op::read_forward, op::step_record_forward, op::space_file_forward}) {
        SCOPED_TRACE(op_name(denied));
        EXPECT_EQ(run(denied), -2);
        EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
        expect_at(0, 1, 0, "write-only file");
    }
    std::copy_n(pattern(0, 5).begin(), 5, data());
    ASSERT_EQ(run(op::write_record), 5);
    EXPECT_EQ(run(op::read_reverse), -1);
    EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
    expect_at(13, 0, 1, "write-only file after a write");
    EXPECT_EQ(contents(), concat({header_bytes(5, 1), pattern(0, 5)}));
}

}  // namespace
}  // namespace brx_test
