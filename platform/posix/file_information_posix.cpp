// GetFileInformationByHandle: a file's kind and identity, its device and inode standing for
// Windows' volume serial number and file index.
#include <sys/stat.h>

#include "platform/posix/errors.h"
#include "platform/posix/file_open.h"

namespace posix {

void describe_file(const struct stat& status, BY_HANDLE_FILE_INFORMATION& information)
{
    information = BY_HANDLE_FILE_INFORMATION{};
    const uint64_t device = status.st_dev, inode = status.st_ino, size = static_cast<uint64_t>(status.st_size);
    information.dwFileAttributes = S_ISDIR(status.st_mode)   ? FILE_ATTRIBUTE_DIRECTORY
                                   : S_ISREG(status.st_mode) ? FILE_ATTRIBUTE_NORMAL
                                                             : FILE_ATTRIBUTE_DEVICE;  // a FIFO, socket or node
    information.dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
    information.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    information.nFileSizeLow = static_cast<DWORD>(size);
    information.nNumberOfLinks = static_cast<DWORD>(status.st_nlink);
    information.nFileIndexHigh = static_cast<DWORD>(inode >> 32);
    information.nFileIndexLow = static_cast<DWORD>(inode);
}

}  // namespace posix

BOOL GetFileInformationByHandle(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information)
{
    posix::handle_object_t* object = posix::handle_of(handle);
    if (object == nullptr || information == nullptr) return posix::fail(ERROR_INVALID_HANDLE);
    if (object->kind == posix::handle_kind_t::device)
        return object->device->file_information(*information) ? TRUE : posix::fail(ERROR_INVALID_FUNCTION);
    struct stat status {};
    if (fstat(object->fd, &status) != 0) return posix::fail_errno();
    posix::describe_file(status, *information);
    return TRUE;
}
