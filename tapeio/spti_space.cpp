#include "tapeio/spti_commands.h"
#include "tapeio/spti_sense.h"
#include "tapeio/spti_tape_io.h"

namespace {

// call failed, bad status, sense rejected, NO SENSE, RECOVERED, MEDIUM ERROR, VOLUME OVERFLOW, other
constexpr failure_codes_t space_failures{-3, -4, -5, -6, -7, -8, -9, -9};
constexpr int32_t space_medium_edge = -1;
constexpr int32_t space_done = 0;
constexpr int32_t step_done = 1;
constexpr int32_t stopped_at_mark = 0;

uint32_t space_count(uint32_t count) { return count > spti_max_space_count ? spti_max_space_count : count; }

}  // namespace

int32_t spti_tape_io_t::space_file_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t)
{
    return space_forward(handle, buffer, spti_max_space_count, spti_timeout::long_move, space_done);
}

int32_t spti_tape_io_t::space_file_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t)
{
    return space_backward(handle, buffer, spti_max_space_count, spti_timeout::long_move, space_done);
}

int32_t spti_tape_io_t::space_record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t, uint32_t count)
{
    return space_forward(handle, buffer, space_count(count), spti_timeout::one_block, space_done);
}

int32_t spti_tape_io_t::space_record_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t, uint32_t count)
{
    return space_backward(handle, buffer, space_count(count), spti_timeout::one_block, space_done);
}

int32_t spti_tape_io_t::step_record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t, uint32_t count)
{
    return space_forward(handle, buffer, space_count(count), spti_timeout::one_block, step_done);
}

int32_t spti_tape_io_t::step_record_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t, uint32_t count)
{
    return space_backward(handle, buffer, space_count(count), spti_timeout::long_move, step_done);
}

int32_t spti_tape_io_t::space_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t count, uint32_t timeout,
                                      int32_t good_result)
{
    begin_operation(handle);
    spti_request_t* request = space_blocks_command(handle, buffer, static_cast<int32_t>(count), timeout);
    ladder_t ladder = climb_ladder(handle, request, space_failures);
    switch (ladder.step) {
    case ladder_step_t::failed:
        return ladder.code;
    case ladder_step_t::good:
        add_blocks(handle, static_cast<int32_t>(count));  // behind the last block passed
        return good_result;
    case ladder_step_t::sense:
        break;
    }
    return forward_sense_outcome(handle, ladder.sense, count);
}

int32_t spti_tape_io_t::forward_sense_outcome(tape_io_handle_t* handle, const sense_view_t& sense, uint32_t count)
{
    uint32_t residue = static_cast<uint32_t>(sense.information);
    switch (sense.key) {
    case sense_key::no_sense:
    case sense_key::recovered_error:
        if (sense.filemark) {
            if (sense.valid)
                add_blocks(handle, static_cast<int32_t>(count - residue));
            add_blocks(handle, 1);  // 0: the tape stands behind the mark
            return stopped_at_mark;
        }
        break;
    case sense_key::medium_error:
        if (sense.eom) {
            if (sense.valid)
                count -= residue;
            set_position(handle, 1);  // -1: at the end of the medium
            add_blocks(handle, static_cast<int32_t>(count));
            return space_medium_edge;
        }
        break;
    default:
        break;
    }
    return fail(handle, key_failure(space_failures, sense.key));
}

int32_t spti_tape_io_t::space_backward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t count, uint32_t timeout,
                                       int32_t good_result)
{
    begin_operation(handle);
    spti_request_t* request = space_blocks_command(handle, buffer, -static_cast<int32_t>(count), timeout);
    ladder_t ladder = climb_ladder(handle, request, space_failures);
    switch (ladder.step) {
    case ladder_step_t::failed:
        return ladder.code;
    case ladder_step_t::good:
        add_blocks(handle, -static_cast<int32_t>(count));  // in front of the last block passed
        return good_result;
    case ladder_step_t::sense:
        break;
    }
    return backward_sense_outcome(handle, ladder.sense, count);
}

int32_t spti_tape_io_t::backward_sense_outcome(tape_io_handle_t* handle, const sense_view_t& sense, uint32_t count)
{
    bool known_key = sense.key == sense_key::no_sense || sense.key == sense_key::recovered_error;
    if (known_key && sense.filemark) {
        // The residue of a backward space is negative: count + residue blocks came before the mark.
        if (sense.valid)
            add_blocks(handle, static_cast<int32_t>(0u - (count + static_cast<uint32_t>(sense.information))));
        add_blocks(handle, -1);  // 0: the tape stands in front of the mark
        return stopped_at_mark;
    }
    if ((known_key || sense.key == sense_key::medium_error) && sense.eom) {
        set_position(handle, 0);  // -1: at the beginning of the medium
        reset_blocks(handle);
        return space_medium_edge;
    }
    return fail(handle, key_failure(space_failures, sense.key));
}
