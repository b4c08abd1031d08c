#include "brxtool/pass_output.h"

#include <cinttypes>
#include <cstdio>

#include "copy/created_file.h"
#include "platform/system_error_text.h"

namespace {

bool put_in_place(const std::string& from, const std::string& to)
{
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    fprintf(stderr, "brxtool: cannot rename %s to %s: %s\n", from.c_str(), to.c_str(), error_text(GetLastError()).c_str());
    return false;
}

// OUT and OUT.bad become OUT.prev and OUT.prev.bad; an older OUT.prev.bad goes when OUT had no list.
bool keep_as_previous(const std::string& name)
{
    const std::string previous = name + ".prev";
    if (!exists(name))
        return true;
    if (!put_in_place(name, previous))
        return false;
    if (exists(name + ".bad"))
        return put_in_place(name + ".bad", previous + ".bad");
    remove_created_file((previous + ".bad").c_str());
    return true;
}

bool list_lost(pass_output_t& out, const pass_block_t& block)
{
    const std::string list = partial_name(out.name + ".bad");
    if (out.list.stream == nullptr && !create_bad_list(out.list, list, brxtool_messages()))
        return false;
    if (block.length != 0)
        fprintf(stderr, "brxtool: %s: block %" PRIu64 " (%s): %s cannot mark a bad record; its %u bytes are left out\n",
                out.name.c_str(), block.block, place_of(block).c_str(), format_info(out.tape.format).name, block.length);
    skipped_record_t line;
    line.block = static_cast<uint32_t>(block.block);
    line.file = static_cast<uint32_t>(out.walk.file);
    line.record = static_cast<uint32_t>(out.walk.record);
    line.offset = out.tape.handle.position;
    if (block.listed != nullptr)
        line.sense = block.listed->sense;
    return add_to_bad_list(out.list, line);
}

}  // namespace

std::string partial_name(const std::string& name) { return name + ".partial"; }

bool exists(const std::string& name) { return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; }

message_target_t brxtool_messages() { return {stderr, nullptr, nullptr, system_error_text, nullptr}; }

bool create_output(const std::string& name, format_t format, pass_output_t& out)
{
    out.name = name;
    return create_tape(partial_name(name), format, out.tape);
}

bool put_block(pass_output_t& out, const pass_block_t& block)
{
    out.walk.passed(block.kind == pass_kind_t::mark);
    if (block.kind == pass_kind_t::mark)
        return write_mark(out.tape);
    if (block.kind == pass_kind_t::record)
        return write_record(out.tape, block.data, block.length, false);
    ++out.lost;
    if (format_info(out.tape.format).marks_bad)
        return write_record(out.tape, block.length != 0 ? block.data : out.tape.memory + data_at, block.length, true);
    return list_lost(out, block);
}

bool end_output(pass_output_t& out)
{
    uint64_t size = 0;
    bool done = finish_tape(out.tape) && image_size(&out.tape.handle, &size);
    done = FlushFileBuffers(out.tape.handle.os_handle) && done;
    close_tape(out.tape);
    return finish_bad_list(out.list, size) && done;
}

bool place_output(pass_output_t& out, bool keep_previous)
{
    if ((keep_previous && !keep_as_previous(out.name)) || !put_in_place(partial_name(out.name), out.name))
        return false;
    if (out.list.created)
        return put_in_place(partial_name(out.name + ".bad"), out.name + ".bad");
    remove_created_file((out.name + ".bad").c_str());
    return true;
}

bool finish_output(pass_output_t& out, bool keep_previous) { return end_output(out) && place_output(out, keep_previous); }

void abandon_output(pass_output_t& out)
{
    close_tape(out.tape);
    if (out.list.stream != nullptr)
        fclose(out.list.stream);
    out.list.stream = nullptr;
    remove_created_file(partial_name(out.name).c_str());
    if (out.list.created)
        remove_created_file(partial_name(out.name + ".bad").c_str());
}

std::string output_summary(const pass_output_t& out)
{
    const tape_t& tape = out.tape;
    const bool marked = format_info(tape.format).marks_bad;
    return out.name + ": " + std::to_string(out.walk.file + (out.walk.record != 0 ? 1 : 0)) + " files, " +
           std::to_string(tape.records - (marked ? out.lost : 0)) + " records, " + std::to_string(tape.bytes) +
           " bytes, " + std::to_string(tape.marks) + " tape marks, " + std::to_string(out.lost) + " records lost" +
           (out.lost == 0 ? "" : marked ? " (marked bad)" : " (listed in " + out.name + ".bad)");
}
