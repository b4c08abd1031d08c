// The wrappers of a test build: a virtual drive's handle goes to the emulation, any other to Windows.
#define BRX_REAL_DEVICE_CALLS
#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "platform/posix/handle_object.h"
#include "platform/windows/virtual_names.h"

namespace {

bool is_virtual(HANDLE handle) { return posix::handle_of(handle) != nullptr; }

// The checks ReadFile and WriteFile make before a record moves.
bool valid_transfer(const void* buffer, DWORD size, LPOVERLAPPED overlapped)
{
    if (overlapped == nullptr && (buffer != nullptr || size == 0)) return true;
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
}

}  // namespace

BOOL posix::fail(DWORD code)
{
    SetLastError(code);
    return FALSE;
}

namespace virtual_device {

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE template_file)
{
    DWORD code = NO_ERROR;
    std::unique_ptr<posix::scsi_device_t> device;
    if (!open_virtual_device(name, code, device))
        return ::CreateFileA(name, access, share_mode, security, disposition, flags, template_file);
    if (code != NO_ERROR) {
        SetLastError(code);
        return INVALID_HANDLE_VALUE;
    }
    auto object = std::make_unique<posix::handle_object_t>();
    object->kind = posix::handle_kind_t::device;
    object->access = access;
    object->device = std::move(device);
    SetLastError(NO_ERROR);
    return posix::make_handle(std::move(object));
}

BOOL CloseHandle(HANDLE handle)
{
    // The drive closes its medium file (through this wrapper) once its handle is gone.
    if (posix::release_handle(handle) != nullptr) return TRUE;
    return ::CloseHandle(handle);
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped)
{
    posix::handle_object_t* drive = posix::handle_of(handle);
    if (drive == nullptr) return ::ReadFile(handle, buffer, size, done, overlapped);
    if (done != nullptr) *done = 0;
    return valid_transfer(buffer, size, overlapped) && posix::device_read_file(*drive, buffer, size, done);
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped)
{
    posix::handle_object_t* drive = posix::handle_of(handle);
    if (drive == nullptr) return ::WriteFile(handle, buffer, size, done, overlapped);
    if (done != nullptr) *done = 0;
    return valid_transfer(buffer, size, overlapped) && posix::device_write_file(*drive, buffer, size, done);
}

BOOL GetFileInformationByHandle(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information)
{
    posix::handle_object_t* drive = posix::handle_of(handle);
    if (drive == nullptr) return ::GetFileInformationByHandle(handle, information);
    if (information != nullptr && drive->device->file_information(*information)) return TRUE;
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
}

BOOL DeviceIoControl(HANDLE device, DWORD control_code, LPVOID in, DWORD in_size, LPVOID out, DWORD out_size,
                     LPDWORD returned, LPOVERLAPPED overlapped)
{
    if (is_virtual(device))
        return emulated_device::DeviceIoControl(device, control_code, in, in_size, out, out_size, returned,
                                                overlapped);
    return ::DeviceIoControl(device, control_code, in, in_size, out, out_size, returned, overlapped);
}

DWORD GetTapeParameters(HANDLE device, DWORD operation, LPDWORD size, LPVOID information)
{
    if (is_virtual(device)) return emulated_device::GetTapeParameters(device, operation, size, information);
    return ::GetTapeParameters(device, operation, size, information);
}

DWORD SetTapeParameters(HANDLE device, DWORD operation, LPVOID information)
{
    if (is_virtual(device)) return emulated_device::SetTapeParameters(device, operation, information);
    return ::SetTapeParameters(device, operation, information);
}

DWORD SetTapePosition(HANDLE device, DWORD method, DWORD partition, DWORD low, DWORD high, BOOL immediate)
{
    if (is_virtual(device)) return emulated_device::SetTapePosition(device, method, partition, low, high, immediate);
    return ::SetTapePosition(device, method, partition, low, high, immediate);
}

DWORD GetTapePosition(HANDLE device, DWORD type, LPDWORD partition, LPDWORD low, LPDWORD high)
{
    if (is_virtual(device)) return emulated_device::GetTapePosition(device, type, partition, low, high);
    return ::GetTapePosition(device, type, partition, low, high);
}

DWORD WriteTapemark(HANDLE device, DWORD type, DWORD count, BOOL immediate)
{
    if (is_virtual(device)) return emulated_device::WriteTapemark(device, type, count, immediate);
    return ::WriteTapemark(device, type, count, immediate);
}

DWORD PrepareTape(HANDLE device, DWORD operation, BOOL immediate)
{
    if (is_virtual(device)) return emulated_device::PrepareTape(device, operation, immediate);
    return ::PrepareTape(device, operation, immediate);
}

DWORD EraseTape(HANDLE device, DWORD type, BOOL immediate)
{
    if (is_virtual(device)) return emulated_device::EraseTape(device, type, immediate);
    return ::EraseTape(device, type, immediate);
}

}  // namespace virtual_device
