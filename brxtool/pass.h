// One pass over a tape: an image with the records its list says are lost put back in their places,
// or a device. Blocks are numbered as on the tape, lost records included, so that passes of the same
// tape line up block by block.
#pragma once

#include <cstdint>
#include <string>

#include "brxtool/tape.h"
#include "copy/skip_list.h"

enum class pass_kind_t { record, mark, lost, end, failed };

struct pass_block_t {
    pass_kind_t kind = pass_kind_t::end;
    uint32_t length = 0;  // a record's; a lost one's data that could be read (a SIMH bad record)
    uint8_t* data = nullptr;
    const skipped_record_t* listed = nullptr;  // a lost record named by the list: its sense
    uint64_t block = 0, file = 0, record = 0;  // where it stands: from 0, 0, and 1 within the file
    uint64_t offset = 0;  // in the image: where it begins, or for a listed one where the image goes on
    int status = 0;  // failed: the exit status it calls for (damage found, or trouble)
};

struct pass_t {
    tape_t tape;
    skip_matcher_t walk;
    std::string list;  // the list read with the image; empty when there was none
};

// Opens the image (or device) and reads the list beside it: list_name, or NAME.bad when present.
// Prints why and returns false when either cannot be read or they do not match.
bool open_pass(const std::string& name, format_t from, const std::string& list_name, pass_t& pass);
// The next block; failed once reported. A record longer than record_room fails unless long_records
// (then data holds its first record_room bytes).
pass_block_t next_block(pass_t& pass, bool long_records = false);
// "file 2, record 5", or "file 2, its tape mark".
std::string place_of(const pass_block_t& block);
