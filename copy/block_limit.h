// "/block=": the longest record asked for against what one command can carry.
#pragma once

#include <cstdint>

#include "platform/platform.h"

constexpr uint32_t no_transfer_limit = UINT32_MAX;

// The adapter's limit from IOCTL_SCSI_GET_CAPABILITIES; no_transfer_limit when none is reported.
uint32_t transport_transfer_limit(HANDLE device);

// true when copy_context.longest_record fits both the transport's limit and the drive's maximum
// record length (no_transfer_limit when unknown); otherwise says so with both numbers.
bool longest_record_fits(HANDLE device, const char* device_path, uint32_t drive_maximum);
