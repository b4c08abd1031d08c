// CreateFileA and CloseHandle: names in the device namespace open SCSI devices, the rest files.
#include <unistd.h>

#include "platform/posix/device_namespace.h"
#include "platform/posix/errors.h"
#include "platform/posix/file_open.h"

namespace {

// Share mode and the buffering flags are moot for devices: the kernel's st driver admits one
// opener at a time, and SCSI commands bypass every cache.
DWORD open_device(const char* name, std::unique_ptr<posix::handle_object_t>& object)
{
    std::unique_ptr<posix::scsi_device_t> device;
    DWORD code = posix::open_device_name(name, device);
    if (code != NO_ERROR) return code;
    object = std::make_unique<posix::handle_object_t>();
    object->kind = posix::handle_kind_t::device;
    object->device = std::move(device);
    SetLastError(NO_ERROR);
    return NO_ERROR;
}

}  // namespace

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE)
{
    if (name == nullptr) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::unique_ptr<posix::handle_object_t> object;
    DWORD code = posix::is_device_name(name) ? open_device(name, object)
                                             : posix::open_file(name, access, share_mode, disposition, flags, object);
    if (code != NO_ERROR) {
        SetLastError(code);
        return INVALID_HANDLE_VALUE;
    }
    object->access = access;
    return posix::make_handle(std::move(object));
}

BOOL CloseHandle(HANDLE handle)
{
    std::unique_ptr<posix::handle_object_t> object = posix::release_handle(handle);
    if (object == nullptr) return posix::fail(ERROR_INVALID_HANDLE);
    // The descriptor is gone whatever close reports; its lock goes with it.
    if (object->fd >= 0) close(object->fd);
    return TRUE;
}
