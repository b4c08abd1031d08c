// The message writer that dump and restore share with the front end.
#pragma once

// printf-style. Formats the message once and writes the same bytes to standard error and then,
// when a log is open, to the log. A message of any length is written whole.
void report(const char* format, ...);
