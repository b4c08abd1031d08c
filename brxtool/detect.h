// Which format an image's content fits.
#pragma once

#include "brxtool/tape.h"

// Tries brx, aws, het, tap and e11 in this order on the opened image, over its first blocks (tap
// and e11 up to the first record of odd length, where they differ; an image whose first blocks
// hold no compressed record is aws). A fragment after the last whole block too short to be a
// block is a stray tail, which does not count against a format. When the first blocks hold
// damage, the format that reads the most whole blocks before it; unknown when none reads one.
format_t detect_format(tape_t& tape);
