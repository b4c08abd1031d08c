// The errno-to-Windows mapping and the per-thread last error.
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/posix/errors.h"
#include "platform/posix/message_texts.h"

namespace {

TEST(errors, errno_values_become_what_windows_says_in_the_same_situation)
{
    const struct {
        int error;
        DWORD code;
    } cases[] = {
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
        SCOPED_TRACE(c.error);
        EXPECT_EQ(posix::error_from_errno(c.error), c.code);
    }
}

TEST(errors, every_mapped_code_has_a_system_text)
{
    for (int error = 1; error < 134; ++error) {
        SCOPED_TRACE(error);
        EXPECT_NE(posix::message_text(posix::error_from_errno(error)), nullptr);
    }
}

TEST(errors, last_error_belongs_to_each_thread)
{
    SetLastError(ERROR_DISK_FULL);
    DWORD seen_by_other = 1, after_other_set = 0;
    std::thread other([&] {
        seen_by_other = GetLastError();
        EXPECT_FALSE(posix::fail(ERROR_IO_DEVICE));
        after_other_set = GetLastError();
    });
    other.join();
    EXPECT_EQ(seen_by_other, NO_ERROR);
    EXPECT_EQ(after_other_set, ERROR_IO_DEVICE);
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    errno = ENOSPC;
    EXPECT_FALSE(posix::fail_errno());
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
}

}  // namespace
