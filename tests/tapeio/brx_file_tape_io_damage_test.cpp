// The container-file driver on damaged or foreign files and on file handles that fail:
// clear results, the tape left where it was, and no walk that never ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/tapeio/container_file_fixture.h"

namespace brx_test {
namespace {

using op = op_t;

std::vector<uint8_t> be32(uint32_t value)
{
    std::vector<uint8_t> bytes(4);
    put_be32(bytes.data(), value);
    return bytes;
}

// The bytes create() writes for blocks of these lengths.
std::vector<uint8_t> concat_blocks(const std::vector<uint32_t>& lengths)
{
    std::vector<uint8_t> all;
    layout_t layout = lay_out(lengths);
    for (size_t i = 0; i < lengths.size(); ++i) {
        uint32_t back = i == 0 ? 1 : static_cast<uint32_t>(layout.offsets[i - 1]);
        std::vector<uint8_t> header = header_bytes(lengths[i], back);
        std::vector<uint8_t> body = pattern(i, lengths[i]);
        all.insert(all.end(), header.begin(), header.end());
        all.insert(all.end(), body.begin(), body.end());
    }
    return all;
}

const op_t backward_ops[] = {op::space_record_reverse, op::step_record_reverse, op::read_reverse,
                             op::space_file_reverse};

class damaged_file_test : public container_file_test {
protected:
    // Moves backwards with one operation until it fails; more than 10 calls count as a loop.
    int32_t walk_back(op_t backward)
    {
        int32_t result = 0;
        for (int calls = 0; result >= 0; ++calls) {
            if (calls == 10) {
                ADD_FAILURE() << op_name(backward) << " does not stop";
                return 0;
            }
            result = run(backward);
        }
        return result;
    }

    void to_end()
    {
        ASSERT_EQ(run(op::space_file_forward), -2);
        ASSERT_EQ(handle.last_error, 0u);
    }
};

struct back_pointer_case_t {
    const char* name;
    uint32_t back_pointer;  // of the block at 18, whose previous header is at 0
    uint64_t stop_position;
    uint64_t stop_prev_offset;
    int32_t stop_block_count;
    int32_t next_forward;  // what read_forward reads where the walk stopped
};

TEST_F(damaged_file_test, BackPointerThatDoesNotLeadToAnEarlierHeaderIsRefused)
{
    // Blocks of 10, 20 and 30 bytes at 0, 18 and 46; the file ends at 84.
    const back_pointer_case_t cases[] = {
        {"pointing forwards", 46, 46, 18, 2, 30},
        {"pointing past the end", 0xFFFFFF00u, 46, 18, 2, 30},
        {"pointing to itself", 18, 46, 18, 2, 30},
        {"overlapping its own header", 12, 46, 18, 2, 30},
        {"no previous block in the middle of the file (1)", 1, 46, 18, 2, 30},
        {"no previous block in the middle of the file (7)", 7, 46, 18, 2, 30},
        // 8 looks like a header; the bytes there do not end at 18, so the next step is refused.
        {"pointing into record data", 8, 18, 8, 1, 20},
    };
    for (const back_pointer_case_t& c : cases) {
        for (op_t backward : backward_ops) {
            SCOPED_TRACE(std::string(c.name) + ", " + op_name(backward));
            create({10, 20, 30});
            patch(18 + 4, be32(c.back_pointer));
            open();
            to_end();
            EXPECT_EQ(walk_back(backward), -1);
            EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_INVALID_DATA));
            expect_at(c.stop_position, c.stop_prev_offset, c.stop_block_count, "where the walk stopped");
            EXPECT_EQ(run(op::read_forward), c.next_forward);
            close();
        }
    }
}

TEST_F(damaged_file_test, FirstBlockMayOnlySayThereIsNoPreviousBlock)
{
    struct case_t {
        uint32_t back_pointer;  // of the block at 0
        int32_t last_step;
        uint32_t last_error;
        uint64_t position;
        uint64_t prev_offset;
        int32_t block_count;
    };
    const case_t cases[] = {
        {1, -1, 0, 0, 1, 0},
        {5, -1, 0, 0, 5, 0},  // any of 1 to 7 means none
        {0, -1, ERROR_INVALID_DATA, 18, 0, 1},
        {18, -1, ERROR_INVALID_DATA, 18, 0, 1},
        {0xFFFFFFFFu, -1, ERROR_INVALID_DATA, 18, 0, 1},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE("back-pointer " + std::to_string(c.back_pointer));
        create({10, 20});
        patch(4, be32(c.back_pointer));
        open();
        to_end();
        EXPECT_EQ(walk_back(op::step_record_reverse), c.last_step);
        EXPECT_EQ(handle.last_error, c.last_error);
        expect_at(c.position, c.prev_offset, c.block_count, "where the walk stopped");
        close();
    }
}

TEST_F(damaged_file_test, LengthThatDoesNotEndAtThePositionIsRefusedBackwards)
{
    struct case_t {
        uint64_t header;
        uint32_t length;
        uint64_t position;
        uint64_t prev_offset;
        int32_t block_count;
    };
    // Blocks of 10, 20 and 30 bytes at 0, 18 and 46, damaged after being passed forwards.
    const case_t cases[] = {
        {18, 21, 46, 18, 2}, {18, 19, 46, 18, 2}, {18, 0, 46, 18, 2},
        {46, 29, 84, 46, 3}, {46, 0xFFFFFFF0u, 84, 46, 3}, {0, 11, 18, 0, 1},
    };
    for (const case_t& c : cases) {
        for (op_t backward : backward_ops) {
            SCOPED_TRACE("length " + std::to_string(c.length) + " at " + std::to_string(c.header) + ", " +
                         op_name(backward));
            create({10, 20, 30});
            open();
            to_end();
            patch(c.header, be32(c.length));
            EXPECT_EQ(walk_back(backward), -1);
            EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_INVALID_DATA));
            expect_at(c.position, c.prev_offset, c.block_count, "where the walk stopped");
            close();
        }
    }
}

TEST_F(damaged_file_test, FailingFileHandleLeavesTheHandleAsItWas)
{
    struct case_t {
        op_t op;
        int32_t result;
    };
    const case_t cases[] = {
        {op::read_forward, -3},         {op::step_record_forward, -3}, {op::space_record_forward, -3},
        {op::space_file_forward, -3},   {op::read_reverse, -3},        {op::step_record_reverse, -3},
        {op::space_record_reverse, -3}, {op::space_file_reverse, -3},  {op::write_record, -2},
        {op::write_tape_mark, -2},      {op::rewind, -1},              {op::setup, -1},
        {op::erase, -1},                {op::flush, -1},
    };
    for (bool closed : {true, false}) {
        SCOPED_TRACE(closed ? "closed handle" : "invalid handle");
        create({10, 20});
        open();
        ASSERT_EQ(run(op::read_forward), 10);
        if (closed)
            CloseHandle(file);  // the handle record keeps the stale value
        else
            handle.attach(INVALID_HANDLE_VALUE);
        for (const case_t& c : cases) {
            SCOPED_TRACE(op_name(c.op));
            EXPECT_EQ(run(c.op), c.result);
            EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_INVALID_HANDLE));
            EXPECT_EQ(handle.position, 18u);
            EXPECT_EQ(handle.prev_offset, 0u);
            EXPECT_EQ(handle.block_count, 1);
        }
        EXPECT_EQ(run(op::unload), 0);
        EXPECT_EQ(handle.last_error, 0u);
        if (closed)
            file = INVALID_HANDLE_VALUE;
        close();
        EXPECT_EQ(contents().size(), 46u);
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
            EXPECT_TRUE(handle.last_error == ERROR_ACCESS_DENIED || handle.last_error == ERROR_INVALID_HANDLE)
                << handle.last_error;
        else
            EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_ACCESS_DENIED));
        expect_at(18, 0, 1, "read-only file");
    }
    EXPECT_EQ(run(op::read_reverse), 10);
    EXPECT_EQ(contents(), concat_blocks({10}));
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
    EXPECT_EQ(contents(), concat_blocks({5}));
}

}  // namespace
}  // namespace brx_test
