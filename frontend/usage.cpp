#include "frontend/usage.h"

#include <cstdio>

const char usage_text[] =
    "Usage: brx <tape-device-name> <file-name> [options]\n"
    "   or: brx <file-name> <tape-device-name>\n"
    "           <tape-device-name> stands for tape device\n"
    "           <file-name> stands for name of file to dump to\n"
    "\n"
    "options:\n"
    "   /log=<file name> - log file name\n"
    "   /reads=<number>  - number of attempts to read the damaged data block\n"
    "   /ignore          - try to ignore the bad blocks and continue execution\n"
    "\n";

void print_banner()
{
    fprintf(stderr, "\nbrx " BRX_VERSION " - tape dump and restore utility\n\nWritten by the brx developers\n\n%s", usage_text);
}

void print_wrong_arguments()
{
    fprintf(stderr, "brx: wrong argument(s) detected\n%s", usage_text);
}
