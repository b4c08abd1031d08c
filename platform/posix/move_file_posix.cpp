// MoveFileExA: rename(2), which replaces the target at once or not at all.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/posix/errors.h"
#include "platform/posix/file_open.h"

namespace {

// The rename is on the disk once its folder is.
bool sync_folder(const char* name)
{
    std::string folder(name);
    std::string::size_type slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? "." : folder.substr(0, slash == 0 ? 1 : slash);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
}

}  // namespace

BOOL MoveFileExA(LPCSTR existing, LPCSTR new_name, DWORD flags)
{
    if (existing == nullptr || new_name == nullptr) return posix::fail(ERROR_INVALID_PARAMETER);
    struct stat status {};
    if ((flags & MOVEFILE_REPLACE_EXISTING) == 0 && lstat(new_name, &status) == 0)
        return posix::fail(ERROR_ALREADY_EXISTS);
    if (rename(existing, new_name) != 0) return posix::fail(posix::open_error(existing, errno));
    if ((flags & MOVEFILE_WRITE_THROUGH) != 0 && !sync_folder(new_name)) return posix::fail_errno();
    return TRUE;
}
