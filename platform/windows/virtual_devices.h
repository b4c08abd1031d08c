// A Windows test build (BRX_VIRTUAL_DEVICES) reaches virtual drives through \\.\TapeN and \\.\ScsiN:.
// The calls that take a device handle are renamed here to thin wrappers: a virtual drive's handle
// goes to the SCSI and tape-driver emulation of platform/posix, every other handle to Windows.
// Included by platform.h after <windows.h>; the shipped program is built without it.
#pragma once

// Each call as declare(result, name, parameters): those that open, close, read and write...
#define BRX_FILE_CALLS(declare)                                                                              \
    declare(HANDLE, CreateFileA,                                                                             \
            (LPCSTR name, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES security, DWORD disposition, \
             DWORD flags, HANDLE template_file))                                                             \
    declare(BOOL, CloseHandle, (HANDLE handle))                                                              \
    declare(BOOL, ReadFile, (HANDLE handle, LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped)) \
    declare(BOOL, WriteFile, (HANDLE handle, LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped)) \
    declare(BOOL, GetFileInformationByHandle, (HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information))

// ...and those only a drive answers.
#define BRX_DRIVER_CALLS(declare)                                                                            \
    declare(BOOL, DeviceIoControl,                                                                           \
            (HANDLE device, DWORD control_code, LPVOID in, DWORD in_size, LPVOID out, DWORD out_size,        \
             LPDWORD returned, LPOVERLAPPED overlapped))                                                     \
    declare(DWORD, GetTapeParameters, (HANDLE device, DWORD operation, LPDWORD size, LPVOID information))    \
    declare(DWORD, SetTapeParameters, (HANDLE device, DWORD operation, LPVOID information))                  \
    declare(DWORD, SetTapePosition,                                                                          \
            (HANDLE device, DWORD method, DWORD partition, DWORD low, DWORD high, BOOL immediate))           \
    declare(DWORD, GetTapePosition, (HANDLE device, DWORD type, LPDWORD partition, LPDWORD low, LPDWORD high)) \
    declare(DWORD, WriteTapemark, (HANDLE device, DWORD type, DWORD count, BOOL immediate))                  \
    declare(DWORD, PrepareTape, (HANDLE device, DWORD operation, BOOL immediate))                            \
    declare(DWORD, EraseTape, (HANDLE device, DWORD type, BOOL immediate))

#define BRX_DECLARE_CALL(result, name, parameters) result name parameters;

// The wrappers.
namespace virtual_device {
BRX_FILE_CALLS(BRX_DECLARE_CALL)
BRX_DRIVER_CALLS(BRX_DECLARE_CALL)
}  // namespace virtual_device

// The drive calls as platform/posix implements them, compiled under these names.
namespace emulated_device {
BRX_DRIVER_CALLS(BRX_DECLARE_CALL)
}  // namespace emulated_device

#undef BRX_DECLARE_CALL

// The emulation's sources define the drive calls (BRX_EMULATED_DEVICE_CALLS); the wrappers' own
// file calls Windows by the real names (BRX_REAL_DEVICE_CALLS); all other code calls the wrappers.
#if defined(BRX_EMULATED_DEVICE_CALLS)
#define BRX_DRIVER_CALL(name) emulated_device::name
#elif !defined(BRX_REAL_DEVICE_CALLS)
#define BRX_FILE_CALL(name) virtual_device::name
#define BRX_DRIVER_CALL(name) virtual_device::name
#endif

#ifdef BRX_FILE_CALL
#define CreateFileA BRX_FILE_CALL(CreateFileA)
#define CloseHandle BRX_FILE_CALL(CloseHandle)
#define ReadFile BRX_FILE_CALL(ReadFile)
#define WriteFile BRX_FILE_CALL(WriteFile)
#define GetFileInformationByHandle BRX_FILE_CALL(GetFileInformationByHandle)
#endif

#ifdef BRX_DRIVER_CALL
#define DeviceIoControl BRX_DRIVER_CALL(DeviceIoControl)
#define GetTapeParameters BRX_DRIVER_CALL(GetTapeParameters)
#define SetTapeParameters BRX_DRIVER_CALL(SetTapeParameters)
#define SetTapePosition BRX_DRIVER_CALL(SetTapePosition)
#define GetTapePosition BRX_DRIVER_CALL(GetTapePosition)
#define WriteTapemark BRX_DRIVER_CALL(WriteTapemark)
#define PrepareTape BRX_DRIVER_CALL(PrepareTape)
#define EraseTape BRX_DRIVER_CALL(EraseTape)
#endif
