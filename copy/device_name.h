// Tape device names: \\.\tapeN, \\.\scsiN:B:T and the same without \\.\ in front.
#pragma once

#include <cstddef>

#include "platform/platform.h"

// Who asks: dump and restore word their failures differently.
enum class device_caller_t { dump, restore };

// "\\.\Tape-2147483648" and "\\.\Scsi-2147483648:" fit with room to spare.
constexpr size_t device_path_capacity = 32;

struct device_name_t {
    char path[device_path_capacity] = {};  // \\.\TapeN or \\.\ScsiN:
    int number = 0;                        // N: the tape device or the SCSI adapter
    int bus = 0;                           // B: the PathId behind a SCSI adapter
    int target = 0;                        // T: the TargetId behind a SCSI adapter
};

// Lower-cases name in place, recognises its form and fills device: numbers the name lacks
// stay 0 and anything after the last number is disregarded. The path is formatted into
// scratch (scratch_size bytes) and copied into device.path. false when no form matches.
bool recognise_device_name(char* name, char* scratch, size_t scratch_size, device_name_t& device);

// Recognises name (formatting the path in the transfer buffer) and opens the device without
// sharing or system buffering. On failure prints the caller's message and returns
// INVALID_HANDLE_VALUE. The SCSI address is left to the caller.
HANDLE open_device_name(char* name, device_caller_t caller, device_name_t& device);
