// "/buffer=": the line at the end of a copy through the ring, saying how the drive was fed.
#pragma once

#include "copy/dump_restore_output.h"
#include "copy/record_ring.h"

// The drive is the reading side of a dump and the writing side of a restore.
void report_feed(const message_target_t& to, const ring_report_t& report, bool drive_reads);
