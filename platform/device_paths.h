// Device names a user types where a file name could stand, for tape drives and changers alike.
#pragma once

#include "platform/platform.h"

// True when name is a device rather than a file: a name in the device namespace ("\\.\") on
// every system; on Linux also a device string (a scheme the program registered, such as
// iscsi:// or vtape:, or a character device node such as /dev/nst0 or /dev/sg3).
bool names_device(const char* name);

// Opens a device for SCSI pass-through, for reading and writing, unshared. INVALID_HANDLE_VALUE,
// with the reason in GetLastError(), when it cannot.
HANDLE open_named_device(const char* name);
