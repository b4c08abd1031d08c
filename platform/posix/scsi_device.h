// A device that carries SCSI commands: a kernel node, an iSCSI LUN, or an in-process drive.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace posix {

struct scsi_command_t {
    const uint8_t* cdb = nullptr;
    uint8_t cdb_length = 0;
    uint8_t direction = SCSI_IOCTL_DATA_UNSPECIFIED;  // SCSI_IOCTL_DATA_IN, _OUT or _UNSPECIFIED
    uint8_t* data = nullptr;                          // the caller's buffer: data moves here directly
    uint32_t data_length = 0;
    uint32_t timeout_seconds = 0;
    uint8_t path_id = 0;  // address of the drive behind an adapter; devices that are one drive ignore it
    uint8_t target_id = 0;
    uint8_t lun = 0;
    uint8_t* sense = nullptr;  // receives sense data after CHECK CONDITION
    uint32_t sense_capacity = 0;
};

struct scsi_reply_t {
    DWORD error = NO_ERROR;  // not NO_ERROR: the command did not complete, the call fails with this code
    uint8_t status = 0;      // SCSI status byte, when error is NO_ERROR
    uint32_t sense_length = 0;
    uint32_t data_transferred = 0;
};

class scsi_device_t {
public:
    virtual ~scsi_device_t() = default;
    virtual scsi_reply_t execute(const scsi_command_t& command) = 0;
    // The most data one command may carry; larger ones fail. UINT32_MAX: any length (iSCSI).
    virtual uint32_t max_transfer_length() { return UINT32_MAX; }
    // The file the device stands for, to tell whether a name is it; false when it has none.
    virtual bool file_information(BY_HANDLE_FILE_INFORMATION&) { return false; }
};

}  // namespace posix
