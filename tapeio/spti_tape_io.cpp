#include "tapeio/spti_tape_io.h"

#include "tapeio/spti_commands.h"
#include "tapeio/spti_sense.h"

namespace {

constexpr int32_t spti_data_offset = 512;

constexpr int32_t rewind_done = 1;
constexpr int32_t rewind_call_failed = -1;
constexpr int32_t rewind_bad_status = -2;
constexpr int32_t rewind_again_call_failed = -3;
constexpr int32_t rewind_again_bad_status = -4;

constexpr int32_t erase_call_failed = -1;
constexpr int32_t erase_bad_status = -2;

constexpr int32_t flush_call_failed = -2;
constexpr int32_t flush_bad_status = -3;
constexpr int32_t flush_sense_not_valid = -4;
constexpr int32_t flush_volume_overflow = -1;
constexpr int32_t flush_other_key = -5;

constexpr int32_t read_reverse_unsupported = -3;

}  // namespace

int32_t spti_tape_io_t::data_offset(tape_io_handle_t*) { return spti_data_offset; }

int32_t spti_tape_io_t::get_block_count(tape_io_handle_t* handle, uint32_t* count)
{
    tape_io_t::get_block_count(handle, count);
    uint64_t position = 0;
    return get_position(handle, &position);
}

int32_t spti_tape_io_t::get_position(tape_io_handle_t* handle, uint64_t* position)
{
    if (tape_io_t::get_position(handle, position) < 0)
        return -1;
    return *position >= 1 ? -1 : 0;
}

int32_t spti_tape_io_t::rewound(tape_io_handle_t* handle)
{
    set_position(handle, 0);
    reset_blocks(handle);
    return rewind_done;
}

// 1: tape at its beginning. Failures leave the tape wherever the drive stopped.
int32_t spti_tape_io_t::rewind(tape_io_handle_t* handle, uint8_t* buffer, uint32_t)
{
    begin_operation(handle);
    spti_request_t* request = rewind_command(handle, buffer);
    switch (send_and_classify(handle, request)) {
    case call_outcome_t::call_failed:
        return fail(handle, rewind_call_failed);
    case call_outcome_t::bad_status:
        return fail(handle, rewind_bad_status);
    case call_outcome_t::good:
        return rewound(handle);
    case call_outcome_t::check_condition:
        break;
    }
    // A reset or a new medium is reported once; the very same block goes again, sense unread.
    switch (send_and_classify(handle, request)) {
    case call_outcome_t::call_failed:
        return fail(handle, rewind_again_call_failed);
    case call_outcome_t::good:
        return rewound(handle);
    default:
        return fail(handle, rewind_again_bad_status);
    }
}

// 0: erased from here to the end of the medium; the tape stays here.
int32_t spti_tape_io_t::erase(tape_io_handle_t* handle, uint8_t* buffer, uint32_t)
{
    begin_operation(handle);
    switch (send_and_classify(handle, erase_long_command(handle, buffer))) {
    case call_outcome_t::call_failed:
        return fail(handle, erase_call_failed);
    case call_outcome_t::good:
        return 0;
    default:
        return fail(handle, erase_bad_status);
    }
}

// 0: buffered data is on the medium; the tape does not move and no mark is written.
int32_t spti_tape_io_t::flush(tape_io_handle_t* handle, uint8_t* buffer, uint32_t)
{
    begin_operation(handle);
    spti_request_t* request = write_filemarks_command(handle, buffer, 0, spti_timeout::long_move);
    switch (send_and_classify(handle, request)) {
    case call_outcome_t::call_failed:
        return fail(handle, flush_call_failed);
    case call_outcome_t::bad_status:
        return fail(handle, flush_bad_status);
    case call_outcome_t::good:
        return 0;
    case call_outcome_t::check_condition:
        break;
    }
    sense_view_t sense = read_sense(request->sense);
    if (!sense.valid)
        return fail(handle, flush_sense_not_valid);
    switch (sense.key) {
    case sense_key::no_sense:
    case sense_key::recovered_error:
        return 0;
    case sense_key::volume_overflow:
        return flush_volume_overflow;  // the medium is full; last_error stays clear
    default:
        return fail(handle, flush_other_key);
    }
}

// Always 0: the drive's answer, even a failed call, is not looked at.
int32_t spti_tape_io_t::unload(tape_io_handle_t* handle, uint8_t* buffer, uint32_t)
{
    begin_operation(handle);
    send_request(handle, unload_command(handle, buffer));
    return 0;
}

// Not supported over SCSI: nothing is sent and the tape does not move.
int32_t spti_tape_io_t::read_reverse(tape_io_handle_t* handle, uint8_t*, uint32_t)
{
    begin_operation(handle);
    return fail(handle, read_reverse_unsupported);
}
