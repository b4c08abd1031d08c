// Ordinary files: CreateFileA's dispositions, codes and sharing, SetFilePointer's halves, reads and writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "tests/platform/temp_dir_posix.h"

namespace {

constexpr DWORD read_write = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD untouched = 0x5A5A;  // a last error no call here sets
constexpr int64_t gib = int64_t{1} << 30;

HANDLE open_with(const std::string& name, DWORD access, DWORD share, DWORD disposition)
{
    SetLastError(untouched);
    return CreateFileA(name.c_str(), access, share, nullptr, disposition, 0, nullptr);
}

TEST(create_file, dispositions_create_keep_or_cut_as_windows_does)
{
    const struct { DWORD disposition; bool exists, opened; DWORD error; const char* after; } cases[] = {
        {CREATE_NEW, false, true, NO_ERROR, ""},         {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "abc"},
        {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""}, {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "-"},
        {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "abc"}, {TRUNCATE_EXISTING, true, true, NO_ERROR, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.disposition << (c.exists ? " existing" : " missing"));
        temp_dir_t dir;
        const std::string name = c.exists ? dir.write("f", "abc") : dir.file("f");
        HANDLE file = open_with(name, read_write, 0, c.disposition);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(CloseHandle(file), c.opened);
        EXPECT_EQ(std::filesystem::exists(name) ? read_whole(name) : "-", c.after);
    }
}

TEST(create_file, failed_opens_shares_and_writes_give_the_windows_codes_and_cut_nothing)
{
    temp_dir_t dir;
    const std::string plain = dir.write("plain", "abc");
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE first = open_with(plain, GENERIC_READ, 0, OPEN_EXISTING);
    const struct { std::string name; DWORD access, share, disposition, error; } opens[] = {
        {dir.file("nodir/missing"), GENERIC_READ, all, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {dir.path, read_write, all, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {plain, GENERIC_READ, all, TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER},
        {plain, read_write, all, CREATE_ALWAYS, ERROR_SHARING_VIOLATION},  // refused before anything is cut
    };
    for (const auto& c : opens) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(open_with(c.name, c.access, c.share, c.disposition), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_TRUE(CloseHandle(first));
    HANDLE second = open_with(plain, GENERIC_READ, all, OPEN_EXISTING);
    HANDLE full = open_with("/dev/full", GENERIC_WRITE, all, OPEN_EXISTING);
    HANDLE closed = open_with(plain, GENERIC_READ, all, OPEN_EXISTING);
    EXPECT_TRUE(CloseHandle(closed));
    const struct { HANDLE handle; DWORD error; } writes[] = {
        {second, ERROR_ACCESS_DENIED}, {full, ERROR_DISK_FULL}, {closed, ERROR_INVALID_HANDLE}};
    for (const auto& c : writes) {
        DWORD done = 9;
        EXPECT_FALSE(WriteFile(c.handle, "x", 1, &done, nullptr));
        EXPECT_EQ(GetLastError(), c.error) << c.handle;
        EXPECT_EQ(done, 0u);
    }
    EXPECT_TRUE(CloseHandle(second) && CloseHandle(full));
    EXPECT_EQ(read_whole(plain), "abc");
}

class file_pointer_test : public testing::Test {
protected:
    ~file_pointer_test() override { EXPECT_TRUE(CloseHandle(file)); }
    int64_t position()
    {
        LONG high = 0;
        const DWORD low = SetFilePointer(file, 0, &high, FILE_CURRENT);
        return (int64_t{high} << 32) | low;
    }
    void move_to(int64_t where) { LONG high = LONG(where >> 32); SetFilePointer(file, LONG(where), &high, FILE_BEGIN); }

    temp_dir_t dir;
    std::string name = dir.write("data", std::string(100, 'x'));
    HANDLE file = open_with(name, read_write, 0, OPEN_EXISTING);
};

TEST_F(file_pointer_test, moves_and_reports_in_halves_as_windows_does)
{
    const DWORD bad = INVALID_SET_FILE_POINTER;
    const struct {
        const char* what; int64_t start; DWORD method; LONG low; bool with_high; LONG high;
        DWORD result; LONG high_out; DWORD last_error; int64_t end;
    } cases[] = {
        {"end", 10, FILE_END, -1, false, 0, 99, 0, untouched, 99},
        {"4 GiB - 1 looks like failure", 10, FILE_BEGIN, -1, true, 0, bad, 0, NO_ERROR, 4 * gib - 1},
        {"5 GiB + 3", 10, FILE_BEGIN, 0x40000003, true, 1, 0x40000003, 1, untouched, 5 * gib + 3},
        {"negative high half", 10, FILE_BEGIN, 5, true, -1, bad, -1, ERROR_NEGATIVE_SEEK, 10},
        {"no room for the result", 4 * gib - 1, FILE_CURRENT, 1, false, 0, bad, 0, ERROR_INVALID_PARAMETER, 4 * gib - 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        move_to(c.start);
        SetLastError(untouched);
        LONG high = c.high;
        EXPECT_EQ(SetFilePointer(file, c.low, c.with_high ? &high : nullptr, c.method), c.result);
        EXPECT_EQ(GetLastError(), c.last_error);
        EXPECT_EQ(high, c.with_high ? c.high_out : c.high);
        EXPECT_EQ(position(), c.end);
    }
}

TEST_F(file_pointer_test, data_beyond_4_gib_reads_back_and_the_end_follows_the_pointer)
{
    DWORD done = 0;
    move_to(5 * gib + 3);
    ASSERT_TRUE(WriteFile(file, "tail", 4, &done, nullptr));
    EXPECT_EQ(position(), 5 * gib + 7);
    char got[8] = {};
    move_to(5 * gib + 3);
    ASSERT_TRUE(ReadFile(file, got, 8, &done, nullptr));
    EXPECT_EQ(std::string(got, done), "tail");  // short only because the file ends
    move_to(3);
    ASSERT_TRUE(SetEndOfFile(file));
    EXPECT_EQ(read_whole(name), "xxx");
}

}  // namespace
