// The list of records a dump skipped, "<dump file>.bad", written beside the dump file:
//   brx skipped records; dump file size <S> bytes
//   block <B> file <F> record <R> offset <O> sense <KK>/<AA>/<QQ>     (one line per record)
// B counts records and tape marks from 0, F files from 0, R records within the file from 1 (the
// skipped ones included); O is the dump file offset of the block that followed the record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct skipped_record_t {
    uint64_t block = 0, file = 0, record = 0, offset = 0;
};

// Reads the list beside dump_name, if there is one (present tells). false, after saying why,
// when it is not in the format above or was not written for a dump file of dump_size bytes.
bool read_skip_list(const std::string& dump_name, uint64_t dump_size, std::vector<skipped_record_t>& records,
                    bool& present);
