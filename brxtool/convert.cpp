// brxtool convert: a tape from any format (or a device) to an image in any format.
#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "brxtool/commands.h"
#include "brxtool/image_manifest.h"
#include "brxtool/pass.h"
#include "brxtool/progress.h"
#include "brxtool/read_ahead.h"
#include "brxtool/tape.h"
#include "copy/created_file.h"
#include "copy/file_identity.h"
#include "tapeio/het_codec.h"

namespace {

const char help[] =
    "Usage: brxtool convert IN OUT [--to FORMAT] [--from FORMAT] [--keep-partial]\n"
    "                       [--bad=stop|drop|plain] [--too-long=stop|drop|cut]\n"
    "                       [--compress=zlib|bzip2|none] [--level=1-9] [--buffer=MiB]\n"
    "Copies the tape IN (an image of any format, or a device) into the image OUT, whose format is\n"
    "--to (brx, tap, e11, aws, het) or else comes from its extension (.dmp, .tap, .e11, .aws, .het).\n"
    "Skipped records listed in IN.bad (beside a brx dump file) become bad records in tap and e11.\n"
    "IN - reads standard input (give --from, or the format is detected from its first bytes); OUT -\n"
    "writes standard output (give --to), and the messages then go to standard error.\n"
    "  --keep-partial  keep OUT when the conversion fails (it is removed otherwise)\n"
    "  --bad=          a bad record that OUT's format cannot mark: stop (the default), drop it,\n"
    "                  or write its data as a plain record (one with no data is then dropped)\n"
    "  --too-long=     a record longer than OUT's format holds: stop (the default), drop it,\n"
    "                  or cut it to the longest the format holds\n"
    "  --compress=     how het records are compressed (zlib, the default; bzip2; none); each is\n"
    "                  kept compressed only when that makes it shorter\n"
    "  --level=N       how hard: 1 fastest to 9 smallest (4 unless given)\n"
    "  --manifest      also write OUT.json (see brxtool manifest); from a device, with the drive's\n"
    "                  vendor, product, revision and serial number\n"
    "  --buffer=MiB    read a device ahead into a ring of this size, so that the drive streams\n"
    "Exit status: 0 converted, 1 damage found in IN, 2 trouble.\n";

struct converter_t {
    pass_t& pass;
    tape_t& out;
    std::string bad_policy, long_policy;

    std::string record_name(const pass_block_t& block) const
    {
        return place_of(block) + " (" + std::to_string(block.length) + " bytes)";
    }

    // false: stop. Applies --bad and --too-long to a record the output cannot hold as it is.
    bool put_record(const pass_block_t& block)
    {
        const format_info_t& target = format_info(out.format);
        bool bad = block.kind == pass_kind_t::lost;
        uint32_t length = block.length;
        if (bad && !target.marks_bad) {
            if (bad_policy == "stop")
                return refuse(record_name(block) + " is marked bad and " + target.name +
                              " cannot mark it (--bad=drop or --bad=plain say what to do)");
            if (bad_policy == "drop" || length == 0)
                return note("dropped the bad record " + record_name(block));
            note("wrote the bad record " + record_name(block) + " as a plain record");
            bad = false;
        }
        // Of a record longer than brxtool carries only the first record_room bytes were read.
        const uint32_t largest = std::min(target.largest, record_room);
        if (length > largest) {
            const std::string holder = largest == target.largest ? std::string(target.name) + " holds" : "brxtool carries";
            if (long_policy == "stop")
                return refuse(record_name(block) + " is longer than " + holder + " (" + std::to_string(largest) +
                              " bytes; --too-long=drop or --too-long=cut say what to do)");
            if (long_policy == "drop")
                return note("dropped the long record " + record_name(block));
            note("cut the long record " + record_name(block) + " to " + std::to_string(largest) + " bytes");
            length = largest;
        }
        return write_record(out, block.data != nullptr ? block.data : out.memory + data_at, length, bad);
    }

    // Notes go to standard output, unless the image does.
    FILE* notes() const { return out.standard ? stderr : stdout; }
    bool note(const std::string& text)
    {
        fprintf(notes(), "brxtool: convert: %s\n", text.c_str());
        return true;
    }
    bool refuse(const std::string& text)
    {
        fprintf(stderr, "brxtool: %s: %s\n", pass.tape.name.c_str(), text.c_str());
        return false;
    }

    // 0 when the whole tape went over, else the exit status.
    int run()
    {
        progress_t progress("convert");
        for (;;) {
            const pass_block_t block = next_block(pass, true);
            if (block.kind == pass_kind_t::failed)
                return block.status;
            if (block.kind == pass_kind_t::end)
                break;
            if (!(block.kind == pass_kind_t::mark ? write_mark(out) : put_record(block)))
                return exit_trouble;
            progress.update(pass.tape.bytes, pass.tape.records);
        }
        if (pass.tape.stray != 0)
            fprintf(notes(), "%s\n", stray_note(pass.tape).c_str());
        return finish_tape(out) ? exit_same : exit_trouble;
    }
};

bool policy(const arguments_t& arguments, const char* option, const char* third, std::string& value)
{
    value = arguments.has(option) ? arguments.value(option) : "stop";
    if (value == "stop" || value == "drop" || value == third)
        return true;
    fprintf(stderr, "brxtool: convert: --%s takes stop, drop or %s, not '%s'\n", option, third, value.c_str());
    return false;
}

// --compress and --level, for het only.
bool compression(const arguments_t& arguments, format_t to, tape_io_handle_t& handle)
{
    if (!arguments.has("compress") && !arguments.has("level"))
        return true;
    const std::string method = arguments.has("compress") ? arguments.value("compress") : "zlib";
    const std::string level = arguments.has("level") ? arguments.value("level") : "4";
    const char* const methods[] = {"none", "zlib", "bzip2"};
    uint8_t named = 3;
    for (uint8_t i = 0; i < 3; ++i)
        named = method == methods[i] ? i : named;
    if (to != format_t::het)
        fprintf(stderr, "brxtool: convert: --compress and --level are for het images\n");
    else if (named == 3)
        fprintf(stderr, "brxtool: convert: --compress takes zlib, bzip2 or none, not '%s'\n", method.c_str());
    else if (level.size() != 1 || level[0] < '1' || level[0] > '9')
        fprintf(stderr, "brxtool: convert: --level takes 1 to 9, not '%s'\n", level.c_str());
    else if (!het_method_built(named))
        fprintf(stderr, "brxtool: convert: this build writes no bzip2-compressed chunks\n");
    else {
        handle.compression = named;
        handle.compression_level = level[0] - '0';
        return true;
    }
    return false;
}

// OUT must be neither IN under another name (a link, another path) nor the list read with it.
bool out_stands_apart(const pass_t& in, const std::string& out_name)
{
    const file_identity_t out = identity_of(out_name.c_str());
    const bool list = !in.list.empty() && same_file(out, identity_of(in.list.c_str()));
    if (same_file(out, identity_of(in.tape.handle.os_handle)))
        fprintf(stderr, "brxtool: convert: OUT must be an image file other than IN\n");
    else if (list)
        fprintf(stderr, "brxtool: convert: OUT must not be %s, the list of skipped records read with IN\n",
                in.list.c_str());
    else
        return true;
    return false;
}

int run(const arguments_t& arguments)
{
    format_t from = format_t::unknown;
    manifest_source_t source = brxtool_source(arguments.command_line);
    pass_t pass;
    tape_t& in = pass.tape;
    tape_t out;
    converter_t converter{pass, out, "", ""};
    if (!format_option(arguments, "from", from) || !output_format(arguments, "convert", arguments.positional[1], out.format) ||
        !policy(arguments, "bad", "plain", converter.bad_policy) ||
        !policy(arguments, "too-long", "cut", converter.long_policy) ||
        !compression(arguments, out.format, out.handle))
        return exit_trouble;
    const std::string& out_name = arguments.positional[1];
    if (arguments.has("manifest") && is_standard_stream(out_name)) {
        fprintf(stderr, "brxtool: convert: --manifest needs OUT to be a file\n");
        return exit_trouble;
    }
    if (is_device_name(out_name) || (out_name == arguments.positional[0] && !is_standard_stream(out_name))) {
        fprintf(stderr, "brxtool: convert: OUT must be an image file other than IN\n");
        return exit_trouble;
    }
    if (!open_pass(arguments.positional[0], from, "", pass) || !out_stands_apart(pass, out_name) ||
        !read_ahead_as_asked(arguments, in))
        return exit_trouble;
    int status = create_tape(out_name, out.format, out) ? converter.run() : exit_trouble;
    bool created = out.handle.os_handle != INVALID_HANDLE_VALUE;
    close_tape(out);
    if (status != exit_same && created) {
        bool keep = arguments.has("keep-partial") || out.standard;
        bool removed = !keep && remove_created_file(out_name.c_str());
        fprintf(stderr, "brxtool: convert: stopped after %s of %s; %s %s\n", where(in).c_str(), in.name.c_str(),
                out_name.c_str(), removed ? "removed" : keep ? "kept, incomplete" : "left in place, incomplete");
    }
    if (status != exit_same)
        return status;
    fprintf(converter.notes(), "%s (%s) -> %s (%s): %" PRIu64 " files, %" PRIu64 " records, %" PRIu64 " bytes, %" PRIu64
           " tape marks, %" PRIu64 " bad records\n",
           in.name.c_str(), format_info(in.format).name, out_name.c_str(), format_info(out.format).name,
           out.marks + (out.record != 0 ? 1 : 0), out.records, out.bytes, out.marks, out.bad);
    if (!arguments.has("manifest"))
        return exit_same;
    if (in.format == format_t::device) {
        source.device = in.name;
        read_drive_identity(&in.handle, in.memory, in.memory + data_at, source.drive);
    }
    close_tape(in);
    return write_image_manifest(out_name, out.format, "", out_name + ".json", source);
}

}  // namespace

const command_t convert_command{"convert",
                                help,
                                {{"to", true}, {"from", true}, {"keep-partial", false}, {"bad", true}, {"too-long", true},
                                 {"compress", true}, {"level", true}, {"manifest", false}, {"buffer", true}},
                                2,
                                run};
