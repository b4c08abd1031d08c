#include <windows.h>

#include "brxtool/progress.h"

bool standard_error_is_terminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
