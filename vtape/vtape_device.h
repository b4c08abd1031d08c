// The virtual drive as a SCSI device of the platform layer, for the device scheme "vtape:".
#pragma once

#include <memory>

#include "platform/posix/scsi_device.h"

constexpr char vtape_scheme[] = "vtape:";

// A posix::device_opener_t: device_string is "vtape:PATH?OPTIONS". Returns NO_ERROR and fills device,
// ERROR_INVALID_PARAMETER for a bad string, or the medium file's open error.
DWORD vtape_open_device(const char* device_string, std::unique_ptr<posix::scsi_device_t>& device);
