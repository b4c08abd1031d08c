#include "copy/copy_context.h"

copy_context_t copy_context;
