// Whether two names, or a name and an open handle, are one file: the same volume serial number
// and file index (on Linux the same device and inode), symbolic links followed. brx asks it of
// its list of skipped records, brxtool of convert's output.
#pragma once

#include <cstdint>

#include "platform/platform.h"

struct file_identity_t {
    bool known = false;    // the file exists and told its identity
    bool regular = false;  // neither a directory nor a pipe, terminal or device
    uint32_t volume = 0;
    uint64_t index = 0;
};

// Unknown for a missing file and for device names ("\\.\..."), which would open the device.
file_identity_t identity_of(const char* name);
// For a drive's handle: the file behind it, when it has one (a virtual tape's medium).
file_identity_t identity_of(HANDLE handle);
// Both known and the same file.
bool same_file(const file_identity_t& one, const file_identity_t& other);
