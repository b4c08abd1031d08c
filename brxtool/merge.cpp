// brxtool merge: one image of the same tape from several passes, each record from a pass that has it.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>

#include "brxtool/commands.h"
#include "brxtool/pass_output.h"
#include "brxtool/progress.h"
#include "copy/file_identity.h"

namespace {

const char help[] =
    "Usage: brxtool merge A B [C...] --out OUT [--to FORMAT] [--prefer PASS]\n"
    "Makes one image of several passes over the same tape (images of any format, each with the list\n"
    "of its lost records beside it, PASS.bad, where it has one): every record that any pass holds,\n"
    "in its place by block number. A pass without a list is taken as whole up to where it ends.\n"
    "Records lost in every pass stay lost: marked bad in tap and e11, listed in OUT.bad otherwise.\n"
    "Where passes hold a block with different bytes (unless --prefer says which wins) or disagree\n"
    "on the tape's structure (a mark in one, a record in the other), merge names the block, stops\n"
    "and writes nothing.\n"
    "  --out OUT      the image to write (under OUT.partial until it is whole); its format is --to\n"
    "                 (brx, tap, e11, aws, het) or else comes from its extension\n"
    "  --prefer PASS  the pass whose copy wins where passes hold different bytes\n"
    "Exit status: 0 merged, nothing lost; 1 the passes disagree; 2 trouble; 3 merged, records still lost.\n";

constexpr int exit_still_lost = 3;

struct merger_t {
    std::vector<std::unique_ptr<pass_t>> passes;
    std::vector<bool> ended;
    std::vector<uint64_t> taken, only;
    int preferred = -1;
};

bool holds(const pass_block_t& block) { return block.kind == pass_kind_t::record || block.kind == pass_kind_t::mark; }

std::string what(const pass_block_t& block)
{
    return block.kind == pass_kind_t::mark ? "a tape mark" : "a record of " + std::to_string(block.length) + " bytes";
}

// Where two holders of a block part, or "" when they hold the same.
std::string difference(const pass_block_t& a, const pass_block_t& b)
{
    if (a.kind != b.kind)
        return "structure";
    if (a.kind == pass_kind_t::mark)
        return "";
    const uint32_t common = std::min(a.length, b.length);
    const uint32_t at = static_cast<uint32_t>(std::mismatch(a.data, a.data + common, b.data).first - a.data);
    if (at == common && a.length == b.length)
        return "";
    return at == common ? "the same bytes as far as the shorter goes" : "the first difference at byte " + std::to_string(at);
}

void report(const merger_t& m, const std::vector<pass_block_t>& blocks, size_t a, size_t b, const std::string& how)
{
    const std::string name_a = m.passes[a]->tape.name, name_b = m.passes[b]->tape.name;
    const std::string where = "block " + std::to_string(blocks[a].block) + " (" + place_of(blocks[a]) + "): ";
    if (how == "structure")
        fprintf(stderr, "brxtool: merge: %s%s has %s, %s has %s: the passes disagree on the tape's structure\n",
                where.c_str(), name_a.c_str(), what(blocks[a]).c_str(), name_b.c_str(), what(blocks[b]).c_str());
    else
        fprintf(stderr, "brxtool: merge: %s%s and %s hold different records (%u and %u bytes, %s); --prefer PASS says "
                "which wins\n", where.c_str(), name_a.c_str(), name_b.c_str(), blocks[a].length, blocks[b].length,
                how.c_str());
}

// The pass whose copy of the block goes into OUT; -1 when none holds it, -2 when they disagree.
int choose(const merger_t& m, const std::vector<pass_block_t>& blocks)
{
    int chosen = m.preferred >= 0 && holds(blocks[static_cast<size_t>(m.preferred)]) ? m.preferred : -1;
    for (size_t i = 0; chosen < 0 && i < blocks.size(); ++i)
        chosen = holds(blocks[i]) ? static_cast<int>(i) : -1;
    if (chosen < 0)
        return -1;
    const size_t c = static_cast<size_t>(chosen);
    for (size_t i = 0; i < blocks.size(); ++i) {
        const std::string how = i == c || !holds(blocks[i]) ? "" : difference(blocks[c], blocks[i]);
        if (!how.empty() && (how == "structure" || chosen != m.preferred)) {
            report(m, blocks, c, i, how);
            return -2;
        }
    }
    return chosen;
}

// A lost record as the passes tell it: with its sense from a list, or the data a bad record holds.
pass_block_t lost_block(const std::vector<pass_block_t>& blocks)
{
    const pass_block_t* best = nullptr;
    for (const pass_block_t& block : blocks)
        if (block.kind == pass_kind_t::lost && (best == nullptr || (best->listed == nullptr && best->length == 0)))
            best = &block;
    return *best;
}

// false at the end of every pass; status set when one fails.
bool read_all(merger_t& m, std::vector<pass_block_t>& blocks, int& status)
{
    bool any = false;
    for (size_t i = 0; i < m.passes.size(); ++i) {
        blocks[i] = m.ended[i] ? pass_block_t{} : next_block(*m.passes[i]);
        if (blocks[i].kind == pass_kind_t::failed)
            status = blocks[i].status;
        m.ended[i] = blocks[i].kind == pass_kind_t::end;
        any = any || !m.ended[i];
    }
    return any && status == exit_same;
}

int merge(merger_t& m, pass_output_t& out)
{
    progress_t progress("merge");
    std::vector<pass_block_t> blocks(m.passes.size());
    int status = exit_same;
    while (read_all(m, blocks, status)) {
        const int chosen = choose(m, blocks);
        if (chosen == -2)
            return exit_different;
        if (chosen >= 0 && blocks[static_cast<size_t>(chosen)].kind == pass_kind_t::record) {
            ++m.taken[static_cast<size_t>(chosen)];
            m.only[static_cast<size_t>(chosen)] += std::count_if(blocks.begin(), blocks.end(), holds) == 1 ? 1 : 0;
        }
        if (!put_block(out, chosen >= 0 ? blocks[static_cast<size_t>(chosen)] : lost_block(blocks)))
            return exit_trouble;
        progress.update(out.tape.bytes, out.tape.records);
    }
    return status;
}

// The passes, --prefer among them, and OUT apart from every one of them and their lists.
bool open_passes(const arguments_t& arguments, const std::string& out, merger_t& m)
{
    const file_identity_t written = identity_of(out.c_str());
    for (const std::string& name : arguments.positional) {
        m.passes.push_back(std::make_unique<pass_t>());
        pass_t& pass = *m.passes.back();
        if (!open_pass(name, format_t::unknown, "", pass))
            return false;
        if (same_file(written, identity_of(pass.tape.handle.os_handle)) ||
            (!pass.list.empty() && same_file(written, identity_of(pass.list.c_str())))) {
            fprintf(stderr, "brxtool: merge: OUT must not be %s or its list\n", name.c_str());
            return false;
        }
        if (arguments.value("prefer") == name)
            m.preferred = static_cast<int>(m.passes.size() - 1);
    }
    if (arguments.has("prefer") && m.preferred < 0)
        fprintf(stderr, "brxtool: merge: --prefer %s names none of the passes\n", arguments.value("prefer").c_str());
    m.ended.assign(m.passes.size(), false);
    m.taken.assign(m.passes.size(), 0);
    m.only.assign(m.passes.size(), 0);
    return !arguments.has("prefer") || m.preferred >= 0;
}

int run(const arguments_t& arguments)
{
    const std::string out_name = arguments.value("out");
    format_t format = format_t::unknown;
    if (arguments.positional.size() < 2 || out_name.empty() || is_standard_stream(out_name) ||
        is_device_name(out_name)) {
        fprintf(stderr, "brxtool: merge takes two passes or more and --out with an image file\n%s", help);
        return exit_trouble;
    }
    merger_t m;
    pass_output_t out;
    if (!output_format(arguments, "merge", out_name, format) || !open_passes(arguments, out_name, m) ||
        !create_output(out_name, format, out))
        return exit_trouble;
    int status = merge(m, out);
    m.passes.clear();  // closed before OUT replaces one of them
    if (status == exit_same && !finish_output(out, false))
        status = exit_trouble;
    if (status != exit_same) {
        abandon_output(out);
        fprintf(stderr, "brxtool: merge: nothing written\n");
        return status;
    }
    for (size_t i = 0; i < m.taken.size(); ++i)
        printf("%s: %" PRIu64 " records taken, %" PRIu64 " found in no other pass\n", arguments.positional[i].c_str(),
               m.taken[i], m.only[i]);
    printf("%s\n", output_summary(out).c_str());
    return out.lost == 0 ? exit_same : exit_still_lost;
}

}  // namespace

const command_t merge_command{"merge", help, {{"out", true}, {"to", true}, {"prefer", true}}, any_count, run};
