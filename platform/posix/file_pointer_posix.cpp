// SetFilePointer with the Windows split of the distance and the result into 32-bit halves.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "platform/posix/errors.h"
#include "platform/posix/handle_object.h"

namespace {

DWORD pointer_failure(DWORD code)
{
    SetLastError(code);
    return INVALID_SET_FILE_POINTER;
}

// Without a high half the low half is a signed 32-bit distance.
int64_t distance_of(LONG low, const LONG* high)
{
    if (high == nullptr) return low;
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*high)) << 32) |
                                static_cast<uint32_t>(low));
}

DWORD position_result(int64_t target, PLONG distance_high)
{
    if (distance_high != nullptr) *distance_high = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
    DWORD low = static_cast<DWORD>(target);
    // The one success that looks like a failure: callers tell them apart by the last error.
    if (low == INVALID_SET_FILE_POINTER) SetLastError(NO_ERROR);
    return low;
}

// Finds the origin without moving the pointer, so that a refused move leaves it where it was.
bool origin_of(int fd, DWORD method, int64_t& origin)
{
    origin = 0;
    if (method == FILE_END) {
        struct stat info {};
        if (fstat(fd, &info) != 0) return false;
        origin = info.st_size;
    }
    return true;
}

// A move from the current position in one call: the file drivers tell and skip once per block.
// The kernel refuses a negative result without moving; a result the caller cannot receive is undone.
DWORD move_from_current(int fd, int64_t distance, PLONG distance_high, int64_t& target)
{
    target = lseek(fd, distance, SEEK_CUR);
    if (target < 0) return errno == EINVAL && distance < 0 ? ERROR_NEGATIVE_SEEK : posix::error_from_errno(errno);
    if (distance_high == nullptr && target > std::numeric_limits<uint32_t>::max()) {
        lseek(fd, target - distance, SEEK_SET);
        return ERROR_INVALID_PARAMETER;
    }
    return NO_ERROR;
}

}  // namespace

DWORD SetFilePointer(HANDLE handle, LONG distance_low, PLONG distance_high, DWORD method)
{
    posix::handle_object_t* object = posix::handle_of(handle);
    if (object == nullptr) return pointer_failure(ERROR_INVALID_HANDLE);
    if (object->kind == posix::handle_kind_t::device) return pointer_failure(ERROR_INVALID_FUNCTION);
    if (method > FILE_END) return pointer_failure(ERROR_INVALID_PARAMETER);
    int64_t target = 0;
    if (method == FILE_CURRENT) {
        DWORD code = move_from_current(object->fd, distance_of(distance_low, distance_high), distance_high, target);
        if (code != NO_ERROR) return pointer_failure(code);
        return position_result(target, distance_high);
    }
    int64_t origin = 0;
    if (!origin_of(object->fd, method, origin)) return pointer_failure(posix::error_from_errno(errno));
    if (__builtin_add_overflow(origin, distance_of(distance_low, distance_high), &target))
        return pointer_failure(ERROR_INVALID_PARAMETER);
    if (target < 0) return pointer_failure(ERROR_NEGATIVE_SEEK);
    // A caller that passed no high half cannot receive a position beyond 4 GiB - 1.
    if (distance_high == nullptr && target > std::numeric_limits<uint32_t>::max())
        return pointer_failure(ERROR_INVALID_PARAMETER);
    if (lseek(object->fd, target, SEEK_SET) < 0) return pointer_failure(posix::error_from_errno(errno));
    return position_result(target, distance_high);
}
