// The messages of dump and restore that are not numbered: written once to standard error and
// once more to the log, each write formatting the message itself.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"

// A message waiting for the side that writes the records: for standard error, or for the log.
struct held_message_t {
    bool console = false;
    std::string text;
};

// Where one drive's messages go: brx's standard error and log, or a library worker's own
// streams. While held is set they wait there, in order, instead of going out.
struct message_target_t {
    FILE* console = nullptr;
    FILE* log = nullptr;
    void (*before_console)() = nullptr;  // takes a status line off the screen
    const char* (*error_text)(DWORD code) = nullptr;
    std::vector<held_message_t>* held = nullptr;
};

// Formats the message for the console, then again for the log when there is one.
void say(const message_target_t& to, const char* format, ...);
// The same with the text of code as its only argument, looked up again for each write.
void say_error(const message_target_t& to, const char* format, DWORD code);
// The log alone.
void say_to_log(const message_target_t& to, const char* format, ...);
// Puts out messages that were held, in their order.
void put_out(const message_target_t& to, const std::vector<held_message_t>& held);

// brx's: standard error and the log, with the status line of "/progress" taken off first.
message_target_t brx_messages();

// say() to brx_messages().
void print_to_console_and_log(const char* format, ...);

// A message whose only argument is the system's text for the thread's last error code; each of
// the two writes looks the code and its text up again.
void print_last_error(const char* format);

// The same for a given error code: each of the two writes looks its text up again.
void print_error_text(const char* format, DWORD code);
