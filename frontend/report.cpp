#include "frontend/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frontend/front_end_state.h"

static void write_both(const char* text, size_t length)
{
    fwrite(text, 1, length, stderr);
    if (front_end.log_stream != nullptr)
        fwrite(text, 1, length, front_end.log_stream);
}

// A message too long for the usual buffer (a very long device name) is formatted again whole.
static void report_long(const char* format, va_list arguments, size_t length, const char* cut)
{
    char* whole = static_cast<char*>(malloc(length + 1));
    if (whole == nullptr) {
        write_both(cut, strlen(cut));
        return;
    }
    vsnprintf(whole, length + 1, format, arguments);
    write_both(whole, length);
    free(whole);
}

void report(const char* format, ...)
{
    char text[260];
    va_list arguments;
    va_list again;
    va_start(arguments, format);
    va_copy(again, arguments);
    const int length = vsnprintf(text, sizeof text, format, arguments);
    if (length >= 0 && static_cast<size_t>(length) < sizeof text)
        write_both(text, static_cast<size_t>(length));
    else if (length >= 0)
        report_long(format, again, static_cast<size_t>(length), text);
    va_end(again);
    va_end(arguments);
}
