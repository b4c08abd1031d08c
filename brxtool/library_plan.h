// Which tapes a library run images, and under which names.
#pragma once

#include <string>

#include "brxtool/library.h"

// "3-40,45": ranges of slot numbers; false when the text is not such a list.
bool parse_slot_ranges(const std::string& text, std::vector<std::pair<long, long>>& ranges);

// The image's name for a barcode: letters, digits, '-' and '_' kept, any other character '_'
// (a barcode names a file in OUTDIR and nothing else).
std::string safe_name(const std::string& barcode);

// One job per full slot that the options ask for, in slot order. Cleaning cartridges (barcode
// "CLN...", or the changer says so) are marked to be passed over, and a tape whose name another
// one already has is marked failed.
void plan_jobs(library_t& library);
