// Device names: \\.\TapeN and \\.\ScsiN: map to device strings, whose scheme picks an opener.
#pragma once

#include <memory>

#include "platform/posix/scsi_device.h"

namespace posix {

// Opens the device a device string names (the whole string, scheme included). Returns NO_ERROR and
// fills device, or a Windows error code for CreateFileA to fail with.
using device_opener_t = DWORD (*)(const char* device_string, std::unique_ptr<scsi_device_t>& device);

// Schemes are prefixes such as "vtape:" or "iscsi://"; the program and tests register them at start-up.
void register_device_scheme(const char* prefix, device_opener_t opener);
// True when a registered scheme begins the device string.
bool is_registered_scheme(const char* device_string);

}  // namespace posix

namespace posix {

// True for names in the Win32 device namespace, those that begin "\\.\".
bool is_device_name(const char* name);

// Opens \\.\TapeN (BRX_TAPE<N>, else /dev/nst<N>), \\.\ScsiN: (BRX_SCSI<N>, else SCSI host N) or
// \\.\ChangerN (BRX_CHANGER<N>, else the sg node of the Nth medium changer the kernel lists).
// Returns NO_ERROR and fills device, or the Windows code for CreateFileA to fail with.
DWORD open_device_name(const char* name, std::unique_ptr<scsi_device_t>& device);

// Opens a device string: a registered scheme, else a kernel node path.
DWORD open_device_string(const char* device_string, std::unique_ptr<scsi_device_t>& device);

}  // namespace posix
