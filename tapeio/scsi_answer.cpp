#include "tapeio/scsi_answer.h"

#include "tapeio/scsi_codes.h"
#include "tapeio/spti_commands.h"
#include "tapeio/spti_sense.h"

namespace {

// Which rung failed; the values only tell the rungs apart.
constexpr int32_t call_failed = -1, bad_status = -2, sense_rejected = -3;
constexpr failure_codes_t rungs = {call_failed, bad_status, sense_rejected, 0, 0, 0, 0, 0};
constexpr uint32_t sense_data_at = 256;
constexpr uint8_t request_sense_length = 64;

scsi_answer_t sense_answer(const uint8_t* sense)
{
    scsi_answer_t answer;
    answer.kind = answer_kind_t::sense;
    answer.key = read_sense(sense).key;
    answer.asc = sense[12];
    answer.ascq = sense[13];
    return answer;
}

// A CHECK CONDITION that came without usable sense data: the device still holds it.
scsi_answer_t request_sense(tape_io_handle_t* handle, uint8_t* buffer)
{
    uint8_t* sense = buffer + sense_data_at;
    std::memset(sense, 0, request_sense_length);
    const uint8_t cdb[6] = {scsi_op::request_sense, 0, 0, 0, request_sense_length, 0};
    spti_request_t* request = new_command(handle, buffer, cdb, sizeof cdb, spti_timeout::one_block);
    set_data_phase(request, SCSI_IOCTL_DATA_IN, sense, request_sense_length);
    if (send_and_classify(handle, request) != call_outcome_t::good || !sense_format_accepted(sense)) {
        scsi_answer_t answer;
        answer.status = scsi_status::check_condition;
        return answer;
    }
    return sense_answer(sense);
}

}  // namespace

scsi_answer_t run_scsi(tape_io_handle_t* handle, uint8_t* buffer, const scsi_request_t& command)
{
    handle->clear_error();
    spti_request_t* request = new_command(handle, buffer, command.cdb, command.cdb_length, command.timeout);
    if (command.length != 0)
        set_data_phase(request, command.direction, command.data, command.length);
    const ladder_t outcome = climb_ladder(handle, request, rungs);
    if (outcome.step == ladder_step_t::sense)
        return sense_answer(request->sense);
    if (outcome.step == ladder_step_t::good) {
        scsi_answer_t answer;
        answer.kind = answer_kind_t::good;
        answer.transferred = request->sptd.DataTransferLength;
        return answer;
    }
    if (outcome.code == sense_rejected)
        return request_sense(handle, buffer);
    scsi_answer_t answer;
    answer.status = request->sptd.ScsiStatus;
    answer.system_error = outcome.code == call_failed ? handle->last_error : 0;
    return answer;
}

std::string scsi_text(const uint8_t* bytes, size_t length)
{
    std::string text(reinterpret_cast<const char*>(bytes), length);
    size_t end = text.find_last_not_of(std::string(" \0", 2));
    size_t begin = text.find_first_not_of(' ');
    return end == std::string::npos || begin > end ? std::string() : text.substr(begin, end + 1 - begin);
}
