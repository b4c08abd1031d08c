// GetDiskFreeSpaceExA over statvfs.
#include <sys/statvfs.h>

#include <cerrno>

#include "platform/posix/errors.h"
#include "platform/posix/file_open.h"

BOOL GetDiskFreeSpaceExA(LPCSTR directory, PULARGE_INTEGER free_to_caller, PULARGE_INTEGER total,
                         PULARGE_INTEGER total_free)
{
    const char* name = directory != nullptr ? directory : ".";
    struct statvfs info {};
    if (statvfs(name, &info) != 0) return posix::fail(posix::open_error(name, errno));
    const uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    if (free_to_caller != nullptr) free_to_caller->QuadPart = uint64_t{info.f_bavail} * unit;
    if (total != nullptr) total->QuadPart = uint64_t{info.f_blocks} * unit;
    if (total_free != nullptr) total_free->QuadPart = uint64_t{info.f_bfree} * unit;
    SetLastError(NO_ERROR);
    return TRUE;
}
