// The switches "/log=", "/reads=" and "/ignore", and the extension words "/block=", "/bad=",
// "/skip", "/strict", "/progress" and "/manifest", taken from the third argument on.
#pragma once

#include "frontend/front_end_state.h"

// Lower-cases each examined argument in place and records its effect in state. Unknown
// arguments are passed over. A bad value prints its message and ends the examination:
// returns false.
bool parse_options(int argc, char** argv, front_end_state_t& state);
