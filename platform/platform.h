// The Win32 subset the program uses: the real API on Windows, platform/posix on Linux.
#pragma once

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>
#else
#include "platform/posix/win32.h"
#endif

// Prints a signed 64-bit number: "%I64d" on Windows.
#ifdef _WIN32
#define BRX_I64D "%I64d"
#else
#define BRX_I64D "%" PRId64
#endif
