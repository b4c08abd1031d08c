#include "tapeio/drive_identity.h"

#include <algorithm>

#include "tapeio/scsi_codes.h"
#include "tapeio/spti_commands.h"

namespace {

constexpr uint8_t serial_page = 0x80;
constexpr uint8_t standard_length = 36;

}  // namespace

scsi_answer_t inquiry(tape_io_handle_t* handle, uint8_t* buffer, bool vpd, uint8_t page, uint8_t* data,
                      uint8_t length)
{
    const uint8_t cdb[6] = {scsi_op::inquiry, static_cast<uint8_t>(vpd ? 1 : 0), vpd ? page : uint8_t{0}, 0, length, 0};
    return run_scsi(handle, buffer, {cdb, sizeof cdb, SCSI_IOCTL_DATA_IN, data, length, spti_timeout::one_block});
}

scsi_answer_t read_drive_identity(tape_io_handle_t* handle, uint8_t* buffer, uint8_t* data, drive_identity_t& identity)
{
    scsi_answer_t answer = inquiry(handle, buffer, false, 0, data, standard_length);
    if (!answer.good() || answer.transferred < 32)
        return answer;
    identity.vendor = scsi_text(data + 8, 8);
    identity.product = scsi_text(data + 16, 16);
    identity.revision = scsi_text(data + 32, std::min<size_t>(4, answer.transferred - 32));
    answer = inquiry(handle, buffer, true, serial_page, data, 255);
    if (answer.good() && answer.transferred >= 4)
        identity.serial = scsi_text(data + 4, std::min<size_t>(data[3], answer.transferred - 4));
    return answer;
}
