#include "frontend/front_end_state.h"

front_end_state_t front_end;

const uint32_t buffer_size = transfer_buffer_size;
const char log_option[] = "/log=";
const char reads_option[] = "/reads=";
const char ignore_option[] = "/ignore";
