#include "tapeio/spti_inquiries.h"

#include "tapeio/scsi_codes.h"
#include "tapeio/spti_commands.h"
#include "tapeio/spti_sense.h"

namespace {

constexpr uint32_t data_offset = 512;
constexpr uint32_t position_length = 20;  // the short form
constexpr uint8_t block_position_unknown = 0x04;
constexpr uint32_t limits_length = 6;
constexpr int attention_tries = 100;

uint32_t be32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

bool spti_read_position(tape_io_handle_t* handle, uint8_t* buffer, uint32_t& block)
{
    handle->clear_error();
    const uint8_t cdb[10] = {scsi_op::read_position, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    spti_request_t* request = new_command(handle, buffer, cdb, sizeof cdb, spti_timeout::one_block);
    set_data_phase(request, SCSI_IOCTL_DATA_IN, buffer + data_offset, position_length);
    if (send_and_classify(handle, request) != call_outcome_t::good)
        return false;
    const uint8_t* data = buffer + data_offset;
    if (request->sptd.DataTransferLength < 8 || (data[0] & block_position_unknown) != 0)
        return false;
    block = be32(data + 4);
    return true;
}

bool spti_read_block_limits(tape_io_handle_t* handle, uint8_t* buffer, uint32_t& maximum)
{
    handle->clear_error();
    for (int tries = 0; tries < attention_tries; ++tries) {
        const uint8_t cdb[6] = {scsi_op::read_block_limits, 0, 0, 0, 0, 0};
        spti_request_t* request = new_command(handle, buffer, cdb, sizeof cdb, spti_timeout::one_block);
        set_data_phase(request, SCSI_IOCTL_DATA_IN, buffer + data_offset, limits_length);
        const call_outcome_t outcome = send_and_classify(handle, request);
        if (outcome == call_outcome_t::good) {
            const uint8_t* data = buffer + data_offset;
            maximum = (uint32_t{data[1]} << 16) | (uint32_t{data[2]} << 8) | data[3];
            return maximum != 0;  // 0: the drive names no maximum
        }
        if (outcome != call_outcome_t::check_condition || !sense_format_accepted(request->sense) ||
            read_sense(request->sense).key != sense_key::unit_attention)
            return false;
    }
    return false;
}

bool spti_locate(tape_io_handle_t* handle, uint8_t* buffer, uint32_t block)
{
    handle->clear_error();
    const uint8_t cdb[10] = {scsi_op::locate10,          0, 0, static_cast<uint8_t>(block >> 24),
                             static_cast<uint8_t>(block >> 16), static_cast<uint8_t>(block >> 8),
                             static_cast<uint8_t>(block), 0, 0, 0};
    spti_request_t* request = new_command(handle, buffer, cdb, sizeof cdb, spti_timeout::long_move);
    return send_and_classify(handle, request) == call_outcome_t::good;
}
