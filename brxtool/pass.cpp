#include "brxtool/pass.h"

#include <cstdio>

#include "brxtool/arguments.h"

namespace {

pass_block_t numbered(const pass_t& pass, pass_kind_t kind, const block_t& read)
{
    pass_block_t block;
    block.kind = kind;
    block.length = read.length;
    block.data = read.data;
    block.block = pass.walk.blocks - 1;
    block.file = pass.walk.file - (kind == pass_kind_t::mark ? 1 : 0);
    block.record = pass.walk.record;
    block.offset = read.offset;
    return block;
}

pass_block_t refused(const pass_t& pass, const std::string& why)
{
    fprintf(stderr, "brxtool: %s: %s does not match: %s\n", pass.tape.name.c_str(), pass.list.c_str(), why.c_str());
    pass_block_t block;
    block.kind = pass_kind_t::failed;
    block.status = exit_trouble;
    return block;
}

}  // namespace

bool open_pass(const std::string& name, format_t from, const std::string& list_name, pass_t& pass)
{
    if (!open_tape(name, from, pass.tape))
        return false;
    pass.walk.image = name;
    const bool image = pass.tape.format != format_t::device && !pass.tape.standard;
    if (!image && list_name.empty())
        return true;
    const std::string list = list_name.empty() ? name + ".bad" : list_name;
    bool present = false;
    std::string why;
    if (!image)
        why = "a list goes only with an image file";
    else if (read_skip_list(list, name, pass.tape.file_size, pass.walk.records, present, why) && !present &&
             !list_name.empty())
        why = error_text(ERROR_FILE_NOT_FOUND);
    if (!why.empty()) {
        fprintf(stderr, "brxtool: %s: %s: refused\n", list.c_str(), why.c_str());
        return false;
    }
    pass.list = present ? list : "";
    return true;
}

pass_block_t next_block(pass_t& pass, bool long_records)
{
    std::string why;
    if (const skipped_record_t* listed = pass.walk.due(pass.tape.handle.position, why)) {
        pass_block_t lost = numbered(pass, pass_kind_t::lost, block_t{});
        lost.listed = listed;
        lost.offset = listed->offset;
        return lost;
    }
    if (!why.empty())
        return refused(pass, why);
    const block_t read = read_block(pass.tape, long_records);
    switch (read.kind) {
    case block_kind_t::failed: {
        pass_block_t failed = numbered(pass, pass_kind_t::failed, read);
        failed.status = failure_status(pass.tape);
        return failed;
    }
    case block_kind_t::end:
        return pass.walk.finished(why) ? pass_block_t{} : refused(pass, why);
    case block_kind_t::mark:
        pass.walk.passed(true);
        return numbered(pass, pass_kind_t::mark, read);
    default:
        pass.walk.passed(false);
        return numbered(pass, read.bad ? pass_kind_t::lost : pass_kind_t::record, read);
    }
}

std::string place_of(const pass_block_t& block)
{
    return "file " + std::to_string(block.file) +
           (block.kind == pass_kind_t::mark ? std::string(", its tape mark") : ", record " + std::to_string(block.record));
}
