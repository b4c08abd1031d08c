// "/skip": the list of skipped records beside the dump file. Text, one line each:
//   brx skipped records; dump file size S bytes
//   block B file F record R offset O sense KK/AA/QQ
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "copy/dump_read.h"

// The first line is this, the size in decimal and " bytes"; brxtool reads it back.
constexpr char bad_list_title[] = "brx skipped records; dump file size ";

struct bad_list_t {
    FILE* stream = nullptr;
    std::string path;  // empty: no list (the dump goes to a pipe and "/bad=" was not given)
};

// Creates the list named by "/bad=", else "<dump file>.bad" when the dump file is a regular file.
// Until the dump ends its first line gives size 0. false when it cannot be created (reported).
bool open_bad_list(bad_list_t& list, const char* dump_file_name);

// One line, flushed at once so an interrupted dump keeps what it found. false when not written.
bool add_to_bad_list(bad_list_t& list, const skipped_record_t& record);

// Closes the list with the dump file's final size in its first line. false when it could not
// (reported; the list as written so far stays).
bool finish_bad_list(bad_list_t& list, uint64_t dump_size);
