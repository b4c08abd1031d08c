// brxtool retry: a second chance for the records an image lost, read from the tape once more.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "brxtool/commands.h"
#include "brxtool/image_manifest.h"
#include "brxtool/pass_output.h"
#include "brxtool/retry_tape.h"
#include "copy/file_identity.h"

namespace {

const char help[] =
    "Usage: brxtool retry DEVICE IMAGE [--bad FILE] [--out OUT] [--reads N] [--no-keep] [--manifest]\n"
    "Reads the records IMAGE lost once more from the tape in DEVICE. For each run of them the tape\n"
    "goes in front of it (LOCATE where the drive has it, checked with READ POSITION; else rewound\n"
    "and spaced forward), the record before it is read again and must equal IMAGE's copy (else this\n"
    "is not the tape IMAGE was made from, and nothing is written), then each record is read with up\n"
    "to N further attempts, as brx /skip /reads=N reads it. Records that were whole are copied from\n"
    "IMAGE, not read again.\n"
    "The new image, in IMAGE's format, holds every recovered record in its place; what is still lost\n"
    "is listed in OUT.bad (marked bad in tap and e11). It is written as OUT.partial and renamed when\n"
    "whole; the image it replaces is kept as IMAGE.prev, with its list as IMAGE.prev.bad.\n"
    "  --bad FILE  the list of lost records instead of IMAGE.bad (records marked bad count too)\n"
    "  --out OUT   write the new image there, leaving IMAGE as it is\n"
    "  --reads N   further attempts at each lost record (3 unless given)\n"
    "  --no-keep   replace IMAGE without keeping IMAGE.prev\n"
    "  --manifest  also write OUT.json (see brxtool manifest), with the drive's identity\n"
    "Exit status: 0 every lost record recovered; 1 the tape is not IMAGE's; 2 trouble;\n"
    "3 written, records still lost.\n";

constexpr int exit_still_lost = 3;

struct retry_plan_t {
    std::vector<lost_record_t> lost;
    std::vector<lost_run_t> runs;
    format_t format = format_t::unknown;
};

void set_neighbour(lost_run_t& run, const pass_block_t& block, bool after)
{
    run.has_neighbour = true;
    run.neighbour_after = after;
    run.neighbour_block = block.block;
    run.neighbour_file = block.file;
    run.neighbour_record = block.record;
    run.neighbour_offset = block.offset;
    run.neighbour_mark = block.kind == pass_kind_t::mark;
    run.neighbour.assign(block.data, block.data + (run.neighbour_mark ? 0 : block.length));
}

// Where the lost records stand, in runs, with the whole block next to each run. previous keeps
// the last whole block, its data copied: reading a bad record of the image may overwrite it.
void add_block(retry_plan_t& plan, const pass_block_t& block, lost_run_t& previous)
{
    lost_run_t* last = plan.runs.empty() ? nullptr : &plan.runs.back();
    const bool follows = !plan.lost.empty() && plan.lost.back().block + 1 == block.block;
    if (block.kind != pass_kind_t::lost) {
        if (follows && !last->has_neighbour)
            set_neighbour(*last, block, true);
        set_neighbour(previous, block, false);
        return;
    }
    if (!follows) {
        lost_run_t& run = plan.runs.emplace_back(block.block != 0 ? previous : lost_run_t{});
        run.first = plan.lost.size();
        run.count = 0;
    }
    ++plan.runs.back().count;
    lost_record_t& lost = plan.lost.emplace_back();
    lost.block = block.block;
    lost.file = block.file;
    lost.record = block.record;
    lost.offset = block.offset;
}

int scan(const std::string& image, const std::string& list, retry_plan_t& plan)
{
    pass_t pass;
    if (!open_pass(image, format_t::unknown, list, pass))
        return exit_trouble;
    if (pass.tape.format == format_t::device || pass.tape.standard) {
        fprintf(stderr, "brxtool: retry: IMAGE must be an image file\n");
        return exit_trouble;
    }
    plan.format = pass.tape.format;
    lost_run_t previous;
    for (;;) {
        const pass_block_t block = next_block(pass);
        if (block.kind == pass_kind_t::failed)
            return block.status;
        if (block.kind == pass_kind_t::end)
            return exit_same;
        add_block(plan, block, previous);
    }
}

// A lost block as this pass leaves it: found after all (its data where OUT's writer wants it), or
// still lost with the sense of its last failure.
pass_block_t found_or_lost(pass_block_t block, const lost_record_t& lost, skipped_record_t& sense, tape_t& out)
{
    if (lost.found == lost_record_t::found_t::nothing) {
        if (lost.failed_again) {
            sense.sense = lost.sense;
            block.listed = &sense;
        }
        return block;
    }
    block.kind = lost.found == lost_record_t::found_t::mark ? pass_kind_t::mark : pass_kind_t::record;
    block.length = static_cast<uint32_t>(lost.data.size());
    block.data = out.memory + data_at;
    if (!lost.data.empty())
        std::memcpy(block.data, lost.data.data(), lost.data.size());
    return block;
}

int write_new_image(const arguments_t& arguments, const retry_plan_t& plan, const std::string& out_name)
{
    pass_t pass;
    pass_output_t out;
    if (!open_pass(arguments.positional[1], plan.format, arguments.value("bad"), pass) ||
        !create_output(out_name, plan.format, out))
        return exit_trouble;
    size_t next = 0;
    int status = exit_same;
    for (;;) {
        pass_block_t block = next_block(pass);
        if (block.kind == pass_kind_t::failed || block.kind == pass_kind_t::end) {
            status = block.kind == pass_kind_t::failed ? block.status : exit_same;
            break;
        }
        skipped_record_t sense;
        if (block.kind == pass_kind_t::lost) {
            if (next == plan.lost.size() || plan.lost[next].block != block.block) {
                fprintf(stderr, "brxtool: retry: %s changed while the tape was read\n", pass.tape.name.c_str());
                status = exit_trouble;
                break;
            }
            block = found_or_lost(block, plan.lost[next++], sense, out.tape);
        }
        if (!put_block(out, block)) {
            status = exit_trouble;
            break;
        }
    }
    const bool replacing = same_file(identity_of(out_name.c_str()), identity_of(pass.tape.handle.os_handle));
    close_tape(pass.tape);  // before IMAGE is renamed
    if (status == exit_same && finish_output(out, replacing && !arguments.has("no-keep"))) {
        printf("%s\n", output_summary(out).c_str());
        return out.lost == 0 ? exit_same : exit_still_lost;
    }
    abandon_output(out);
    fprintf(stderr, "brxtool: retry: %s not written\n", out_name.c_str());
    return status == exit_same ? exit_trouble : status;
}

bool reads_option(const arguments_t& arguments, int32_t& reads)
{
    uint32_t number = 3;
    if (!number_option(arguments, "retry: ", "reads", 0, 1000, number))
        return false;
    reads = static_cast<int32_t>(number);
    return true;
}

// The tape's work; 0 when the new image may be written.
int read_tape(const std::string& device, int32_t reads, retry_plan_t& plan, manifest_source_t& source)
{
    tape_t drive;
    if (!is_device_name(device) || !open_tape(device, format_t::unknown, drive)) {
        fprintf(stderr, "brxtool: retry: %s is not a tape device that opens\n", device.c_str());
        return exit_trouble;
    }
    source.device = device;
    read_drive_identity(&drive.handle, drive.memory, drive.memory + data_at, source.drive);
    switch (read_lost_runs(drive, reads, plan.runs, plan.lost)) {
    case retry_outcome_t::other_tape:
        fprintf(stderr, "brxtool: retry: nothing written\n");
        return exit_different;
    case retry_outcome_t::unverified:
        fprintf(stderr, "brxtool: retry: no record next to a lost one could be read again, so this cannot be told to be "
                        "the image's tape; nothing written\n");
        return exit_different;
    default:
        return exit_same;
    }
}

int run(const arguments_t& arguments)
{
    const std::string& image = arguments.positional[1];
    const std::string out_name = arguments.has("out") ? arguments.value("out") : image;
    int32_t reads = 0;
    retry_plan_t plan;
    manifest_source_t source = brxtool_source(arguments.command_line);
    if (!reads_option(arguments, reads))
        return exit_trouble;
    const file_identity_t out = identity_of(out_name.c_str());
    if (is_standard_stream(out_name) || is_device_name(out_name) ||
        same_file(out, identity_of((image + ".bad").c_str())) || same_file(out, identity_of(arguments.value("bad").c_str()))) {
        fprintf(stderr, "brxtool: retry: OUT must be an image file, not a list of lost records\n");
        return exit_trouble;
    }
    if (const int status = scan(image, arguments.value("bad"), plan); status != exit_same)
        return status;
    if (plan.lost.empty()) {
        printf("%s: no record is lost; nothing to do\n", image.c_str());
        return exit_same;
    }
    if (const int status = read_tape(arguments.positional[0], reads, plan, source); status != exit_same)
        return status;
    uint64_t recovered = 0;
    for (const lost_record_t& lost : plan.lost)
        recovered += lost.found != lost_record_t::found_t::nothing ? 1 : 0;
    printf("%s: %" PRIu64 " of %zu lost records recovered\n", image.c_str(), recovered, plan.lost.size());
    const int status = write_new_image(arguments, plan, out_name);
    if (arguments.has("manifest") && (status == exit_same || status == exit_still_lost)) {
        const int written = write_image_manifest(out_name, plan.format, "", out_name + ".json", source);
        return written == exit_same ? status : written;
    }
    return status;
}

}  // namespace

const command_t retry_command{"retry",
                              help,
                              {{"bad", true}, {"out", true}, {"reads", true}, {"no-keep", false}, {"manifest", false}},
                              2,
                              run};
