#include "frontend/front_end_state.h"

front_end_state_t front_end;

const uint32_t buffer_size = transfer_buffer_size;
const char log_option[] = "/log=";
const char reads_option[] = "/reads=";
const char ignore_option[] = "/ignore";
const char block_option[] = "/block=";
const char bad_option[] = "/bad=";
const char skip_option[] = "/skip";
const char strict_option[] = "/strict";
const char progress_option[] = "/progress";
const char manifest_option[] = "/manifest";
const char buffer_option[] = "/buffer=";

uint32_t transfer_buffer_for(uint32_t longest_record)
{
    const uint32_t needed = longest_record + 512;
    return needed > transfer_buffer_size ? needed : transfer_buffer_size;
}
