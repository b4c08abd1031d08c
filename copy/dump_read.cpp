#include "copy/dump_read.h"

#include "copy/copy_context.h"
#include "copy/dump_reposition.h"
#include "copy/dump_restore_output.h"
#include "copy/progress.h"
#include "tapeio/spti_request.h"
#include "tapeio/tape_io_objects.h"

dump_walk_t dump_walk;

namespace {

int32_t last_length = 0;  // what the driver gave for the last read, a too long record's true length

int32_t data_room()
{
    return static_cast<int32_t>(copy_context.buffer_size) - active_tape_io.data_offset(&tape_handle);
}

// One read_forward. A record longer than the data area left only its first part in the buffer,
// so it counts as a failed read. Up to the buffer's size the reason given is the system's "more
// data" text; a result beyond the buffer is failed with whatever reason the driver left. "/block="
// limits the records, whatever room the buffer has for the transport.
int32_t read_once()
{
    const uint32_t size = copy_context.buffer_size;
    const int32_t result = last_length = active_tape_io.read_forward(&tape_handle, copy_context.buffer, size);
    if (result < 0)
        dump_walk.last_sense = sense_of_last_request(copy_context.buffer);
    if (result > static_cast<int32_t>(size))
        return dump_record_too_long;
    if (result > data_room()) {
        tape_handle.last_error = ERROR_MORE_DATA;
        return dump_record_too_long;
    }
    if (result > 0 && copy_context.longest_record != 0 && static_cast<uint32_t>(result) > copy_context.longest_record)
        return dump_record_too_long;
    return result;
}

bool failed(int32_t result) { return result < 0; }

// A record too long is no unreadable record: with "/block=" or "/skip" it ends the dump with its
// true length, never read again (the drive has passed it). Without them the classic retry stays.
bool too_long_ends_dump(int32_t result)
{
    return result == dump_record_too_long && (copy_context.longest_record != 0 || copy_context.skip);
}

const char* last_error_text() { return copy_context.system_error_text(tape_handle.last_error); }

// The log alone hears why each further attempt failed.
void log_failed_attempt(int64_t offset)
{
    FILE* log = copy_context.log_stream;
    if (log == nullptr)
        return;
    fprintf(log, "Failed to read tape block: %s\n", last_error_text());
    fprintf(log, "DUMP file offset: " BRX_I64D "\n", offset);
}

void report_final_failure(int64_t offset, int32_t result)
{
    if (too_long_ends_dump(result) && copy_context.longest_record != 0) {
        print_to_console_and_log("Failed to read tape block: the record is %ld bytes long, more than /block=%lu\n",
                                 static_cast<long>(last_length), static_cast<unsigned long>(copy_context.longest_record));
    } else if (too_long_ends_dump(result)) {
        print_to_console_and_log("Failed to read tape block: the record is %ld bytes long, more than %ld (/block= reads "
                                 "longer ones)\n",
                                 static_cast<long>(last_length), static_cast<long>(data_room()));
    } else {
        progress_erase();
        fprintf(stderr, "Failed to read tape block: %s\n", last_error_text());
        if (copy_context.log_stream != nullptr)
            fprintf(copy_context.log_stream, "Failed to read tape block: %s\n", last_error_text());
    }
    if (copy_context.log_stream != nullptr)
        fprintf(copy_context.log_stream, "DUMP file offset: " BRX_I64D "\n", offset);
}

void announce_attempt(int64_t offset)
{
    print_to_console_and_log("TAPE BAD BLOCK detected (offset " BRX_I64D " bytes), trying to recover...\n", offset);
}

// The classic retry: the drive reads on from wherever the failed read left it.
int32_t read_again_in_place(int64_t offset, int32_t result)
{
    int32_t attempts_left = copy_context.bad_block_reads > 0 ? copy_context.bad_block_reads : 0;
    while (failed(result) && attempts_left != 0) {
        announce_attempt(offset);
        result = read_once();
        --attempts_left;
        if (result == dump_end_of_data)
            break;  // the bad record was the last thing on the tape: still a failure
        if (failed(result))
            log_failed_attempt(offset);
    }
    return result;
}

// "/skip": each further attempt reads the same record again, wherever the drive went after the
// failure. A failure with the drive lost, or a record too long, stops as in the classic retry.
int32_t read_again_at(uint32_t block, int64_t offset, int32_t result)
{
    int32_t attempts_left = copy_context.bad_block_reads > 0 ? copy_context.bad_block_reads : 0;
    while (failed(result) && !too_long_ends_dump(result) && attempts_left != 0) {
        announce_attempt(offset);
        if (!move_before_block(block))
            return result;
        result = read_once();
        --attempts_left;
        if (failed(result) && !too_long_ends_dump(result))
            log_failed_attempt(offset);
    }
    return result;
}

void report_skip(const skipped_record_t& s)
{
    print_to_console_and_log("Skipped unreadable block %lu (file %lu, record %lu); dump file offset " BRX_I64D
                             ", sense %02X/%02X/%02X\n",
                             static_cast<unsigned long>(s.block), static_cast<unsigned long>(s.file),
                             static_cast<unsigned long>(s.record), static_cast<int64_t>(s.offset), s.sense.key,
                             s.sense.asc, s.sense.ascq);
}

// The end of the medium, a record too long and the end of data are no records to skip.
bool skippable(int32_t result)
{
    return failed(result) && result != -1 && result != dump_end_of_data && !too_long_ends_dump(result);
}

int32_t skip_record(uint32_t block, int64_t offset)
{
    skipped_record_t& s = dump_walk.last_skipped;
    s = {block, dump_walk.file, ++dump_walk.record, static_cast<uint64_t>(offset), dump_walk.last_sense};
    report_skip(s);
    ++dump_walk.skipped;
    if (++dump_walk.skipped_in_a_row < dump_skips_in_a_row)
        return dump_record_skipped;
    print_to_console_and_log("Gave up after %lu unreadable records in a row\n",
                             static_cast<unsigned long>(dump_skips_in_a_row));
    return dump_gave_up;
}

int32_t read_or_skip(int64_t offset, int32_t result)
{
    const uint32_t block = static_cast<uint32_t>(tape_handle.block_count);  // failed reads do not count
    result = read_again_at(block, offset, result);
    if (!failed(result) || !skippable(result) || !move_after_block(block))
        return result;
    return skip_record(block, offset);
}

void count(int32_t result)
{
    if (result == 0) {
        ++dump_walk.file;
        dump_walk.record = 0;
    } else {
        ++dump_walk.record;
    }
    dump_walk.skipped_in_a_row = 0;
}

}  // namespace

dump_sense_t sense_of_last_request(uint8_t* buffer)
{
    const spti_request_t* request = request_block(buffer);
    if (request->sptd.SenseInfoLength < 14)
        return {};
    return {static_cast<uint8_t>(request->sense[2] & 0x0F), request->sense[12], request->sense[13]};
}

void start_dump_reading() { dump_walk = dump_walk_t{}; }

int32_t read_dump_record(uint64_t dump_offset)
{
    const int64_t offset = static_cast<int64_t>(dump_offset);
    int32_t result = read_once();
    if (result == dump_end_of_data)
        return dump_end_of_data;  // tape left behind the last recorded data
    if (failed(result) && !too_long_ends_dump(result))
        result = copy_context.skip ? read_or_skip(offset, result) : read_again_in_place(offset, result);
    if (result == dump_record_skipped || result == dump_gave_up)
        return result;
    if (failed(result)) {
        report_final_failure(offset, result);
        return dump_read_failed;  // tape left wherever the last attempt stopped
    }
    count(result);
    return result;
}
