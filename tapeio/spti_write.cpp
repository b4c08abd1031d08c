#include "tapeio/spti_commands.h"
#include "tapeio/spti_sense.h"
#include "tapeio/spti_tape_io.h"

namespace {

// call failed, bad status, sense rejected, NO SENSE, RECOVERED, MEDIUM ERROR, VOLUME OVERFLOW, other
constexpr failure_codes_t write_failures{-2, -3, -4, -5, -6, -8, -7, -8};
constexpr int32_t medium_full = -1;

}  // namespace

// length: written, the tape behind the record. The caller placed the data at data_offset.
int32_t spti_tape_io_t::write_record(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length)
{
    begin_operation(handle);
    write6_command(handle, buffer, buffer + data_offset(handle), length);
    return write_outcome(handle, buffer, static_cast<int32_t>(length));
}

// 0: one mark written, the tape behind it.
int32_t spti_tape_io_t::write_tape_mark(tape_io_handle_t* handle, uint8_t* buffer, uint32_t)
{
    begin_operation(handle);
    write_filemarks_command(handle, buffer, 1, spti_timeout::one_block);
    return write_outcome(handle, buffer, 0);
}

int32_t spti_tape_io_t::write_outcome(tape_io_handle_t* handle, uint8_t* buffer, int32_t written)
{
    ladder_t ladder = climb_ladder(handle, request_block(buffer), write_failures);
    switch (ladder.step) {
    case ladder_step_t::failed:
        return ladder.code;
    case ladder_step_t::good:
        add_blocks(handle, 1);
        return written;
    case ladder_step_t::sense:
        break;
    }
    const sense_view_t& sense = ladder.sense;
    bool warning_key = sense.key == sense_key::no_sense || sense.key == sense_key::recovered_error;
    if (sense.eom && (warning_key || sense.key == sense_key::volume_overflow)) {
        // Early warning: written, near the end. Overflow: the medium is full. Either way, counted.
        set_position(handle, 1);
        add_blocks(handle, 1);
        return warning_key ? written : medium_full;
    }
    return fail(handle, key_failure(write_failures, sense.key));
}
