// The per-thread last error and the errno-to-Windows mapping.
#include <cerrno>
#include <iterator>

#include "platform/posix/errors.h"

namespace {

thread_local DWORD last_error = NO_ERROR;

struct errno_code_t {
    int error;
    DWORD code;
};

// What Windows answers for the same situation; where Linux has one errno for two Windows cases
// (ENOENT for a missing file and for a missing directory), the caller refines it.
constexpr errno_code_t errno_codes[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_ACCESS_DENIED},
    {EISDIR, ERROR_ACCESS_DENIED},  // Windows refuses to open a directory as a file this way
    {EBADF, ERROR_INVALID_HANDLE},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EBUSY, ERROR_SHARING_VIOLATION},  // an st node or a locked file already open elsewhere
    {EWOULDBLOCK, ERROR_SHARING_VIOLATION},  // only a refused lock yields it here
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {ENOSPC, ERROR_DISK_FULL},
    {EDQUOT, ERROR_DISK_FULL},
    {EFBIG, ERROR_DISK_FULL},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {EOVERFLOW, ERROR_INVALID_PARAMETER},
    {EIO, ERROR_IO_DEVICE},
    {ETIMEDOUT, ERROR_SEM_TIMEOUT},
    {EEXIST, ERROR_FILE_EXISTS},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    // A device node with nothing behind it: Windows says the device name does not exist.
    {ENXIO, ERROR_FILE_NOT_FOUND},
    {ENODEV, ERROR_FILE_NOT_FOUND},
    {ENOMEDIUM, ERROR_NO_MEDIA_IN_DRIVE},
    {ENOTTY, ERROR_INVALID_FUNCTION},
    {ENOSYS, ERROR_INVALID_FUNCTION},
    {EOPNOTSUPP, ERROR_NOT_SUPPORTED},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {EPIPE, ERROR_BROKEN_PIPE},
    {ESPIPE, ERROR_SEEK_ON_DEVICE},
    {ECANCELED, ERROR_OPERATION_ABORTED},
    {EFAULT, ERROR_INVALID_USER_BUFFER},
    {ENOTCONN, ERROR_DEVICE_NOT_CONNECTED},
    {ECONNRESET, ERROR_NETNAME_DELETED},
    {ECONNREFUSED, ERROR_CONNECTION_REFUSED},
    {ENETUNREACH, ERROR_NETWORK_UNREACHABLE},
    {EHOSTUNREACH, ERROR_HOST_UNREACHABLE},
};

}  // namespace

DWORD GetLastError(void) { return last_error; }

void SetLastError(DWORD code) { last_error = code; }

namespace posix {

DWORD error_from_errno(int error)
{
    for (const errno_code_t& entry : errno_codes)
        if (entry.error == error) return entry.code;
    // NT's fallback for a failure it has no better name for.
    return ERROR_GEN_FAILURE;
}

BOOL fail(DWORD code)
{
    SetLastError(code);
    return FALSE;
}

BOOL fail_errno() { return fail(error_from_errno(errno)); }

}  // namespace posix
