// brxtool verify: two tapes compared record by record, tape marks and bad marks included.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "brxtool/commands.h"
#include "brxtool/progress.h"
#include "brxtool/read_ahead.h"
#include "brxtool/tape.h"
#include "brxtool/verify_manifest.h"

namespace {

const char help[] =
    "Usage: brxtool verify A B [--from FORMAT] [--buffer=MiB]\n"
    "   or: brxtool verify --manifest MANIFEST IMAGE [--from FORMAT]\n"
    "Compares two tapes (images of any format, or devices) record by record, tape marks included,\n"
    "and prints the first difference or what matched. A device is left where the reading stopped.\n"
    "With --manifest, checks IMAGE (in any format) against the digests of each tape file that\n"
    "brxtool manifest or brx /manifest wrote, and, when IMAGE is in the manifest's format, its size\n"
    "and SHA-256; prints the first file that differs.\n"
    "  --from FORMAT  read both images as brx, tap, e11, aws or het instead of detecting their formats;\n"
    "                 --from A,B names one for each (an empty one is detected)\n"
    "  --buffer=MiB   read a device ahead into a ring of this size, so that the drive streams\n"
    "One of them may be -, standard input.\n"
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

std::string byte_value(uint8_t value)
{
    char text[8];
    snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// How two blocks at the same place differ, or "" when they do not: the first byte that differs
// (its offset in the record from 0, and both values), or what each side has there.
std::string difference(const block_t& a, const block_t& b, const std::string& name_a, const std::string& name_b)
{
    std::string both = name_a + " has " + what(a) + ", " + name_b + " has " + what(b);
    if (a.kind != b.kind || a.bad != b.bad)
        return ": " + both;
    if (a.kind != block_kind_t::record)
        return "";
    uint32_t common = std::min(a.length, b.length);
    uint32_t at = static_cast<uint32_t>(std::mismatch(a.data, a.data + common, b.data).first - a.data);
    if (at == common)
        return a.length == b.length ? "" : ", byte " + std::to_string(at) + ": " + both;
    return ", byte " + std::to_string(at) + ": " + name_a + " has " + byte_value(a.data[at]) + ", " + name_b +
           " has " + byte_value(b.data[at]) +
           (a.length == b.length ? ", in records of " + std::to_string(a.length) + " bytes" : "; " + both);
}

int run(const arguments_t& arguments)
{
    const size_t count = arguments.has("manifest") ? 1 : 2;
    if (arguments.positional.size() != count) {
        fprintf(stderr, "brxtool: verify takes %s\n%s", count == 1 ? "one image with --manifest" : "2 arguments", help);
        return exit_trouble;
    }
    format_t from[2];
    if (!format_pair_option(arguments, "from", from))
        return exit_trouble;
    if (count == 1)
        return verify_manifest(arguments.value("manifest"), arguments.positional[0], from[0]);
    if (is_standard_stream(arguments.positional[0]) && is_standard_stream(arguments.positional[1])) {
        fprintf(stderr, "brxtool: verify: only one side can be standard input\n");
        return exit_trouble;
    }
    tape_t a, b;
    if (!open_tape(arguments.positional[0], from[0], a) || !open_tape(arguments.positional[1], from[1], b) ||
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
        std::string found = difference(one, two, a.name, b.name);
        if (!found.empty()) {
            progress.clear();
            printf("%s and %s differ: file %" PRIu64 ", record %" PRIu64 "%s\n", a.name.c_str(), b.name.c_str(), file,
                   record, found.c_str());
            return exit_different;
        }
        if (one.kind == block_kind_t::end)
            break;
        progress.update(a.bytes, a.records);
    }
    progress.clear();
    for (const tape_t* tape : {&a, &b})
        if (tape->stray != 0)
            printf("%s\n", stray_note(*tape).c_str());
    printf("%s and %s are equal: %" PRIu64 " files, %" PRIu64 " records, %" PRIu64 " bytes, %" PRIu64
           " tape marks, %" PRIu64 " bad records\n",
           a.name.c_str(), b.name.c_str(), a.marks + (a.record != 0 ? 1 : 0), a.records, a.bytes, a.marks, a.bad);
    return exit_same;
}

}  // namespace

const command_t verify_command{"verify", help, {{"from", true}, {"manifest", true}, {"buffer", true}}, any_count, run};
