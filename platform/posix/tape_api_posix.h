// Shared by the files of the tape API: finding the drive behind a handle and answering a call.
#pragma once

#include "platform/posix/handle_object.h"

namespace posix::tape {

// The drive behind a device handle, or nullptr for files and handles that are not open.
handle_object_t* drive_of(HANDLE device);

// The tape API returns its code and also leaves a failure as the thread's last error.
DWORD answer(DWORD code);

}  // namespace posix::tape
