// The messages of dump and restore that are not numbered: written once to standard error and
// once more to the log, each write formatting the message itself.
#pragma once

#include "platform/platform.h"

// Formats the message for standard error, then again for the log when one is open.
void print_to_console_and_log(const char* format, ...);

// A message whose only argument is the system's text for the thread's last error code; each of
// the two writes looks the code and its text up again.
void print_last_error(const char* format);

// The same for a given error code: each of the two writes looks its text up again.
void print_error_text(const char* format, DWORD code);
