// The console calls: a terminal here needs no mode to show escape sequences.
#include "platform/posix/errors.h"

BOOL GetConsoleMode(HANDLE, LPDWORD) { return posix::fail(ERROR_INVALID_HANDLE); }

BOOL SetConsoleMode(HANDLE, DWORD) { return posix::fail(ERROR_INVALID_HANDLE); }
