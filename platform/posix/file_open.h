// Opening ordinary files, the part of CreateFileA that is not about devices.
#pragma once

#include <memory>

#include "platform/posix/handle_object.h"

namespace posix {

// NO_ERROR and a new file object, or the Windows code for CreateFileA to fail with.
// On success the last error is set as Windows sets it (ERROR_ALREADY_EXISTS or NO_ERROR).
DWORD open_file(const char* name, DWORD access, DWORD share_mode, DWORD disposition, DWORD flags,
                std::unique_ptr<handle_object_t>& object);

// The Windows code for a failed open of name with this errno (a missing directory is not a missing file).
DWORD open_error(const char* name, int error);

}  // namespace posix
