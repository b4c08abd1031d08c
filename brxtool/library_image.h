// Imaging one tape: a drive in, an image file out. The drive is read as brx's dump reads it (the
// rescue options, the same retries and skips), optionally through a ring that reads ahead.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "brxtool/pass_output.h"
#include "brxtool/tape.h"
#include "copy/dump_read.h"
#include "copy/record_ring.h"

struct live_counts_t {  // read by the progress lines while the worker writes them
    std::atomic<uint64_t> records{0}, bytes{0}, file{0};
};

struct image_options_t {
    rescue_options_t rescue;   // --reads=, --skip, and the longest record (--block=, else the drive's)
    uint32_t buffer_mib = 0;   // the ring that reads ahead; 0: none
    std::string name;          // the tape's, in front of the reading's messages
};

struct image_result_t {
    bool complete = false;       // the image holds what the reading gave, up to where it ended
    bool ended_early = false;    // ... which was not the end of the data ("--strict" calls it incomplete)
    bool drive_trouble = false;  // the drive or its connection failed, not the tape
    uint64_t records = 0, bytes = 0, marks = 0, skipped = 0;
    std::string why;             // when not complete, or ended early
    bool fed = false;            // read through the ring: feed tells how
    ring_report_t feed;
};

// The longest record a drive is read with: --block= (asked, when not 0) if the drive and the
// transport take it, else the largest that both and brxtool carry. false, with why, when asked is
// more than they take.
bool longest_record_of(tape_t& drive, uint32_t asked, uint32_t& longest, std::string& why);

// Rewinds the tape in drive and copies it into out (created, not yet ended) up to the end of its
// data: skipped records become bad records where the format marks them, else lines of its list.
image_result_t image_tape(tape_t& drive, pass_output_t& out, const image_options_t& options, live_counts_t& live);

// Reads the tape again as it was imaged and compares it with the ended image (and its list), record
// by record and mark by mark; a record lost in the image may be lost or read again. "" when they
// agree; else what differs or what failed (drive_trouble set for the drive's). An image whose
// reading ended early is compared up to its end.
std::string verify_image(tape_t& drive, const std::string& image, const std::string& list, format_t format,
                         const image_options_t& options, bool ended_early, bool& drive_trouble);
