// The system's message texts, looked up by error code.
#pragma once

#include "platform/platform.h"

namespace posix {

struct message_text_t {
    DWORD code;
    const char* text;
};

// The text for a code, ending in a line break, or nullptr when the system has none.
const char* message_text(DWORD code);

}  // namespace posix
