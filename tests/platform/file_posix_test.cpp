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

HANDLE open_with(const std::string& name, DWORD access, DWORD share, DWORD disposition, DWORD flags = 0)
{
    SetLastError(untouched);
    return CreateFileA(name.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

TEST(create_file, dispositions_create_keep_or_cut_as_windows_does)
{
    // The last error is the failure's code or what a success leaves; "-" as content: no file.
    const struct { DWORD disposition; bool exists, opened; DWORD error; const char* after; } cases[] = {
        {CREATE_NEW, false, true, NO_ERROR, ""},
        {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "abc"},
        {CREATE_ALWAYS, false, true, NO_ERROR, ""},
        {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
        {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "-"},
        {OPEN_EXISTING, true, true, NO_ERROR, "abc"},
        {OPEN_ALWAYS, false, true, NO_ERROR, ""},
        {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "abc"},
        {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, "-"},
        {TRUNCATE_EXISTING, true, true, NO_ERROR, ""},
        {6, true, false, ERROR_INVALID_PARAMETER, "abc"},
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

TEST(create_file, failed_opens_give_the_windows_codes_and_touch_nothing)
{
    temp_dir_t dir;
    const std::string plain = dir.write("plain", "abc");
    const struct { std::string name; DWORD access, disposition, error; } cases[] = {
        {dir.file("missing"), GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {dir.file("nodir/missing"), GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {plain + "/below", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {dir.path, read_write, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {dir.file(std::string(300, 'n')), read_write, CREATE_ALWAYS, ERROR_FILENAME_EXCED_RANGE},
        {plain, GENERIC_READ, TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(open_with(c.name, c.access, 0, c.disposition), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(read_whole(plain), "abc");
}

TEST(create_file, no_sharing_refuses_a_second_open_before_anything_is_cut)
{
    temp_dir_t dir;
    const std::string name = dir.write("shared", "keep me");
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const struct { DWORD first_share, second_share, second_disposition; bool second_opens; } cases[] = {
        {0, 0, OPEN_EXISTING, false},  {0, all, CREATE_ALWAYS, false},   {0, 0, TRUNCATE_EXISTING, false},
        {all, 0, OPEN_EXISTING, false}, {all, all, OPEN_EXISTING, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first_share << " then " << c.second_share);
        HANDLE first = open_with(name, read_write, c.first_share, OPEN_EXISTING);
        HANDLE second = open_with(name, read_write, c.second_share, c.second_disposition);
        EXPECT_EQ(GetLastError(), c.second_opens ? NO_ERROR : ERROR_SHARING_VIOLATION);
        EXPECT_EQ(CloseHandle(second), c.second_opens);
        EXPECT_TRUE(CloseHandle(first));
        EXPECT_EQ(read_whole(name), "keep me");
    }
    EXPECT_TRUE(CloseHandle(open_with(name, read_write, 0, OPEN_EXISTING)));  // the lock went with the handle
}

TEST(file_io, reads_and_writes_fail_with_the_windows_codes_and_count_nothing)
{
    temp_dir_t dir;
    const std::string name = dir.write("f", "abc");
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE reader = open_with(name, GENERIC_READ, all, OPEN_EXISTING);
    HANDLE writer = open_with(name, GENERIC_WRITE, all, OPEN_EXISTING);
    HANDLE full = open_with("/dev/full", GENERIC_WRITE, all, OPEN_EXISTING);
    HANDLE closed = open_with(name, read_write, all, OPEN_EXISTING);
    EXPECT_TRUE(CloseHandle(closed));
    int local = 0;
    const struct { HANDLE handle; bool write; DWORD error; } cases[] = {
        {reader, true, ERROR_ACCESS_DENIED},   {writer, false, ERROR_ACCESS_DENIED},
        {full, true, ERROR_DISK_FULL},         {closed, false, ERROR_INVALID_HANDLE},
        {closed, true, ERROR_INVALID_HANDLE},  {static_cast<HANDLE>(&local), false, ERROR_INVALID_HANDLE},
    };
    for (const auto& c : cases) {
        DWORD done = 9;
        char byte = 0;
        EXPECT_FALSE(c.write ? WriteFile(c.handle, "x", 1, &done, nullptr)
                             : ReadFile(c.handle, &byte, 1, &done, nullptr));
        EXPECT_EQ(GetLastError(), c.error) << c.write << " on " << c.handle;
        EXPECT_EQ(done, 0u);
    }
    EXPECT_EQ(SetFilePointer(closed, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(closed) || CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_TRUE(CloseHandle(reader) && CloseHandle(writer) && CloseHandle(full));
    EXPECT_EQ(read_whole(name), "abc");
}

// A 100-byte file open for reading and writing.
class file_pointer_test : public testing::Test {
protected:
    ~file_pointer_test() override { EXPECT_TRUE(CloseHandle(file)); }
    int64_t position()
    {
        LONG high = 0;
        const DWORD low = SetFilePointer(file, 0, &high, FILE_CURRENT);
        return (int64_t{high} << 32) | low;
    }
    void move_to(int64_t where)
    {
        LONG high = static_cast<LONG>(where >> 32);
        SetFilePointer(file, static_cast<LONG>(where), &high, FILE_BEGIN);
    }

    temp_dir_t dir;
    std::string name = dir.write("data", std::string(100, 'x'));
    HANDLE file = open_with(name, read_write, 0, OPEN_EXISTING);
};

TEST_F(file_pointer_test, moves_and_reports_in_halves_as_windows_does)
{
    const DWORD bad = INVALID_SET_FILE_POINTER;
    // From start, SetFilePointer(low, with_high ? &high : nullptr, method) gives result, high_out in the
    // high half, last_error (untouched: left alone) and leaves the pointer at end.
    const struct {
        const char* what; int64_t start; DWORD method; LONG low; bool with_high; LONG high;
        DWORD result; LONG high_out; DWORD last_error; int64_t end;
    } cases[] = {
        {"begin", 10, FILE_BEGIN, 50, false, 0, 50, 0, untouched, 50},
        {"end", 10, FILE_END, -1, false, 0, 99, 0, untouched, 99},
        {"before the start", 10, FILE_CURRENT, -11, false, 0, bad, 0, ERROR_NEGATIVE_SEEK, 10},
        {"low alone is signed", 10, FILE_BEGIN, -1, false, 0, bad, 0, ERROR_NEGATIVE_SEEK, 10},
        {"4 GiB - 1 looks like failure", 10, FILE_BEGIN, -1, true, 0, bad, 0, NO_ERROR, 4 * gib - 1},
        {"5 GiB + 3", 10, FILE_BEGIN, 0x40000003, true, 1, 0x40000003, 1, untouched, 5 * gib + 3},
        {"negative high half", 10, FILE_BEGIN, 5, true, -1, bad, -1, ERROR_NEGATIVE_SEEK, 10},
        {"64-bit step back", 10, FILE_CURRENT, -10, true, -1, 0, 0, untouched, 0},
        {"no room for the result", 4 * gib - 1, FILE_CURRENT, 1, false, 0, bad, 0, ERROR_INVALID_PARAMETER,
         4 * gib - 1},
        {"unknown method", 10, 3, 0, false, 0, bad, 0, ERROR_INVALID_PARAMETER, 10},
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
    LONG high = 0;
    EXPECT_EQ(SetFilePointer(file, 0, &high, FILE_END), 0x40000007u);
    EXPECT_EQ(high, 1);

    char got[8] = {1, 1, 1, 1};
    move_to(4 * gib - 2);  // across the 4 GiB line: zeros of the hole
    ASSERT_TRUE(ReadFile(file, got, 4, &done, nullptr));
    EXPECT_EQ(std::string(got, done), std::string(4, '\0'));
    move_to(5 * gib + 3);
    ASSERT_TRUE(ReadFile(file, got, 8, &done, nullptr));
    EXPECT_EQ(std::string(got, done), "tail");  // short only because the file ends
    ASSERT_TRUE(ReadFile(file, got, 8, &done, nullptr));
    EXPECT_EQ(done, 0u);  // at the end: success with nothing

    move_to(3);
    ASSERT_TRUE(SetEndOfFile(file));
    move_to(6);
    ASSERT_TRUE(SetEndOfFile(file));
    EXPECT_EQ(read_whole(name), std::string("xxx\0\0\0", 6));
}

}  // namespace
