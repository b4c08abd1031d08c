#include "brxtool/formats.h"

#include <cctype>
#include <iterator>

#include "tapeio/aws_tape_io.h"
#include "tapeio/e11_tape_io.h"
#include "tapeio/het_tape_io.h"
#include "tapeio/simh_tap_tape_io.h"
#include "tapeio/tape_io_objects.h"

namespace {

simh_tap_tape_io_t tap_tape_io;
e11_tape_io_t e11_tape_io;
aws_tape_io_t aws_tape_io;
het_tape_io_t het_tape_io;

// brx holds lengths up to 4 GiB - 1; brxtool's buffer is the bound in practice.
const format_info_t formats[] = {
    {format_t::brx, "brx", ".dmp", false, 0xFFFFFFFF, 8},
    {format_t::tap, "tap", ".tap", true, 0x00FFFFFF, 4},
    {format_t::e11, "e11", ".e11", true, 0x00FFFFFF, 4},
    {format_t::aws, "aws", ".aws", false, 0x7FFFFFFF, 6},
    {format_t::het, "het", ".het", false, 0x00FFFFFF, 6},
    {format_t::device, "device", "", false, 0x00FFFFFF, 0},
    {format_t::unknown, "unknown", "", false, 0, 0},
};

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

const format_info_t& format_info(format_t format)
{
    for (const format_info_t& info : formats)
        if (info.format == format)
            return info;
    return formats[std::size(formats) - 1];
}

format_t format_named(const std::string& name)
{
    for (const format_info_t& info : formats)
        if (info.format != format_t::device && info.format != format_t::unknown && lower(name) == info.name)
            return info.format;
    return format_t::unknown;
}

format_t format_of_extension(const std::string& name)
{
    std::string lowered = lower(name);
    for (const format_info_t& info : formats) {
        std::string extension = info.extension;
        if (!extension.empty() && lowered.size() > extension.size() &&
            lowered.compare(lowered.size() - extension.size(), extension.size(), extension) == 0)
            return info.format;
    }
    return format_t::unknown;
}

tape_io_t& format_driver(format_t format)
{
    switch (format) {
    case format_t::tap:
        return tap_tape_io;
    case format_t::e11:
        return e11_tape_io;
    case format_t::aws:
        return aws_tape_io;
    case format_t::het:
        return het_tape_io;
    case format_t::device:
        return active_tape_io;
    default:
        return brx_file_tape_io;
    }
}
