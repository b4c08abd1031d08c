// CreateFileA on ordinary files: dispositions, the codes of failed opens, sharing and access.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/platform.h"
#include "platform/posix/handle_object.h"
#include "tests/platform/temp_dir_posix.h"

namespace {

constexpr DWORD read_write = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD untouched_error = 0x5A5A;

HANDLE open_with(const std::string& name, DWORD access, DWORD share, DWORD disposition, DWORD flags = 0)
{
    return CreateFileA(name.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

struct disposition_case_t {
    DWORD disposition;
    bool exists;
    DWORD error;        // failure code, or the last error after success
    bool opened;
    const char* after;  // content afterwards; nullptr: no file
};

TEST(create_file, dispositions_create_keep_or_cut_as_windows_does)
{
    const disposition_case_t cases[] = {
        {CREATE_NEW, false, NO_ERROR, true, ""},
        {CREATE_NEW, true, ERROR_FILE_EXISTS, false, "abc"},
        {CREATE_ALWAYS, false, NO_ERROR, true, ""},
        {CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, true, ""},
        {OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, false, nullptr},
        {OPEN_EXISTING, true, NO_ERROR, true, "abc"},
        {OPEN_ALWAYS, false, NO_ERROR, true, ""},
        {OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, true, "abc"},
        {TRUNCATE_EXISTING, false, ERROR_FILE_NOT_FOUND, false, nullptr},
        {TRUNCATE_EXISTING, true, NO_ERROR, true, ""},
        {0, true, ERROR_INVALID_PARAMETER, false, "abc"},
        {6, true, ERROR_INVALID_PARAMETER, false, "abc"},
    };
    for (const disposition_case_t& c : cases) {
        SCOPED_TRACE(testing::Message() << "disposition " << c.disposition << (c.exists ? " existing" : " missing"));
        temp_dir_t dir;
        std::string name = c.exists ? dir.write("f", "abc") : dir.file("f");
        SetLastError(untouched_error);
        HANDLE file = open_with(name, read_write, 0, c.disposition);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opened);
        EXPECT_EQ(GetLastError(), c.error);
        if (file != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(file));
        }
        EXPECT_EQ(std::filesystem::exists(name), c.after != nullptr);
        if (c.after != nullptr) {
            EXPECT_EQ(read_whole(name), c.after);
        }
    }
}

TEST(create_file, failed_opens_give_the_windows_codes)
{
    temp_dir_t dir;
    std::string plain = dir.write("plain", "abc");
    struct case_t {
        std::string name;
        DWORD access;
        DWORD disposition;
        DWORD error;
    } cases[] = {
        {dir.file("missing"), GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {dir.file("nodir/missing"), GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {dir.file("nodir/new"), read_write, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        {plain + "/below", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {dir.path, GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {dir.path, read_write, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {dir.file(std::string(300, 'n')), read_write, CREATE_ALWAYS, ERROR_FILENAME_EXCED_RANGE},
        {plain, GENERIC_READ, TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER},
        {"missing-in-cwd-" + std::to_string(getpid()), GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(untouched_error);
        EXPECT_EQ(open_with(c.name, c.access, 0, c.disposition), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(read_whole(plain), "abc");
    SetLastError(untouched_error);
    EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST(create_file, unreadable_file_is_access_denied)
{
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    temp_dir_t dir;
    std::string name = dir.write("secret", "abc");
    ASSERT_EQ(chmod(name.c_str(), 0), 0);
    EXPECT_EQ(open_with(name, GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(create_file, no_sharing_keeps_other_handles_out_and_loses_nothing)
{
    temp_dir_t dir;
    std::string name = dir.write("shared", "keep me");
    const DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE;
    struct case_t {
        DWORD first_share, second_share, second_disposition;
        bool second_opens;
    } cases[] = {
        {0, 0, OPEN_EXISTING, false},
        {0, share_all, OPEN_EXISTING, false},
        {0, 0, CREATE_ALWAYS, false},       // refused before anything is cut
        {0, 0, TRUNCATE_EXISTING, false},
        {share_all, 0, OPEN_EXISTING, false},
        {share_all, share_all, OPEN_EXISTING, true},
        {FILE_SHARE_READ, FILE_SHARE_READ, OPEN_EXISTING, true},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first_share << " then " << c.second_share);
        HANDLE first = open_with(name, read_write, c.first_share, OPEN_EXISTING);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        HANDLE second = open_with(name, read_write, c.second_share, c.second_disposition);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.second_opens);
        if (second == INVALID_HANDLE_VALUE) {
            EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
        } else {
            EXPECT_TRUE(CloseHandle(second));
        }
        EXPECT_TRUE(CloseHandle(first));
        EXPECT_EQ(read_whole(name), "keep me");
    }
    HANDLE again = open_with(name, read_write, 0, OPEN_EXISTING);  // the lock went with the handle
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(again));
}

TEST(create_file, calls_need_the_access_the_handle_was_opened_with)
{
    temp_dir_t dir;
    std::string name = dir.write("ro", "abc");
    HANDLE reader = open_with(name, GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    DWORD done = 9;
    EXPECT_FALSE(WriteFile(reader, "x", 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(done, 0u);
    EXPECT_FALSE(SetEndOfFile(reader));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(CloseHandle(reader));

    HANDLE writer = open_with(name, GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    char byte = 0;
    EXPECT_FALSE(ReadFile(writer, &byte, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(CloseHandle(writer));
    EXPECT_EQ(read_whole(name), "abc");
}

TEST(create_file, closed_and_foreign_handles_are_invalid)
{
    temp_dir_t dir;
    HANDLE file = open_with(dir.file("f"), read_write, 0, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(file));
    int local = 0;
    for (HANDLE handle : {file, INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr), static_cast<HANDLE>(&local)}) {
        DWORD done = 0;
        char byte = 0;
        LONG high = 0;
        EXPECT_FALSE(ReadFile(handle, &byte, 1, &done, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_FALSE(WriteFile(handle, &byte, 1, &done, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(SetFilePointer(handle, 0, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_FALSE(SetEndOfFile(handle));
        EXPECT_FALSE(FlushFileBuffers(handle));
        EXPECT_FALSE(CloseHandle(handle));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
}

TEST(create_file, a_full_disk_fails_the_write_with_disk_full)
{
    HANDLE full = open_with("/dev/full", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(full, INVALID_HANDLE_VALUE);
    DWORD done = 9;
    EXPECT_FALSE(WriteFile(full, "data", 4, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    EXPECT_EQ(done, 0u);
    EXPECT_TRUE(CloseHandle(full));
}

// The open flags the kernel holds for the handle's descriptor, from /proc.
long kernel_flags(HANDLE handle)
{
    std::ifstream info("/proc/self/fdinfo/" + std::to_string(posix::handle_of(handle)->fd));
    std::string key;
    while (info >> key)
        if (key == "flags:") {
            std::string octal;
            info >> octal;
            return std::stol(octal, nullptr, 8);
        }
    return -1;
}

TEST(create_file, write_through_writes_synchronously)
{
    temp_dir_t dir;
    HANDLE plain = open_with(dir.file("a"), read_write, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    HANDLE through = open_with(dir.file("b"), read_write, 0, CREATE_NEW,
                               FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(plain, INVALID_HANDLE_VALUE);
    ASSERT_NE(through, INVALID_HANDLE_VALUE);
    EXPECT_EQ(kernel_flags(plain) & O_SYNC, 0);
    EXPECT_EQ(kernel_flags(through) & O_SYNC, O_SYNC);
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(through, "xyz", 3, &done, nullptr));  // no alignment demanded of files
    EXPECT_EQ(done, 3u);
    EXPECT_TRUE(CloseHandle(plain));
    EXPECT_TRUE(CloseHandle(through));
    EXPECT_EQ(read_whole(dir.file("b")), "xyz");
}

}  // namespace
