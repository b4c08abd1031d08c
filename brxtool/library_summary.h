// The end of a library run: the table on standard output, OUTDIR/library.json, the exit status.
#pragma once

#include "brxtool/library.h"

// 0 every tape imaged whole, 2 all imaged but with records skipped, 4 a tape not imaged, not
// whole or not put back.
int library_exit_status(const library_t& library);
// One line per tape: barcode, slot, drive, status, records, bytes, skipped records, seconds, why.
void print_summary(const library_t& library);
// The same as a JSON document in OUTDIR/library.json; prints why not and returns false.
bool write_summary_json(const library_t& library, int status);
