// brxtool verify: two tapes compared record by record, tape marks and bad marks included.
#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "brxtool/commands.h"
#include "brxtool/progress.h"
#include "brxtool/read_ahead.h"
#include "brxtool/tape.h"

namespace {

const char help[] =
    "Usage: brxtool verify A B [--from FORMAT] [--buffer=MiB]\n"
    "Compares two tapes (images of any format, or devices) record by record, tape marks included,\n"
    "and prints the first difference or what matched. A device is left where the reading stopped.\n"
    "  --from FORMAT  read both images as brx, tap, e11 or aws instead of detecting their formats\n"
    "  --buffer=MiB   read a device ahead into a ring of this size, so that the drive streams\n"
    "Exit status: 0 equal, 1 different (or damaged), 2 trouble.\n";

std::string what(const block_t& block)
{
    switch (block.kind) {
    case block_kind_t::mark:
        return "a tape mark";
    case block_kind_t::end:
        return "the end of the data";
    default:
        return std::string(block.bad ? "a bad record of " : "a record of ") + std::to_string(block.length) + " bytes";
    }
}

// The first difference between two blocks at the same place, or "" when they are the same.
std::string difference(const block_t& a, const block_t& b)
{
    if (a.kind != b.kind || a.bad != b.bad)
        return "";  // told by what()
    if (a.kind != block_kind_t::record)
        return "same";
    uint32_t common = std::min(a.length, b.length);
    uint32_t at = static_cast<uint32_t>(std::mismatch(a.data, a.data + common, b.data).first - a.data);
    if (at == common && a.length == b.length)
        return "same";
    return ", byte " + std::to_string(at);
}

int run(const arguments_t& arguments)
{
    format_t from = format_t::unknown;
    if (!format_option(arguments, "from", from))
        return exit_trouble;
    tape_t a, b;
    if (!open_tape(arguments.positional[0], from, a) || !open_tape(arguments.positional[1], from, b) ||
        !read_ahead_as_asked(arguments, a) || !read_ahead_as_asked(arguments, b))
        return exit_trouble;
    progress_t progress("verify");
    for (;;) {
        uint64_t file = a.file, record = a.record + 1;
        block_t one = read_block(a);
        if (one.kind == block_kind_t::failed)
            return failure_status(a);
        block_t two = read_block(b);
        if (two.kind == block_kind_t::failed)
            return failure_status(b);
        std::string found = difference(one, two);
        if (found != "same") {
            printf("%s and %s differ: file %" PRIu64 ", record %" PRIu64 "%s: %s has %s, %s has %s\n", a.name.c_str(),
                   b.name.c_str(), file, record, found.c_str(), a.name.c_str(), what(one).c_str(), b.name.c_str(),
                   what(two).c_str());
            return exit_different;
        }
        if (one.kind == block_kind_t::end)
            break;
        progress.update(a.bytes, a.records);
    }
    printf("%s and %s are equal: %" PRIu64 " files, %" PRIu64 " records, %" PRIu64 " bytes, %" PRIu64
           " tape marks, %" PRIu64 " bad records\n",
           a.name.c_str(), b.name.c_str(), a.marks + (a.record != 0 ? 1 : 0), a.records, a.bytes, a.marks, a.bad);
    return exit_same;
}

}  // namespace

const command_t verify_command{"verify", help, {{"from", true}, {"buffer", true}}, 2, run};
