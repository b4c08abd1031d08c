// The two C runtime extensions the program uses, and the runtime's Windows manners.
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include <unistd.h>

#include "platform/platform.h"
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

bool is_directory(FILE* stream)
{
    struct stat status {};
    return fstat(fileno(stream), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

int _fileno(FILE* stream) { return fileno(stream); }

int _isatty(int descriptor) { return isatty(descriptor); }

#undef fopen
// The Windows runtime leaves the system's error code behind when fopen fails; callers print it.
// Like it, a directory is not opened as a file.
FILE* brx_fopen(const char* name, const char* mode)
{
    (void)broken_pipe_is_a_write_error;
    FILE* stream = std::fopen(name, mode);
    if (stream != nullptr && is_directory(stream)) {
        std::fclose(stream);
        stream = nullptr;
        errno = EACCES;
    }
    if (stream == nullptr) SetLastError(posix::open_error(name, errno));
    return stream;
}
