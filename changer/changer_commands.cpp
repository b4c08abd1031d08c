#include "changer/changer_commands.h"

#include "tapeio/scsi_codes.h"
#include "tapeio/spti_commands.h"

namespace {

constexpr uint8_t element_address_page = 0x1D;
constexpr uint8_t disable_block_descriptors = 0x08;
constexpr uint8_t voltag_bit = 0x10, dvcid_bit = 0x01;
// A robot's move takes seconds to minutes; a scan of every element, up to hours.
constexpr uint32_t move_timeout = 900;

uint8_t high(uint32_t value) { return static_cast<uint8_t>(value >> 8); }
uint8_t low(uint32_t value) { return static_cast<uint8_t>(value); }

scsi_answer_t data_in(tape_io_handle_t* handle, uint8_t* buffer, const uint8_t* cdb, uint8_t cdb_length, uint8_t* data,
                      uint32_t length, uint32_t timeout = spti_timeout::one_block)
{
    return run_scsi(handle, buffer, {cdb, cdb_length, SCSI_IOCTL_DATA_IN, data, length, timeout});
}

scsi_answer_t no_data(tape_io_handle_t* handle, uint8_t* buffer, const uint8_t* cdb, uint8_t cdb_length,
                      uint32_t timeout)
{
    return run_scsi(handle, buffer, {cdb, cdb_length, SCSI_IOCTL_DATA_OUT, nullptr, 0, timeout});
}

}  // namespace

scsi_answer_t test_unit_ready(tape_io_handle_t* handle, uint8_t* buffer)
{
    const uint8_t cdb[6] = {scsi_op::test_unit_ready, 0, 0, 0, 0, 0};
    return no_data(handle, buffer, cdb, sizeof cdb, spti_timeout::one_block);
}

scsi_answer_t sense_element_addresses(tape_io_handle_t* handle, uint8_t* buffer, uint8_t* data, uint8_t length)
{
    const uint8_t cdb[6] = {scsi_op::mode_sense6, disable_block_descriptors, element_address_page, 0, length, 0};
    return data_in(handle, buffer, cdb, sizeof cdb, data, length);
}

scsi_answer_t read_element_status(tape_io_handle_t* handle, uint8_t* buffer, const element_request_t& request,
                                  uint8_t* data, uint32_t length)
{
    const uint8_t cdb[12] = {scsi_op::read_element_status,
                             static_cast<uint8_t>((request.volume_tags ? voltag_bit : 0) |
                                                  static_cast<uint8_t>(request.type)),
                             high(request.start),
                             low(request.start),
                             high(request.count),
                             low(request.count),
                             static_cast<uint8_t>(request.identifiers ? dvcid_bit : 0),
                             static_cast<uint8_t>(length >> 16),
                             high(length),
                             low(length),
                             0,
                             0};
    return data_in(handle, buffer, cdb, sizeof cdb, data, length, move_timeout);
}

scsi_answer_t move_medium(tape_io_handle_t* handle, uint8_t* buffer, uint16_t transport, uint16_t source,
                          uint16_t destination)
{
    const uint8_t cdb[12] = {scsi_op::move_medium, 0,          high(transport), low(transport), high(source), low(source),
                             high(destination),    low(destination), 0, 0, 0, 0};
    return no_data(handle, buffer, cdb, sizeof cdb, move_timeout);
}

scsi_answer_t initialize_element_status(tape_io_handle_t* handle, uint8_t* buffer)
{
    const uint8_t cdb[6] = {scsi_op::initialize_element_status, 0, 0, 0, 0, 0};
    return no_data(handle, buffer, cdb, sizeof cdb, spti_timeout::long_move);
}
