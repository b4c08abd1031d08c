// The list of records a dump skipped, "<dump file>.bad", in the format copy/bad_list.h writes, and
// the same beside an image of another format, its offsets and size then the image's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "copy/dump_read.h"  // skipped_record_t, as brx writes it

// Reads the list, if there is one (present tells). false, with why, when it is not in the format
// above or was not written for the image (image_size bytes).
bool read_skip_list(const std::string& list, const std::string& image, uint64_t image_size,
                    std::vector<skipped_record_t>& records, bool& present, std::string& why);

// Puts the listed records back among the blocks read from the image, counting the tape's blocks,
// files and records (listed ones included) as it goes.
struct skip_matcher_t {
    std::string image;  // its name, for the reasons
    std::vector<skipped_record_t> records;
    size_t next = 0;
    uint64_t blocks = 0, file = 0;
    uint64_t record = 0;  // within the file, from 1; 0 after a tape mark

    // The next listed record, counted, when it stands before the image's block at offset; nullptr
    // when none does, or with why when the list names a place the image does not have.
    const skipped_record_t* due(uint64_t offset, std::string& why);
    // A block read from the image.
    void passed(bool mark);
    // false, with why, when records are left over at the image's end.
    bool finished(std::string& why) const;
};
