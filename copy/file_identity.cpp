#include "copy/file_identity.h"

file_identity_t identity_of(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &information))
        return {};
    file_identity_t identity;
    identity.known = true;
    identity.regular = (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    identity.volume = information.dwVolumeSerialNumber;
    identity.index = (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    return identity;
}

file_identity_t identity_of(const char* name)
{
    if (name == nullptr || strncmp(name, "\\\\.\\", 4) == 0)
        return {};
    // No data access: only the file's identity is asked for, and no sharing is disturbed.
    const HANDLE handle =
        CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    const file_identity_t identity = identity_of(handle);
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    return identity;
}

bool same_file(const file_identity_t& one, const file_identity_t& other)
{
    return one.known && other.known && one.volume == other.volume && one.index == other.index;
}
