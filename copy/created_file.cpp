#include "copy/created_file.h"

#include "platform/platform.h"

bool remove_created_file(const char* name)
{
    // Asked of the name itself: a symbolic link is a reparse point, not the file it leads to.
    const DWORD attributes = GetFileAttributesA(name);
    const DWORD not_a_file = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & not_a_file) == 0 && remove(name) == 0;
}
