// The tape image formats brxtool reads and writes, and the driver behind each.
#pragma once

#include <string>

#include "tapeio/tape_io.h"

enum class format_t { brx, tap, e11, aws, het, device, unknown };

struct format_info_t {
    format_t format;
    const char* name;
    const char* extension;  // what OUT's name ends in to choose it
    bool marks_bad;         // can hold a record marked bad
    uint32_t largest;       // the longest record it holds
    uint32_t unit;          // the length word or header every block begins with
};

const format_info_t& format_info(format_t format);
// "brx", "tap", "e11", "aws", "het": unknown for any other name.
format_t format_named(const std::string& name);
// From the name's extension (.dmp, .tap, .e11, .aws, .het, any case); unknown when none matches.
format_t format_of_extension(const std::string& name);
// The driver that reads and writes the format (the SCSI driver for a device).
tape_io_t& format_driver(format_t format);
