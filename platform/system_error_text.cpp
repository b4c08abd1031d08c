#include "platform/system_error_text.h"

// One per thread: brxtool's library workers report failures side by side.
static thread_local char error_text[256];

const char* system_error_text(DWORD code)
{
    // FormatMessageA leaves the buffer alone when it has no text; the last text must not show.
    error_text[0] = '\0';
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, error_text, sizeof error_text, nullptr);
    return error_text;
}
