// Opening ordinary files, the part of CreateFileA that is not about devices.
#pragma once

#include <sys/stat.h>

#include <memory>

#include "platform/posix/handle_object.h"

namespace posix {

// NO_ERROR and a new file object, or the Windows code for CreateFileA to fail with.
// On success the last error is set as Windows sets it (ERROR_ALREADY_EXISTS or NO_ERROR).
DWORD open_file(const char* name, DWORD access, DWORD share_mode, DWORD disposition, DWORD flags,
                std::unique_ptr<handle_object_t>& object);

// Opens name with these open(2) flags (no O_CREAT/O_TRUNC: the disposition says) under Windows'
// sharing rules; an existing file is cut only once the open is sure to succeed. NO_ERROR and fd,
// or the Windows code (fd -1). Sets existed when the file was there before.
DWORD open_shared(const char* name, int flags, DWORD access, DWORD share_mode, DWORD disposition, int& fd,
                  bool& existed);

// Takes part in sharing for a regular file's new descriptor: NO_ERROR, or ERROR_SHARING_VIOLATION
// when access or share mode conflict with an open of any process. Closing fd gives everything back.
DWORD claim_sharing(int fd, DWORD access, DWORD share_mode);

// What GetFileInformationByHandle gives for a file of this status.
void describe_file(const struct stat& status, BY_HANDLE_FILE_INFORMATION& information);

// The Windows code for a failed open of name with this errno (a missing directory is not a missing file).
DWORD open_error(const char* name, int error);

}  // namespace posix
