// The list of records a dump skipped, "<dump file>.bad", in the format copy/bad_list.h writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "copy/dump_read.h"  // skipped_record_t, as brx writes it

// Reads the list beside dump_name, if there is one (present tells). false, after saying why,
// when it is not in the format above or was not written for a dump file of dump_size bytes.
bool read_skip_list(const std::string& dump_name, uint64_t dump_size, std::vector<skipped_record_t>& records,
                    bool& present);
