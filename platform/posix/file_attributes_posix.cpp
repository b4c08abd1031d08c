// GetFileAttributesA: what kind of thing a name stands for, without following a symbolic link.
#include <sys/stat.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/file_open.h"

DWORD GetFileAttributesA(LPCSTR name)
{
    struct stat status {};
    if (name == nullptr || lstat(name, &status) != 0) {
        SetLastError(posix::open_error(name == nullptr ? "" : name, errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISLNK(status.st_mode)) return FILE_ATTRIBUTE_REPARSE_POINT;
    if (S_ISDIR(status.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    if (!S_ISREG(status.st_mode)) return FILE_ATTRIBUTE_DEVICE;  // a FIFO, socket or device node
    return FILE_ATTRIBUTE_NORMAL;
}
