// On Windows every device has a name in the device namespace: \\.\TapeN, \\.\ChangerN, \\.\ScsiN:.
#include "platform/device_paths.h"

bool names_device(const char* name) { return std::strncmp(name, "\\\\.\\", 4) == 0; }

HANDLE open_named_device(const char* name)
{
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}
