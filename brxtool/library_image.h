// Imaging one tape: a drive in, an image file out. The reading of the drive lives behind this
// one function, so that another way of reading can take its place.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "brxtool/tape.h"

struct live_counts_t {  // read by the progress lines while the worker writes them
    std::atomic<uint64_t> records{0}, bytes{0}, file{0};
};

struct image_result_t {
    bool complete = false;       // the image holds the tape up to its end of data
    bool drive_trouble = false;  // the drive or its connection failed, not the tape
    uint64_t records = 0, bytes = 0, marks = 0, skipped = 0;
    std::string why;             // when not complete
};

// Rewinds the tape in drive and copies it into a new image file at path, in format, up to the end
// of its data; the image is flushed to the disk and closed. Without complete the file is left as
// it is, for the caller to remove.
image_result_t image_tape(tape_t& drive, const std::string& path, format_t format, live_counts_t& live);

// Reads the tape again and compares it with the image, record by record and mark by mark.
// "" when they are the same; else what differs or what failed (drive_trouble set for the drive's).
std::string verify_image(tape_t& drive, const std::string& path, format_t format, bool& drive_trouble);
