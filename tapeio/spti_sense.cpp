#include "tapeio/spti_sense.h"

sense_view_t read_sense(const uint8_t* sense)
{
    sense_view_t view;
    view.valid = (sense[0] & sense_bit::valid) != 0;
    view.filemark = (sense[2] & sense_bit::filemark) != 0;
    view.eom = (sense[2] & sense_bit::eom) != 0;
    view.ili = (sense[2] & sense_bit::ili) != 0;
    view.key = sense[2] & 0x0F;
    uint32_t information = (uint32_t{sense[3]} << 24) | (uint32_t{sense[4]} << 16) | (uint32_t{sense[5]} << 8) |
                           uint32_t{sense[6]};
    view.information = static_cast<int32_t>(information);
    return view;
}

bool sense_format_accepted(const uint8_t* sense) { return (sense[0] & 0x70) == 0x70; }

call_outcome_t send_and_classify(tape_io_handle_t* handle, spti_request_t* request)
{
    if (!send_request(handle, request))
        return call_outcome_t::call_failed;
    switch (request->sptd.ScsiStatus) {
    case scsi_status::good:
        return call_outcome_t::good;
    case scsi_status::check_condition:
        return call_outcome_t::check_condition;
    default:
        return call_outcome_t::bad_status;
    }
}

int32_t key_failure(const failure_codes_t& codes, uint8_t key)
{
    switch (key) {
    case sense_key::no_sense:
        return codes.no_sense;
    case sense_key::recovered_error:
        return codes.recovered_error;
    case sense_key::medium_error:
        return codes.medium_error;
    case sense_key::volume_overflow:
        return codes.volume_overflow;
    default:
        return codes.other_key;
    }
}

int32_t fail(tape_io_handle_t* handle, int32_t code)
{
    handle->last_error = GetLastError();
    return code;
}

ladder_t climb_ladder(tape_io_handle_t* handle, spti_request_t* request, const failure_codes_t& codes)
{
    switch (send_and_classify(handle, request)) {
    case call_outcome_t::call_failed:
        return {ladder_step_t::failed, fail(handle, codes.call_failed), {}};
    case call_outcome_t::good:
        return {ladder_step_t::good, 0, {}};
    case call_outcome_t::bad_status:
        return {ladder_step_t::failed, fail(handle, codes.bad_status), {}};
    case call_outcome_t::check_condition:
        break;
    }
    if (!sense_format_accepted(request->sense))
        return {ladder_step_t::failed, fail(handle, codes.sense_rejected), {}};
    return {ladder_step_t::sense, 0, read_sense(request->sense)};
}
