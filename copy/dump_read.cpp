#include "copy/dump_read.h"

#include "copy/dump_reposition.h"
#include "tapeio/spti_request.h"

namespace {

int32_t data_room(dump_reader_t& r)
{
    return static_cast<int32_t>(r.buffer_size) - r.driver->data_offset(r.handle);
}

// One read_forward. A record longer than the data area left only its first part in the buffer,
// so it counts as a failed read. Up to the buffer's size the reason given is the system's "more
// data" text; a result beyond the buffer is failed with whatever reason the driver left. "/block="
// limits the records, whatever room the buffer has for the transport.
int32_t read_once(dump_reader_t& r)
{
    const uint32_t size = r.buffer_size;
    const int32_t result = r.last_length = r.driver->read_forward(r.handle, r.buffer, size);
    if (result < 0)
        r.walk.last_sense = sense_of_last_request(r.buffer);
    if (result > static_cast<int32_t>(size))
        return dump_record_too_long;
    if (result > data_room(r)) {
        r.handle->last_error = ERROR_MORE_DATA;
        return dump_record_too_long;
    }
    if (result > 0 && r.options.longest_record != 0 && static_cast<uint32_t>(result) > r.options.longest_record)
        return dump_record_too_long;
    return result;
}

bool failed(int32_t result) { return result < 0; }

// A record too long is no unreadable record: with "/block=" or "/skip" it ends the dump with its
// true length, never read again (the drive has passed it). Without them the classic retry stays.
bool too_long_ends_dump(const dump_reader_t& r, int32_t result)
{
    return result == dump_record_too_long && (r.options.longest_record != 0 || r.options.skip);
}

// The log alone hears why each further attempt failed.
void log_failed_attempt(const dump_reader_t& r, int64_t offset)
{
    if (r.messages.log == nullptr)
        return;
    say_to_log(r.messages, "Failed to read tape block: %s\n", r.messages.error_text(r.handle->last_error));
    say_to_log(r.messages, "DUMP file offset: " BRX_I64D "\n", offset);
}

void report_final_failure(const dump_reader_t& r, int64_t offset, int32_t result)
{
    if (too_long_ends_dump(r, result) && r.options.longest_record != 0) {
        say(r.messages, "Failed to read tape block: the record is %ld bytes long, more than /block=%lu\n",
            static_cast<long>(r.last_length), static_cast<unsigned long>(r.options.longest_record));
    } else if (too_long_ends_dump(r, result)) {
        say(r.messages, "Failed to read tape block: the record is %ld bytes long, more than %ld (/block= reads longer ones)\n",
            static_cast<long>(r.last_length), static_cast<long>(r.buffer_size) - r.driver->data_offset(r.handle));
    } else {
        say_error(r.messages, "Failed to read tape block: %s\n", r.handle->last_error);
    }
    say_to_log(r.messages, "DUMP file offset: " BRX_I64D "\n", offset);
}

void announce_attempt(const dump_reader_t& r, int64_t offset)
{
    say(r.messages, "TAPE BAD BLOCK detected (offset " BRX_I64D " bytes), trying to recover...\n", offset);
}

int32_t attempts(const dump_reader_t& r) { return r.options.reads > 0 ? r.options.reads : 0; }

// The classic retry: the drive reads on from wherever the failed read left it.
int32_t read_again_in_place(dump_reader_t& r, int64_t offset, int32_t result)
{
    for (int32_t attempts_left = attempts(r); failed(result) && attempts_left != 0;) {
        announce_attempt(r, offset);
        result = read_once(r);
        --attempts_left;
        if (result == dump_end_of_data)
            break;  // the bad record was the last thing on the tape: still a failure
        if (failed(result))
            log_failed_attempt(r, offset);
    }
    return result;
}

// "/skip": each further attempt reads the same record again, wherever the drive went after the
// failure. A failure with the drive lost, or a record too long, stops as in the classic retry.
int32_t read_again_at(dump_reader_t& r, uint32_t block, int64_t offset, int32_t result)
{
    for (int32_t attempts_left = attempts(r); failed(result) && !too_long_ends_dump(r, result) && attempts_left != 0;) {
        announce_attempt(r, offset);
        if (!move_before_block(r, block))
            return result;
        result = read_once(r);
        --attempts_left;
        if (failed(result) && !too_long_ends_dump(r, result))
            log_failed_attempt(r, offset);
    }
    return result;
}

void report_skip(const dump_reader_t& r, const skipped_record_t& s)
{
    say(r.messages,
        "Skipped unreadable block %lu (file %lu, record %lu); dump file offset " BRX_I64D ", sense %02X/%02X/%02X\n",
        static_cast<unsigned long>(s.block), static_cast<unsigned long>(s.file), static_cast<unsigned long>(s.record),
        static_cast<int64_t>(s.offset), s.sense.key, s.sense.asc, s.sense.ascq);
}

// The end of the medium, a record too long and the end of data are no records to skip.
bool skippable(const dump_reader_t& r, int32_t result)
{
    return failed(result) && result != -1 && result != dump_end_of_data && !too_long_ends_dump(r, result);
}

int32_t skip_record(dump_reader_t& r, uint32_t block, int64_t offset)
{
    dump_walk_t& walk = r.walk;
    walk.last_skipped = {block, walk.file, ++walk.record, static_cast<uint64_t>(offset), walk.last_sense};
    report_skip(r, walk.last_skipped);
    ++walk.skipped;
    if (++walk.skipped_in_a_row < dump_skips_in_a_row)
        return dump_record_skipped;
    say(r.messages, "Gave up after %lu unreadable records in a row\n", static_cast<unsigned long>(dump_skips_in_a_row));
    return dump_gave_up;
}

int32_t read_or_skip(dump_reader_t& r, int64_t offset, int32_t result)
{
    const uint32_t block = static_cast<uint32_t>(r.handle->block_count);  // failed reads do not count
    result = read_again_at(r, block, offset, result);
    if (!failed(result) || !skippable(r, result) || !move_after_block(r, block))
        return result;
    return skip_record(r, block, offset);
}

void count(dump_walk_t& walk, int32_t result)
{
    if (result == 0) {
        ++walk.file;
        walk.record = 0;
    } else {
        ++walk.record;
    }
    walk.skipped_in_a_row = 0;
}

}  // namespace

dump_sense_t sense_of_last_request(uint8_t* buffer)
{
    const spti_request_t* request = request_block(buffer);
    if (request->sptd.SenseInfoLength < 14)
        return {};
    return {static_cast<uint8_t>(request->sense[2] & 0x0F), request->sense[12], request->sense[13]};
}

void start_dump_reading(dump_reader_t& reader) { reader.walk = dump_walk_t{}; }

int32_t read_dump_record(dump_reader_t& reader, uint64_t dump_offset)
{
    const int64_t offset = static_cast<int64_t>(dump_offset);
    int32_t result = read_once(reader);
    if (result == dump_end_of_data)
        return dump_end_of_data;  // tape left behind the last recorded data
    if (failed(result) && !too_long_ends_dump(reader, result))
        result = reader.options.skip ? read_or_skip(reader, offset, result) : read_again_in_place(reader, offset, result);
    if (result == dump_record_skipped || result == dump_gave_up)
        return result;
    if (failed(result)) {
        report_final_failure(reader, offset, result);
        return dump_read_failed;  // tape left wherever the last attempt stopped
    }
    count(reader.walk, result);
    return result;
}
