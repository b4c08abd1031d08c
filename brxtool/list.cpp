// brxtool list: the structure of a tape, file by file.
#include <cstdio>

#include "brxtool/commands.h"
#include "brxtool/list_output.h"
#include "brxtool/progress.h"
#include "brxtool/read_ahead.h"
#include "brxtool/tape.h"
#include "platform/platform.h"

namespace {

const char help[] =
    "Usage: brxtool list IMAGE|DEVICE [--json] [--verbose] [--from FORMAT] [--buffer=MiB]\n"
    "Shows the tape's structure: per file its records (runs of equal sizes), standard labels,\n"
    "bad records and the tape mark that ends it; then the totals.\n"
    "  --json         one JSON document instead of lines\n"
    "  --verbose      also say where gaps and private records were passed over\n"
    "  --from FORMAT  read the image as brx, tap, e11, aws or het instead of detecting its format\n"
    "  --buffer=MiB   read a device ahead into a ring of this size, so that the drive streams\n"
    "IMAGE - reads standard input.\n"
    "Exit status: 0 listed, 1 damage found, 2 trouble.\n";

void add_passed(passed_over_t& total, const passed_over_t& passed)
{
    total.gaps += passed.gaps;
    total.private_items += passed.private_items;
    total.reserved += passed.reserved;
    total.descriptions += passed.descriptions;
}

bool any(const passed_over_t& passed)
{
    return passed.gaps + passed.private_items + passed.reserved + passed.descriptions != 0;
}

// Whether a record of this length extends the run (labels and bad records stand alone).
bool extends(const run_t& run, const block_t& block, bool labelled)
{
    return run.last != 0 && !run.bad && !run.labelled && !block.bad && !labelled && run.length == block.length;
}

struct lister_t {
    list_output_t& output;
    run_t run;
    uint64_t records = 0, bytes = 0;

    void flush_run(uint64_t file)
    {
        if (run.last != 0)
            output.entry(file, run);
        run = run_t{};
    }
    void end_file(uint64_t file, bool mark)
    {
        flush_run(file);
        if (mark || records != 0)
            output.file_end(file, records, bytes, mark);
        records = bytes = 0;
    }
    void add(const tape_t& tape, const block_t& block)
    {
        label_t label;
        bool labelled = decode_label(block.data, block.length, label);
        ++records;
        bytes += block.length;
        if (extends(run, block, labelled)) {
            run.last = tape.record;
            return;
        }
        flush_run(tape.file);
        run = run_t{tape.record, tape.record, block.length, block.bad, labelled, label};
    }
};

int run(const arguments_t& arguments)
{
    format_t from = format_t::unknown;
    if (!format_option(arguments, "from", from))
        return exit_trouble;
    tape_t tape;
    if (!open_tape(arguments.positional[0], from, tape) || !read_ahead_as_asked(arguments, tape))
        return exit_trouble;
    list_output_t output(arguments.has("json"));
    output.begin(tape.name, format_info(tape.format).name);
    lister_t lister{output, run_t{}, 0, 0};
    list_totals_t totals;
    progress_t progress("list", _isatty(_fileno(stdout)) == 0);  // a listing on the screen shows its own progress
    int status = exit_same;
    const bool verbose = arguments.has("verbose");
    for (;;) {
        uint64_t file = tape.file, next = tape.record + 1;
        block_t block = read_block(tape, true, label_length);  // a long record's length is all a list needs
        add_passed(totals.passed, tape.handle.passed_over);
        if (verbose && any(tape.handle.passed_over))
            output.passed(file, next, tape.handle.passed_over);
        if (block.kind == block_kind_t::record) {
            lister.add(tape, block);
        } else {
            lister.end_file(file, block.kind == block_kind_t::mark);
            if (block.kind == block_kind_t::failed)
                status = failure_status(tape);
            if (block.kind != block_kind_t::mark)
                break;
        }
        progress.update(tape.bytes, tape.records);
    }
    totals.files = tape.marks + (tape.record != 0 ? 1 : 0);
    totals.records = tape.records;
    totals.bytes = tape.bytes;
    totals.marks = tape.marks;
    totals.bad = tape.bad;
    totals.stray = tape.stray;
    totals.stray_note = stray_note(tape);
    output.end(totals, status == exit_same);
    return status;
}

}  // namespace

const command_t list_command{"list", help, {{"json", false}, {"verbose", false}, {"from", true}, {"buffer", true}}, 1, run};
