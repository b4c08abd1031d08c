// Turning POSIX failures into the Windows codes the program prints.
#pragma once

#include "platform/platform.h"

namespace posix {

// The Windows code for an errno value; codes Windows has no match for become ERROR_GEN_FAILURE.
DWORD error_from_errno(int error);

// SetLastError(code) and FALSE, the shape of every failing BOOL call.
BOOL fail(DWORD code);
// fail(error_from_errno(errno)).
BOOL fail_errno();

}  // namespace posix
