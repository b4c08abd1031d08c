// Which device names of a test build are virtual drives: \\.\TapeN when BRX_TAPE<N> names one,
// \\.\ScsiN: when BRX_SCSI<N> does, \\.\ChangerN when BRX_CHANGER<N> does
// (posix::register_device_scheme registers their openers).
#pragma once

#include <memory>

#include "platform/posix/scsi_device.h"

namespace virtual_device {

// False when name is left to Windows (not such a name, or its variable unset or empty). True when
// it is virtual: code is then NO_ERROR with device filled, or the code for CreateFileA to fail with
// (ERROR_NOT_SUPPORTED for a value no registered scheme begins).
bool open_virtual_device(const char* name, DWORD& code, std::unique_ptr<posix::scsi_device_t>& device);

}  // namespace virtual_device
