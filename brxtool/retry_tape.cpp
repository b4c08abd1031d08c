#include "brxtool/retry_tape.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "brxtool/pass_output.h"
#include "copy/dump_reposition.h"
#include "tapeio/spti_inquiries.h"

namespace {

enum class neighbour_t { same, unreadable, different };

dump_reader_t reader_for(tape_t& drive, int32_t reads)
{
    dump_reader_t reader;
    reader.driver = drive.driver;
    reader.handle = &drive.handle;
    reader.buffer = drive.memory;
    reader.buffer_size = data_at + record_room;
    reader.options = {reads, 0, true};
    reader.messages = brxtool_messages();
    return reader;
}

// In front of block: LOCATE where the drive has it, believed when READ POSITION agrees; else as
// "/skip" goes back to a record (READ POSITION, or rewind and space forward).
bool move_to(dump_reader_t& reader, uint32_t block)
{
    if (block == 0)
        return reader.driver->rewind(reader.handle, reader.buffer, reader.buffer_size) == 1;
    uint32_t at = 0;
    if (spti_locate(reader.handle, reader.buffer, block) && spti_read_position(reader.handle, reader.buffer, at) &&
        at == block) {
        reader.handle->block_count = static_cast<int32_t>(block);
        return true;
    }
    return move_before_block(reader, block);
}

// One block read as dump reads it, its messages telling where it stands.
int32_t read_at(dump_reader_t& reader, uint64_t file, uint64_t record, uint64_t offset)
{
    start_dump_reading(reader);
    reader.walk.file = static_cast<uint32_t>(file);
    reader.walk.record = static_cast<uint32_t>(record - (record != 0 ? 1 : 0));
    return read_dump_record(reader, offset);
}

std::string what(bool mark, size_t length)
{
    return mark ? "a tape mark" : "a record of " + std::to_string(length) + " bytes";
}

neighbour_t check_neighbour(dump_reader_t& reader, const lost_run_t& run)
{
    const int32_t length = read_at(reader, run.neighbour_file, run.neighbour_record, run.neighbour_offset);
    if (length < 0)
        return neighbour_t::unreadable;
    const uint8_t* data = reader.buffer + reader.driver->data_offset(reader.handle);
    const bool mark = length == 0, alike = mark == run.neighbour_mark && static_cast<size_t>(length) == run.neighbour.size();
    if (alike && std::memcmp(data, run.neighbour.data(), run.neighbour.size()) == 0)
        return neighbour_t::same;
    const std::string place = "file " + std::to_string(run.neighbour_file) +
                              (run.neighbour_mark ? ", its tape mark" : ", record " + std::to_string(run.neighbour_record));
    const std::string found = alike ? "other bytes than the image's copy"
                                    : what(mark, static_cast<size_t>(length)) + ", the image " +
                                          what(run.neighbour_mark, run.neighbour.size());
    fprintf(stderr, "brxtool: retry: block %" PRIu64 " (%s) holds %s: this is not the tape the image was made from\n",
            run.neighbour_block, place.c_str(), found.c_str());
    return neighbour_t::different;
}

// Reads the records of the run in turn; stops at the first that leaves the tape where it cannot go on.
bool read_run_records(dump_reader_t& reader, const lost_run_t& run, std::vector<lost_record_t>& lost)
{
    for (size_t i = run.first; i < run.first + run.count; ++i) {
        lost_record_t& record = lost[i];
        if (static_cast<uint64_t>(reader.handle->block_count) != record.block)
            return false;  // the drive is not where the count says: nothing read here can be placed
        const int32_t length = read_at(reader, record.file, record.record, record.offset);
        if (length == dump_record_skipped) {
            record.failed_again = true;
            record.sense = reader.walk.last_skipped.sense;
            continue;
        }
        if (length < 0)
            return false;
        const uint8_t* data = reader.buffer + reader.driver->data_offset(reader.handle);
        record.found = length == 0 ? lost_record_t::found_t::mark : lost_record_t::found_t::record;
        record.data.assign(data, data + length);
    }
    return true;
}

neighbour_t read_run(dump_reader_t& reader, const lost_run_t& run, std::vector<lost_record_t>& lost)
{
    const bool before = run.has_neighbour && !run.neighbour_after;
    const uint64_t start = before ? run.neighbour_block : lost[run.first].block;
    if (!move_to(reader, static_cast<uint32_t>(start))) {
        fprintf(stderr, "brxtool: retry: the drive does not go to block %" PRIu64 "; its records stay lost\n", start);
        return neighbour_t::unreadable;
    }
    neighbour_t checked = neighbour_t::unreadable;
    if (before && (checked = check_neighbour(reader, run)) == neighbour_t::different)
        return checked;
    const uint64_t first = lost[run.first].block;
    if (static_cast<uint64_t>(reader.handle->block_count) != first && !move_to(reader, static_cast<uint32_t>(first)))
        return checked;
    const bool passed = read_run_records(reader, run, lost);
    if (run.neighbour_after && passed)
        checked = check_neighbour(reader, run);
    return checked;
}

}  // namespace

retry_outcome_t read_lost_runs(tape_t& drive, int32_t reads, const std::vector<lost_run_t>& runs,
                               std::vector<lost_record_t>& lost)
{
    dump_reader_t reader = reader_for(drive, reads);
    bool verified = false;
    for (const lost_run_t& run : runs) {
        const neighbour_t checked = read_run(reader, run, lost);
        if (checked == neighbour_t::different)
            return retry_outcome_t::other_tape;
        verified = verified || checked == neighbour_t::same;
    }
    return verified ? retry_outcome_t::read : retry_outcome_t::unverified;
}
