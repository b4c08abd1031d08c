// What list prints, as text lines or as one JSON document:
//
// {"image": NAME, "format": "brx"|"tap"|"e11"|"aws"|"device",
//  "files": [{"file": N, "entries": [ENTRY...], "records": N, "bytes": N, "tape_mark": true|false}...],
//  "totals": {"files": N, "records": N, "bytes": N, "tape_marks": N, "bad_records": N,
//             "passed_over": {"gaps": N, "private": N, "reserved": N, "descriptions": N}},
//  "stray_bytes": N, "complete": true|false}
// ENTRY: {"first": R, "last": R, "bytes": N} for records R of N bytes each (from 1 in their file),
// with "bad": true for a record marked bad and "label": {"id": "HDR1", "code": "ANSI"|"IBM",
// FIELD: VALUE...} for a standard label (one record each); FIELDs: volume, file_id,
// file_sequence, created (YYYY-MM-DD), block_count, record_format, block_length, record_length.
// stray_bytes: the bytes after the last whole block, too few to begin a block, read as the end of
// the tape (the text names them in a line of their own).
#pragma once

#include <cstdint>
#include <string>

#include "copy/labels.h"
#include "tapeio/tape_io_handle.h"

struct run_t {
    uint64_t first = 0, last = 0;
    uint32_t length = 0;
    bool bad = false;
    bool labelled = false;
    label_t label;
};

struct list_totals_t {
    uint64_t files = 0, records = 0, bytes = 0, marks = 0, bad = 0;
    passed_over_t passed;
    uint64_t stray = 0;
    std::string stray_note;  // the line that names them, when there are
};

class list_output_t {
public:
    explicit list_output_t(bool json) : json(json) {}
    void begin(const std::string& name, const char* format);
    void entry(uint64_t file, const run_t& run);
    void file_end(uint64_t file, uint64_t records, uint64_t bytes, bool mark);
    void passed(uint64_t file, uint64_t record, const passed_over_t& passed);
    void end(const list_totals_t& totals, bool complete);

private:
    void open_file(uint64_t file);
    bool json;
    bool file_open = false;
    bool first_file = true;
    bool first_entry = true;
};
