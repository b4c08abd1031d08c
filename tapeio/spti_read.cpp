#include "tapeio/spti_commands.h"
#include "tapeio/spti_sense.h"
#include "tapeio/spti_tape_io.h"

namespace {

// call failed, bad status, sense rejected, NO SENSE, RECOVERED, MEDIUM ERROR, VOLUME OVERFLOW, other
constexpr failure_codes_t read_failures{-3, -4, -5, -6, -7, -8, -9, -9};
constexpr int32_t read_end_of_medium = -1;

}  // namespace

// n: a record of exactly n bytes, the tape behind it. Failures: -3 to -9, -9 past the recorded data.
int32_t spti_tape_io_t::read_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size)
{
    begin_operation(handle);
    uint32_t offset = static_cast<uint32_t>(data_offset(handle));
    if (size > handle->largest_buffer)
        size = handle->largest_buffer;
    if (size < offset) {
        // No room for any data behind the block: nothing is sent, the tape does not move.
        handle->last_error = ERROR_INVALID_PARAMETER;
        return read_failures.call_failed;
    }
    uint32_t requested = size - offset;
    spti_request_t* request = read6_command(handle, buffer, buffer + offset, requested);
    ladder_t ladder = climb_ladder(handle, request, read_failures);
    switch (ladder.step) {
    case ladder_step_t::failed:
        return ladder.code;
    case ladder_step_t::good:
        add_blocks(handle, 1);
        return static_cast<int32_t>(requested);
    case ladder_step_t::sense:
        break;
    }
    return read_sense_outcome(handle, ladder.sense, requested);
}

int32_t spti_tape_io_t::read_sense_outcome(tape_io_handle_t* handle, const sense_view_t& sense, uint32_t requested)
{
    switch (sense.key) {
    case sense_key::no_sense:
    case sense_key::recovered_error:
        if (sense.filemark) {
            add_blocks(handle, 1);  // 0: the tape stands behind the mark
            return 0;
        }
        if (sense.ili) {
            // The record's true length; above requested only requested bytes arrived. Tape behind it.
            add_blocks(handle, 1);
            if (!sense.valid)
                return 0;
            return static_cast<int32_t>(requested - static_cast<uint32_t>(sense.information));
        }
        break;
    case sense_key::medium_error:
        if (sense.eom) {
            set_position(handle, 1);  // -1: at the end of the medium
            add_blocks(handle, 1);
            return read_end_of_medium;
        }
        break;
    default:
        break;
    }
    return fail(handle, key_failure(read_failures, sense.key));
}
