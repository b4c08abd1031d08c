// Ordinary files: CreateFileA's dispositions, codes and sharing, SetFilePointer's halves.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "platform/platform.h"
#include "tests/support/e2e.h"

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
        scratch_directory_t dir;
        const std::string name = c.exists ? dir.write("f", "abc") : dir.file("f");
        HANDLE file = open_with(name, read_write, 0, c.disposition);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(CloseHandle(file), c.opened);
        EXPECT_EQ(dir.exists("f") ? dir.read("f") : "-", c.after);
    }
    scratch_directory_t dir;  // a symbolic link to a missing file: the file it names is created
    std::filesystem::create_symlink("f", dir.file("link"));
    EXPECT_TRUE(CloseHandle(open_with(dir.file("link"), read_write, 0, CREATE_ALWAYS)));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.file("f")));
}

TEST(create_file, failed_opens_sharing_and_writes_give_the_windows_codes_and_cut_nothing)
{
    scratch_directory_t dir;
    const std::string plain = dir.write("plain", "abc");
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE first = open_with(plain, GENERIC_READ, 0, OPEN_EXISTING);
    const struct { std::string name; DWORD access, share, disposition, error; } opens[] = {
        {dir.file("nodir/missing"), GENERIC_READ, all, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {dir.path(), read_write, all, OPEN_EXISTING, ERROR_ACCESS_DENIED},
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
    // Windows' sharing: an open fails when its access meets an earlier open's refusal, or its refusal
    // an earlier open's access; opens without data access take no part. fopen shares both.
    constexpr DWORD r = GENERIC_READ, w = GENERIC_WRITE, sr = FILE_SHARE_READ;
    const struct { DWORD access1, share1, access2, share2; bool second_opens; } cases[] = {
        {r, sr, r, all, true},           {r, sr, w, all, false},          {read_write, sr, r, sr, false},
        {read_write, sr, r, all, true},  {w, all, r, sr, false},          {w, all, w, all, true},
        {0, 0, read_write, 0, true},     {r, 0, 0, 0, true},              {r, all, read_write, all, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.access1 << "/" << c.share1 << " then " << c.access2 << "/"
                                        << c.share2);
        HANDLE earlier = open_with(plain, c.access1, c.share1, OPEN_EXISTING);
        HANDLE later = open_with(plain, c.access2, c.share2, OPEN_EXISTING);
        const DWORD error = later == INVALID_HANDLE_VALUE ? GetLastError() : NO_ERROR;
        EXPECT_EQ(error, c.second_opens ? NO_ERROR : ERROR_SHARING_VIOLATION);
        EXPECT_TRUE(CloseHandle(earlier));
        EXPECT_EQ(CloseHandle(later), c.second_opens);
    }
    // What a virtual drive holds: fopen may read it but not replace it, and cuts nothing trying.
    HANDLE medium = open_with(plain, read_write, sr, OPEN_EXISTING);
    FILE* reader = fopen(plain.c_str(), "rb");
    EXPECT_NE(reader, nullptr);
    EXPECT_EQ(fopen(plain.c_str(), "wb"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(open_with(plain, read_write, sr, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(medium) && fclose(reader) == 0);
    EXPECT_EQ(dir.read("plain"), "abc");
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

    scratch_directory_t dir;
    std::string name = dir.write("data", std::string(100, 'x'));
    HANDLE file = open_with(name, read_write, 0, OPEN_EXISTING);
};

TEST_F(file_pointer_test, moves_and_reports_in_halves_as_windows_does)
{
    const DWORD bad = INVALID_SET_FILE_POINTER;
    const struct { const char* what; int64_t start; DWORD method; LONG low; bool with_high; LONG high;
                   DWORD result; LONG high_out; DWORD last_error; int64_t end; } cases[] = {
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

}  // namespace
