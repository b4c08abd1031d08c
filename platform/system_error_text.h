// The operating system's text for an error code, with its own line break at the end.
#pragma once

#include "platform/platform.h"

// Returns the thread's 256-byte buffer, overwritten by every call; empty when the system has no
// text for the code.
const char* system_error_text(DWORD code);
