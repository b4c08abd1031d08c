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
#include <io.h>
#ifdef BRX_VIRTUAL_DEVICES
#include "platform/windows/virtual_devices.h"
#endif
#else
#include "platform/posix/win32.h"
#endif

// Prints a signed 64-bit number (int64_t). With Microsoft's printf this is "%I64d"; MinGW's
// libstdc++ selects its own ISO printf, where the same conversion is spelt "%lld".
#define BRX_I64D "%" PRId64
