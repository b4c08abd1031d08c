#include "copy/dump_restore_output.h"

#include <cstdarg>
#include <cstdio>

#include "copy/copy_context.h"
#include "copy/progress.h"

void print_to_console_and_log(const char* format, ...)
{
    progress_erase();
    va_list arguments;
    va_start(arguments, format);
    va_list for_log;
    va_copy(for_log, arguments);
    vfprintf(stderr, format, arguments);
    if (copy_context.log_stream != nullptr)
        vfprintf(copy_context.log_stream, format, for_log);
    va_end(for_log);
    va_end(arguments);
}

void print_last_error(const char* format)
{
    progress_erase();
    fprintf(stderr, format, copy_context.system_error_text(GetLastError()));
    if (copy_context.log_stream != nullptr)
        fprintf(copy_context.log_stream, format, copy_context.system_error_text(GetLastError()));
}

void print_error_text(const char* format, DWORD code)
{
    progress_erase();
    fprintf(stderr, format, copy_context.system_error_text(code));
    if (copy_context.log_stream != nullptr)
        fprintf(copy_context.log_stream, format, copy_context.system_error_text(code));
}
