// GetStdHandle and GetFileType: standard input and output as handles, and what a handle reaches.
#include <sys/stat.h>

#include "platform/posix/errors.h"
#include "platform/posix/handle_object.h"

namespace {

// One handle per stream for the whole process, as Windows keeps them.
HANDLE std_handle(int fd, DWORD access)
{
    auto object = std::make_unique<posix::handle_object_t>();
    object->kind = posix::handle_kind_t::file;
    object->fd = fd;
    object->access = access;
    return posix::make_handle(std::move(object));
}

}  // namespace

HANDLE GetStdHandle(DWORD which)
{
    static const HANDLE input = std_handle(0, GENERIC_READ);
    static const HANDLE output = std_handle(1, GENERIC_WRITE);
    static const HANDLE error = std_handle(2, GENERIC_WRITE);
    if (which == STD_INPUT_HANDLE) return input;
    if (which == STD_OUTPUT_HANDLE) return output;
    if (which == STD_ERROR_HANDLE) return error;
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
}

DWORD GetFileType(HANDLE handle)
{
    posix::handle_object_t* object = posix::handle_of(handle);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FILE_TYPE_UNKNOWN;
    }
    SetLastError(NO_ERROR);
    if (object->kind == posix::handle_kind_t::device) return FILE_TYPE_CHAR;
    struct stat info {};
    if (fstat(object->fd, &info) != 0) {
        posix::fail_errno();
        return FILE_TYPE_UNKNOWN;
    }
    if (S_ISREG(info.st_mode) || S_ISBLK(info.st_mode)) return FILE_TYPE_DISK;
    if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return FILE_TYPE_PIPE;
    return FILE_TYPE_CHAR;
}
