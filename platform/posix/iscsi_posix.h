// iSCSI LUNs as devices: the address a device string names.
#pragma once

#include <string>

#include "platform/platform.h"

namespace posix {

struct iscsi_address_t {
    std::string portal;  // "HOST:PORT", as libiscsi connects to it
    std::string target;  // the target's IQN
    int lun = 0;
};

constexpr int iscsi_default_port = 3260;

// Splits "iscsi://HOST[:PORT]/TARGET-IQN/LUN" (HOST may be a bracketed IPv6 address).
// ERROR_INVALID_NAME when the text has any other form.
DWORD parse_iscsi_url(const char* text, iscsi_address_t& address);

}  // namespace posix
