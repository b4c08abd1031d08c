// Reading one record for dump, with the further attempts that "/reads=" allows.
#pragma once

#include <cstdint>

// read_dump_record's results besides a record length (0 for a tape mark).
constexpr int32_t dump_end_of_data = -9;  // the SCSI driver's answer behind the last recorded data
constexpr int32_t dump_read_failed = -1;  // reported already; the dump has failed

// A result longer than the data area behind the driver's data offset: the record did not fit.
constexpr int32_t dump_record_too_long = -100;

// Reads the next record into the transfer buffer at the driver's data offset. Retries a failed
// read as often as the attempt count allows, without moving the tape, and reports each attempt;
// dump_offset, the dump file's size so far, is only the offset those messages give.
int32_t read_dump_record(uint64_t dump_offset);
