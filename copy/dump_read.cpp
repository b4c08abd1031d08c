#include "copy/dump_read.h"

#include "copy/copy_context.h"
#include "copy/dump_restore_output.h"
#include "tapeio/tape_io_objects.h"

namespace {

// One read_forward. A record longer than the data area left only its first part in the buffer,
// so it counts as a failed read. Up to the buffer's size the reason given is the system's "more
// data" text; a result beyond the buffer is failed with whatever reason the driver left.
int32_t read_once()
{
    const int32_t result = active_tape_io.read_forward(&tape_handle, copy_context.buffer, transfer_buffer_size);
    if (result > static_cast<int32_t>(transfer_buffer_size))
        return dump_record_too_long;
    const int32_t room = static_cast<int32_t>(transfer_buffer_size) - active_tape_io.data_offset(&tape_handle);
    if (result > room) {
        tape_handle.last_error = ERROR_MORE_DATA;
        return dump_record_too_long;
    }
    return result;
}

bool failed(int32_t result) { return result < 0; }

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

void report_final_failure(int64_t offset)
{
    fprintf(stderr, "Failed to read tape block: %s\n", last_error_text());
    FILE* log = copy_context.log_stream;
    if (log == nullptr)
        return;
    fprintf(log, "Failed to read tape block: %s\n", last_error_text());
    fprintf(log, "DUMP file offset: " BRX_I64D "\n", offset);
}

}  // namespace

int32_t read_dump_record(uint64_t dump_offset)
{
    const int64_t offset = static_cast<int64_t>(dump_offset);
    // A negative count would never run down to zero: it asks for no further attempt.
    int32_t attempts_left = copy_context.bad_block_reads > 0 ? copy_context.bad_block_reads : 0;
    int32_t result = read_once();
    if (result == dump_end_of_data)
        return dump_end_of_data;  // tape left behind the last recorded data
    while (failed(result) && attempts_left != 0) {
        print_to_console_and_log("TAPE BAD BLOCK detected (offset " BRX_I64D " bytes), trying to recover...\n",
                                 offset);
        result = read_once();
        --attempts_left;
        if (result == dump_end_of_data)
            break;  // the bad record was the last thing on the tape: still a failure
        if (failed(result))
            log_failed_attempt(offset);
    }
    if (failed(result)) {
        report_final_failure(offset);
        return dump_read_failed;  // tape left wherever the last attempt stopped
    }
    return result;
}
