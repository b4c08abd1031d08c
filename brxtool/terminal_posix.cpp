#include <unistd.h>

#include "brxtool/progress.h"

bool standard_error_is_terminal() { return isatty(STDERR_FILENO) == 1; }
