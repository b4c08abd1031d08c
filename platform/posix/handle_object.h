// What a HANDLE of the posix layer points to: an open file or a SCSI device.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/posix/scsi_device.h"

namespace posix {

enum class handle_kind_t { file, device };

struct handle_object_t {
    handle_kind_t kind = handle_kind_t::file;
    int fd = -1;      // files only
    DWORD access = 0; // GENERIC_READ / GENERIC_WRITE as asked at open
    std::unique_ptr<scsi_device_t> device;  // devices only
    // Address the tape API uses for its own commands; a tape device is one drive, so 0:0:0.
    uint8_t path_id = 0;
    uint8_t target_id = 0;
    uint8_t lun = 0;
};

// Takes ownership; the HANDLE stays valid until release_handle.
HANDLE make_handle(std::unique_ptr<handle_object_t> object);
// The object behind a live handle, or nullptr for INVALID_HANDLE_VALUE, closed or foreign values.
handle_object_t* handle_of(HANDLE handle);
// Forgets the handle and gives the object back (nullptr when it was not live).
std::unique_ptr<handle_object_t> release_handle(HANDLE handle);
// The SCSI device behind a device handle, or nullptr for files and invalid handles.
scsi_device_t* device_of(HANDLE handle);

// ReadFile and WriteFile on a device handle: the tape class driver's part (tape API file).
BOOL device_read_file(handle_object_t& object, LPVOID buffer, DWORD to_read, LPDWORD read);
BOOL device_write_file(handle_object_t& object, LPCVOID buffer, DWORD to_write, LPDWORD written);

}  // namespace posix
