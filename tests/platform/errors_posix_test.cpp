// The errno-to-Windows mapping, the per-thread last error, and FormatMessageA's texts for the codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "platform/posix/errors.h"

namespace {

constexpr DWORD untouched = 0x5A5A;

// The bytes FormatMessageA wrote for code into a buffer of size bytes; length gets its result.
std::string system_text(DWORD code, DWORD& length, DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM, DWORD size = 200)
{
    char buffer[256];
    std::memset(buffer, '#', sizeof buffer);
    length = FormatMessageA(flags, nullptr, code, 0, buffer, size, nullptr);
    return std::string(buffer, std::find(buffer, buffer + sizeof buffer, '#'));
}

TEST(errors, errno_values_become_what_windows_says_in_the_same_situation)
{
    const struct { int error; DWORD code; } cases[] = {
        {ENOENT, ERROR_FILE_NOT_FOUND},    {ENOTDIR, ERROR_PATH_NOT_FOUND},   {EACCES, ERROR_ACCESS_DENIED},
        {EPERM, ERROR_ACCESS_DENIED},      {EROFS, ERROR_ACCESS_DENIED},      {EISDIR, ERROR_ACCESS_DENIED},
        {EBADF, ERROR_INVALID_HANDLE},     {ENOMEM, ERROR_NOT_ENOUGH_MEMORY}, {EBUSY, ERROR_SHARING_VIOLATION},
        {EWOULDBLOCK, ERROR_SHARING_VIOLATION}, {ENOSPC, ERROR_DISK_FULL},   {EINVAL, ERROR_INVALID_PARAMETER},
        {EIO, ERROR_IO_DEVICE},            {ETIMEDOUT, ERROR_SEM_TIMEOUT},    {EEXIST, ERROR_FILE_EXISTS},
        {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE}, {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
        {ENXIO, ERROR_FILE_NOT_FOUND},     {ENODEV, ERROR_FILE_NOT_FOUND},    {ENOMEDIUM, ERROR_NO_MEDIA_IN_DRIVE},
        {ENOTTY, ERROR_INVALID_FUNCTION},  {ECONNREFUSED, ERROR_CONNECTION_REFUSED},
        {EXDEV, ERROR_GEN_FAILURE},        {0, ERROR_GEN_FAILURE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(posix::error_from_errno(c.error), c.code) << c.error;
    }
    DWORD length = 0;
    for (int error = 1; error < 134; ++error) {  // whatever a call fails with has a one-line text to print
        const std::string text = system_text(posix::error_from_errno(error), length);
        EXPECT_EQ(text.substr(text.size() < 3 ? 0 : text.size() - 3), std::string(".\n", 3)) << error;
    }
}

TEST(errors, last_error_belongs_to_each_thread)
{
    SetLastError(ERROR_DISK_FULL);
    DWORD seen_by_other = 1;
    std::thread other([&] {
        seen_by_other = GetLastError();
        SetLastError(ERROR_IO_DEVICE);
    });
    other.join();
    EXPECT_EQ(seen_by_other, NO_ERROR);
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
}

TEST(format_message, gives_the_system_texts_with_a_line_break_and_leaves_the_last_error)
{
    const struct { DWORD code; const char* text; } cases[] = {
        {0, "The operation completed successfully.\n"},
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\n"},
        {ERROR_ACCESS_DENIED, "Access is denied.\n"},
        {ERROR_SHARING_VIOLATION, "The process cannot access the file because it is being used by another process.\n"},
        {ERROR_DISK_FULL, "There is not enough space on the disk.\n"},
        {ERROR_END_OF_MEDIA, "The physical end of the tape has been reached.\n"},
        {ERROR_FILEMARK_DETECTED, "A tape access reached a filemark.\n"},
        {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        DWORD length = 0;
        SetLastError(untouched);
        EXPECT_EQ(system_text(c.code, length), std::string(c.text) + '\0');
        EXPECT_EQ(length, std::strlen(c.text));
        EXPECT_EQ(GetLastError(), untouched);
    }
}

TEST(format_message, unknown_codes_small_buffers_and_other_sources_get_nothing_whole)
{
    const std::string zero(1, '\0');
    const struct { DWORD code, flags, size; std::string written; DWORD length, error; } cases[] = {
        {7, FORMAT_MESSAGE_FROM_SYSTEM, 200, zero, 0, ERROR_MR_MID_NOT_FOUND},
        {ERROR_FILE_NOT_FOUND, FORMAT_MESSAGE_FROM_SYSTEM, 10, "The syste" + zero, 0, ERROR_INSUFFICIENT_BUFFER},
        {ERROR_ACCESS_DENIED, FORMAT_MESSAGE_FROM_SYSTEM, 19, "Access is denied.\n" + zero, 18, untouched},
        {ERROR_ACCESS_DENIED, FORMAT_MESSAGE_FROM_SYSTEM, 0, "", 0, ERROR_INSUFFICIENT_BUFFER},
        {ERROR_ACCESS_DENIED, FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, 19,
         "Access is denied.\n" + zero, 18, untouched},
        {ERROR_ACCESS_DENIED, 0, 200, "", 0, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.code << " in " << c.size);
        DWORD length = 1;
        SetLastError(untouched);
        EXPECT_EQ(system_text(c.code, length, c.flags, c.size), c.written);
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

}  // namespace
