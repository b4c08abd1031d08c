// "/skip": the list of skipped records beside the dump file. Text, one line each:
//   brx skipped records; dump file size S bytes
//   block B file F record R offset O sense KK/AA/QQ
// S has a fixed width of 20 digits, so that the first line is rewritten where it stands.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "copy/dump_read.h"
#include "copy/dump_restore_output.h"
#include "platform/platform.h"

// The first line is this, the size and " bytes"; brxtool reads it back.
constexpr char bad_list_title[] = "brx skipped records; dump file size ";
constexpr int bad_list_size_digits = 20;

struct bad_list_t {
    FILE* stream = nullptr;
    message_target_t messages;  // where a failure to write it is reported
    std::string path;   // empty: no list (the dump goes to a pipe and "/bad=" was not given)
    bool in_place = false;  // a regular file: lines go out as found; else they wait in held
    std::string held;       // for a pipe, a terminal or a device, written whole at the end
    bool created = false;   // opened by this run, whether or not its first line could be written
};

// The first line for a dump file of this size, without its line break.
std::string bad_list_first_line(uint64_t dump_size);

// Creates the list named by "/bad=", else "<dump file>.bad" when the dump file is a regular file;
// refuses a list that is the dump file, the log file or the medium behind the device. Until the
// dump ends its first line gives size 0. false when it cannot be created (reported).
bool open_bad_list(bad_list_t& list, const char* dump_file_name, HANDLE device);

// Creates the list at path for a dump run by another program than brx (whose messages go to
// messages). false when it cannot be created (reported).
bool create_bad_list(bad_list_t& list, const std::string& path, const message_target_t& messages);

// One line; in a regular file flushed at once, so an interrupted dump keeps what it found. false
// when not written.
bool add_to_bad_list(bad_list_t& list, const skipped_record_t& record);

// A record's line as the list holds it, without its "\n"; its readers take exactly this form.
std::string bad_list_line(const skipped_record_t& record);

// Closes the list with the dump file's final size in its first line. false when it could not
// (reported; the list as written so far stays).
bool finish_bad_list(bad_list_t& list, uint64_t dump_size);
