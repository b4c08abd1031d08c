// SetFilePointer's split of distances and results into halves, and the file calls around it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/platform/temp_dir_posix.h"

namespace {

constexpr int64_t gib = int64_t{1} << 30;
constexpr DWORD untouched_error = 0x5A5A;  // a last error that no call here sets

class file_pointer_test : public ::testing::Test {
protected:
    void SetUp() override
    {
        name = dir.write("data.bin", std::string(100, 'x'));
        file = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
    }
    void TearDown() override { EXPECT_TRUE(CloseHandle(file)); }

    int64_t position()
    {
        LONG high = 0;
        DWORD low = SetFilePointer(file, 0, &high, FILE_CURRENT);
        return (int64_t{high} << 32) | low;
    }
    void move_to(int64_t where)
    {
        LONG high = static_cast<LONG>(where >> 32);
        SetLastError(NO_ERROR);
        SetFilePointer(file, static_cast<LONG>(where & 0xFFFFFFFF), &high, FILE_BEGIN);
        ASSERT_EQ(GetLastError(), NO_ERROR);
    }

    temp_dir_t dir;
    std::string name;
    HANDLE file = INVALID_HANDLE_VALUE;
};

struct seek_case_t {
    const char* what;
    int64_t start;
    DWORD method;
    LONG low;
    bool with_high;
    LONG high;
    DWORD result;
    LONG high_out;     // only with_high
    DWORD last_error;  // untouched_error when the call leaves it alone
    int64_t end;       // file pointer afterwards
};

TEST_F(file_pointer_test, moves_and_reports_in_halves_as_windows_does)
{
    const DWORD bad = INVALID_SET_FILE_POINTER;
    const seek_case_t cases[] = {
        {"begin", 10, FILE_BEGIN, 50, false, 0, 50, 0, untouched_error, 50},
        {"current forward", 10, FILE_CURRENT, 5, false, 0, 15, 0, untouched_error, 15},
        {"current back to 0", 10, FILE_CURRENT, -10, false, 0, 0, 0, untouched_error, 0},
        {"current before start", 10, FILE_CURRENT, -11, false, 0, bad, 0, ERROR_NEGATIVE_SEEK, 10},
        {"end", 10, FILE_END, 0, false, 0, 100, 0, untouched_error, 100},
        {"end back to 0", 10, FILE_END, -100, false, 0, 0, 0, untouched_error, 0},
        {"end before start", 10, FILE_END, -101, false, 0, bad, 0, ERROR_NEGATIVE_SEEK, 10},
        {"past the end", 10, FILE_BEGIN, 200, false, 0, 200, 0, untouched_error, 200},
        {"low alone is signed", 10, FILE_BEGIN, -1, false, 0, bad, 0, ERROR_NEGATIVE_SEEK, 10},
        {"4 GiB - 1 looks like failure", 10, FILE_BEGIN, -1, true, 0, bad, 0, NO_ERROR, 4 * gib - 1},
        {"4 GiB", 10, FILE_BEGIN, 0, true, 1, 0, 1, untouched_error, 4 * gib},
        {"5 GiB + 3", 10, FILE_BEGIN, 0x40000003, true, 1, 0x40000003, 1, untouched_error, 5 * gib + 3},
        {"negative high half", 10, FILE_BEGIN, 5, true, -1, bad, -1, ERROR_NEGATIVE_SEEK, 10},
        {"64-bit step back", 10, FILE_CURRENT, -10, true, -1, 0, 0, untouched_error, 0},
        {"64-bit step too far", 10, FILE_CURRENT, -11, true, -1, bad, -1, ERROR_NEGATIVE_SEEK, 10},
        {"8 GiB - 1 looks like failure", 8 * gib, FILE_CURRENT, -1, true, -1, bad, 1, NO_ERROR, 8 * gib - 1},
        {"no room for the result", 4 * gib - 1, FILE_CURRENT, 1, false, 0, bad, 0, ERROR_INVALID_PARAMETER,
         4 * gib - 1},
        {"unknown method", 10, 3, 0, false, 0, bad, 0, ERROR_INVALID_PARAMETER, 10},
    };
    for (const seek_case_t& c : cases) {
        SCOPED_TRACE(c.what);
        move_to(c.start);
        SetLastError(untouched_error);
        LONG high = c.high;
        DWORD result = SetFilePointer(file, c.low, c.with_high ? &high : nullptr, c.method);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(GetLastError(), c.last_error);
        if (c.with_high) {
            EXPECT_EQ(high, c.high_out);
        }
        EXPECT_EQ(position(), c.end);
    }
}

TEST_F(file_pointer_test, sparse_file_beyond_4_gib_reads_back_and_truncates)
{
    move_to(5 * gib + 3);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(file, "tail", 4, &done, nullptr));
    EXPECT_EQ(done, 4u);
    LONG high = 0;
    EXPECT_EQ(SetFilePointer(file, 0, &high, FILE_END), 0x40000007u);
    EXPECT_EQ(high, 1);

    move_to(4 * gib - 2);  // across the 4 GiB line: zeros of the hole
    uint8_t hole[4] = {1, 1, 1, 1};
    ASSERT_TRUE(ReadFile(file, hole, 4, &done, nullptr));
    EXPECT_EQ(done, 4u);
    EXPECT_EQ(std::vector<uint8_t>(hole, hole + 4), std::vector<uint8_t>(4, 0));

    move_to(5 * gib + 3);
    char tail[8] = {};
    ASSERT_TRUE(ReadFile(file, tail, 8, &done, nullptr));
    EXPECT_EQ(done, 4u);  // short only because the file ends
    EXPECT_EQ(std::string(tail, 4), "tail");

    move_to(4 * gib + 1);
    ASSERT_TRUE(SetEndOfFile(file));
    high = 0;
    EXPECT_EQ(SetFilePointer(file, 0, &high, FILE_END), 1u);
    EXPECT_EQ(high, 1);
}

TEST_F(file_pointer_test, end_of_file_moves_to_the_pointer_both_ways)
{
    move_to(3);
    ASSERT_TRUE(SetEndOfFile(file));
    EXPECT_EQ(read_whole(name), "xxx");
    move_to(6);
    ASSERT_TRUE(SetEndOfFile(file));
    EXPECT_EQ(read_whole(name), std::string("xxx\0\0\0", 6));
    DWORD done = 7;
    char byte = 0;
    ASSERT_TRUE(ReadFile(file, &byte, 1, &done, nullptr));  // at the end: success with nothing
    EXPECT_EQ(done, 0u);
    ASSERT_TRUE(FlushFileBuffers(file));
}

TEST_F(file_pointer_test, write_overwrites_at_the_pointer_and_advances_it)
{
    move_to(98);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(file, "ABCD", 4, &done, nullptr));
    EXPECT_EQ(done, 4u);
    EXPECT_EQ(position(), 102);
    EXPECT_EQ(read_whole(name), std::string(98, 'x') + "ABCD");
    ASSERT_TRUE(WriteFile(file, "", 0, &done, nullptr));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(position(), 102);
}

}  // namespace
