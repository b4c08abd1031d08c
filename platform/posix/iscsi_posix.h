// iSCSI LUNs as devices: the address a device string names.
#pragma once

#include <string>

#include "platform/platform.h"

namespace posix {

struct iscsi_address_t {
    std::string portal;  // "HOST:PORT", as libiscsi connects to it
    std::string target;  // the target's IQN
    int lun = 0;
    int timeout_seconds = 15;  // a connection silent this long is given up, during login or a command
};

constexpr int iscsi_default_port = 3260;

// Splits "iscsi://HOST[:PORT]/TARGET-IQN/LUN[?timeout=S]" (HOST may be a bracketed IPv6 address;
// S from 1 to 86400).
// ERROR_INVALID_NAME when the text has any other form.
DWORD parse_iscsi_url(const char* text, iscsi_address_t& address);

}  // namespace posix
