// CreateFileA for ordinary files: dispositions, access, sharing and write-through.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/errors.h"
#include "platform/posix/file_open.h"

namespace posix {
namespace {

int access_flags(DWORD access)
{
    bool read = (access & GENERIC_READ) != 0;
    bool write = (access & GENERIC_WRITE) != 0;
    if (read && write) return O_RDWR;
    return write ? O_WRONLY : O_RDONLY;  // no access at all still needs a descriptor
}

// Opens without O_TRUNC: a file is cut only after the sharing check passed, so a refused open
// loses nothing. Sets existed when the file was there before.
int open_descriptor(const char* name, int flags, DWORD disposition, bool& existed)
{
    existed = true;
    if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) return open(name, flags, 0666);
    if (disposition == CREATE_NEW) {
        existed = false;
        return open(name, flags | O_CREAT | O_EXCL, 0666);
    }
    // CREATE_ALWAYS, OPEN_ALWAYS: create unless it is there, and know which happened.
    int fd = open(name, flags | O_CREAT | O_EXCL, 0666);
    if (fd >= 0 || errno != EEXIST) {
        existed = false;
        return fd;
    }
    fd = open(name, flags, 0666);
    if (fd >= 0 || errno != ENOENT) return fd;
    // A symbolic link to a missing file (O_EXCL does not follow it), or a file removed in between:
    // the file the name leads to is created.
    existed = false;
    return open(name, flags | O_CREAT, 0666);
}

bool valid_disposition(DWORD disposition)
{
    return disposition >= CREATE_NEW && disposition <= TRUNCATE_EXISTING;
}

}  // namespace

// Linux says ENOENT whether the file or a directory on its path is missing; Windows tells them apart.
DWORD missing_path_error(const char* name)
{
    std::string parent(name);
    std::string::size_type slash = parent.find_last_of('/');
    if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;  // the current directory exists
    parent.resize(slash == 0 ? 1 : slash);
    struct stat info {};
    if (stat(parent.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return ERROR_PATH_NOT_FOUND;
    return ERROR_FILE_NOT_FOUND;
}

DWORD open_error(const char* name, int error)
{
    if (error == ENOENT) return missing_path_error(name);
    return error_from_errno(error);
}

DWORD open_shared(const char* name, int flags, DWORD access, DWORD share_mode, DWORD disposition, int& fd,
                  bool& existed)
{
    fd = open_descriptor(name, flags | O_CLOEXEC, disposition, existed);
    if (fd < 0) return open_error(name, errno);
    struct stat info {};
    DWORD code = fstat(fd, &info) != 0 ? error_from_errno(errno) : NO_ERROR;
    if (code == NO_ERROR && S_ISDIR(info.st_mode)) code = ERROR_ACCESS_DENIED;
    // Devices and pipes take no part in sharing and are never cut.
    const bool regular = code == NO_ERROR && S_ISREG(info.st_mode);
    if (regular) code = claim_sharing(fd, access, share_mode);
    bool truncate = existed && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
    if (code == NO_ERROR && regular && truncate && ftruncate(fd, 0) != 0) code = error_from_errno(errno);
    if (code != NO_ERROR) {
        close(fd);
        fd = -1;
    }
    return code;
}

DWORD open_file(const char* name, DWORD access, DWORD share_mode, DWORD disposition, DWORD flags,
                std::unique_ptr<handle_object_t>& object)
{
    if (!valid_disposition(disposition)) return ERROR_INVALID_PARAMETER;
    if (disposition == TRUNCATE_EXISTING && (access & GENERIC_WRITE) == 0) return ERROR_INVALID_PARAMETER;
    if (name[0] == '\0') return ERROR_PATH_NOT_FOUND;
    // Write-through: every write reaches the disk before WriteFile returns. NO_BUFFERING is not
    // imitated for files (O_DIRECT would demand aligned buffers and fails on tmpfs).
    int open_flags = access_flags(access) | ((flags & FILE_FLAG_WRITE_THROUGH) ? O_SYNC : 0);
    // No data access asks only about the file: a FIFO must not wait for its other end, a device
    // must not be opened for I/O.
    if (access == 0 && disposition == OPEN_EXISTING) open_flags = O_PATH;
    bool existed = false;
    int fd = -1;
    DWORD code = open_shared(name, open_flags, access, share_mode, disposition, fd, existed);
    if (code != NO_ERROR) return code;
    object = std::make_unique<handle_object_t>();
    object->kind = handle_kind_t::file;
    object->fd = fd;
    object->access = access;
    // Windows reports an existing file it opened or replaced for these two dispositions.
    SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                        : NO_ERROR);
    return NO_ERROR;
}

}  // namespace posix
