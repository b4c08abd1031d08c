// FormatMessageA for system codes, the only source the program asks for.
#include <cstring>

#include "platform/posix/errors.h"
#include "platform/posix/message_texts.h"

namespace {

constexpr DWORD supported_flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

// Copies what fits and always terminates; a text that does not fit fails as on Windows.
DWORD copy_text(const char* text, LPSTR buffer, DWORD size)
{
    size_t length = std::strlen(text);
    size_t kept = length < size ? length : size - 1;
    std::memcpy(buffer, text, kept);
    buffer[kept] = '\0';
    if (kept < length) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<DWORD>(length);
}

}  // namespace

// The texts are English whatever language is asked for; none of them has inserts.
DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD message_id, DWORD, LPSTR buffer, DWORD size, va_list*)
{
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || (flags & ~supported_flags) != 0 || buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const char* text = posix::message_text(message_id);
    if (text == nullptr) {
        buffer[0] = '\0';
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    return copy_text(text, buffer, size);
}
