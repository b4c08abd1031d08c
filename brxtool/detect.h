// Which format an image's content fits.
#pragma once

#include "brxtool/tape.h"

// Tries brx, aws, tap and e11 in this order on the opened image, over its first blocks (tap and
// e11 up to the first record of odd length, where they differ). unknown when none fits.
format_t detect_format(tape_t& tape);
