// The two C runtime extensions the program uses.
#include <cctype>
#include <cerrno>
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

int _fileno(FILE* stream) { return fileno(stream); }

int _isatty(int descriptor) { return isatty(descriptor); }

#undef fopen
// The Windows runtime leaves the system's error code behind when fopen fails; callers print it.
FILE* brx_fopen(const char* name, const char* mode)
{
    FILE* stream = std::fopen(name, mode);
    if (stream == nullptr) SetLastError(posix::open_error(name, errno));
    return stream;
}
