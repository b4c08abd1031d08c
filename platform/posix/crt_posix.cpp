// The C runtime extensions the program uses, fopen as the Windows runtime opens, and the
// runtime's Windows manners.
#include <fcntl.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/file_open.h"

char* _strlwr(char* text)
{
    for (char* at = text; *at != '\0'; ++at) {
        unsigned char c = static_cast<unsigned char>(*at);
        if (std::isalpha(c)) *at = static_cast<char>(std::tolower(c));
    }
    return text;
}

int64_t _ftelli64(FILE* stream) { return ftello(stream); }

namespace {

// Windows has no SIGPIPE: a write to a pipe whose reader has gone fails, and the caller reports it.
const bool broken_pipe_is_a_write_error = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;

struct fopen_mode_t {
    int flags = 0;
    DWORD access = 0, disposition = 0;
};

bool parse_fopen_mode(const char* mode, fopen_mode_t& parsed)
{
    const bool update = std::strchr(mode, '+') != nullptr;
    const DWORD read_write = GENERIC_READ | GENERIC_WRITE;
    switch (mode[0]) {
    case 'r': parsed = {update ? O_RDWR : O_RDONLY, update ? read_write : GENERIC_READ, OPEN_EXISTING}; return true;
    case 'w': parsed = {update ? O_RDWR : O_WRONLY, update ? read_write : GENERIC_WRITE, CREATE_ALWAYS}; return true;
    case 'a':
        parsed = {(update ? O_RDWR : O_WRONLY) | O_APPEND, update ? read_write : GENERIC_WRITE, OPEN_ALWAYS};
        return true;
    default: return false;
    }
}

}  // namespace

int _fileno(FILE* stream) { return fileno(stream); }

int _isatty(int descriptor) { return isatty(descriptor); }

#undef fopen
// The Windows runtime shares what fopen opens for reading and writing, and leaves the system's
// error code behind when it fails; callers print it.
FILE* brx_fopen(const char* name, const char* mode)
{
    (void)broken_pipe_is_a_write_error;
    fopen_mode_t parsed;
    if (name == nullptr || mode == nullptr || !parse_fopen_mode(mode, parsed)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        errno = EINVAL;
        return nullptr;
    }
    int fd = -1;
    bool existed = false;
    const DWORD code = posix::open_shared(name, parsed.flags, parsed.access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          parsed.disposition, fd, existed);
    FILE* stream = code == NO_ERROR ? fdopen(fd, mode) : nullptr;
    if (stream == nullptr) {
        if (code == NO_ERROR) {
            SetLastError(posix::error_from_errno(errno));
            close(fd);
        } else {
            SetLastError(code);
            if (code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED) errno = EACCES;
        }
    }
    return stream;
}
