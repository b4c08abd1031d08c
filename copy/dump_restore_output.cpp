#include "copy/dump_restore_output.h"

#include <cstdarg>

#include "copy/copy_context.h"
#include "copy/progress.h"

namespace {

std::string formatted(const char* format, va_list arguments)
{
    va_list again;
    va_copy(again, arguments);
    const int length = vsnprintf(nullptr, 0, format, arguments);
    std::string text(length > 0 ? static_cast<size_t>(length) + 1 : 1, '\0');
    vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    text.pop_back();
    return text;
}

void write_to(const message_target_t& to, bool console, const char* format, va_list arguments)
{
    FILE* stream = console ? to.console : to.log;
    if (stream == nullptr)
        return;
    if (to.held != nullptr) {
        to.held->push_back({console, formatted(format, arguments)});
        return;
    }
    if (console && to.before_console != nullptr)
        to.before_console();
    vfprintf(stream, format, arguments);
}

void put(const message_target_t& to, bool console, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    write_to(to, console, format, arguments);
    va_end(arguments);
}

void say_both(const message_target_t& to, const char* format, va_list arguments)
{
    va_list for_log;
    va_copy(for_log, arguments);
    write_to(to, true, format, arguments);
    write_to(to, false, format, for_log);
    va_end(for_log);
}

}  // namespace

void say(const message_target_t& to, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    say_both(to, format, arguments);
    va_end(arguments);
}

void say_error(const message_target_t& to, const char* format, DWORD code)
{
    put(to, true, format, to.error_text(code));
    if (to.log != nullptr)
        put(to, false, format, to.error_text(code));
}

void say_to_log(const message_target_t& to, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    write_to(to, false, format, arguments);
    va_end(arguments);
}

void put_out(const message_target_t& to, const std::vector<held_message_t>& held)
{
    for (const held_message_t& message : held) {
        FILE* stream = message.console ? to.console : to.log;
        if (message.console && to.before_console != nullptr)
            to.before_console();
        if (stream != nullptr)
            fwrite(message.text.data(), 1, message.text.size(), stream);
    }
}

message_target_t brx_messages()
{
    return {stderr, copy_context.log_stream, progress_erase, copy_context.system_error_text, nullptr};
}

void print_to_console_and_log(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    say_both(brx_messages(), format, arguments);
    va_end(arguments);
}

void print_last_error(const char* format)
{
    progress_erase();
    fprintf(stderr, format, copy_context.system_error_text(GetLastError()));
    if (copy_context.log_stream != nullptr)
        fprintf(copy_context.log_stream, format, copy_context.system_error_text(GetLastError()));
}

void print_error_text(const char* format, DWORD code) { say_error(brx_messages(), format, code); }
