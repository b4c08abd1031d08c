// "/skip": putting the drive on either side of a record that would not read. Drives differ after
// a failed READ: some stay in front of the record, some move past it.
#pragma once

#include <cstdint>

#include "copy/dump_read.h"

// Each puts the tape in front of (behind) block, counted from the beginning, records and marks
// alike, and sets the handle's block count to match. false when the drive would not go there.
bool move_before_block(dump_reader_t& reader, uint32_t block);
bool move_after_block(dump_reader_t& reader, uint32_t block);
