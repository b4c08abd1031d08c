// Device paths on Linux: the \\.\ namespace, device strings of a registered scheme, kernel nodes.
#include "platform/device_paths.h"

#include <sys/stat.h>

#include "platform/posix/device_namespace.h"
#include "platform/posix/handle_object.h"

bool names_device(const char* name)
{
    if (posix::is_device_name(name) || posix::is_registered_scheme(name)) return true;
    struct stat info {};
    return stat(name, &info) == 0 && S_ISCHR(info.st_mode);
}

HANDLE open_named_device(const char* name)
{
    if (posix::is_device_name(name))
        return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    std::unique_ptr<posix::scsi_device_t> device;
    DWORD code = posix::open_device_string(name, device);
    if (code != NO_ERROR) {
        SetLastError(code);
        return INVALID_HANDLE_VALUE;
    }
    auto object = std::make_unique<posix::handle_object_t>();
    object->kind = posix::handle_kind_t::device;
    object->access = GENERIC_READ | GENERIC_WRITE;
    object->device = std::move(device);
    SetLastError(NO_ERROR);
    return posix::make_handle(std::move(object));
}
