#include "tapeio/spti_commands.h"

#include "tapeio/scsi_codes.h"

namespace {


// Six-byte CDB with a 24-bit big-endian field in bytes 2 to 4.
spti_request_t* six_byte_command(tape_io_handle_t* handle, uint8_t* buffer, uint8_t opcode, uint8_t byte1,
                                 uint32_t field24, uint32_t timeout)
{
    const uint8_t cdb[6] = {opcode,
                            byte1,
                            static_cast<uint8_t>(field24 >> 16),
                            static_cast<uint8_t>(field24 >> 8),
                            static_cast<uint8_t>(field24),
                            0};
    return new_command(handle, buffer, cdb, sizeof cdb, timeout);
}

}  // namespace

spti_request_t* new_command(tape_io_handle_t* handle, uint8_t* buffer, const uint8_t* cdb, uint8_t cdb_length,
                            uint32_t timeout)
{
    init_request(handle, buffer);
    spti_request_t* request = request_block(buffer);
    if (cdb_length > sizeof request->sptd.Cdb)
        cdb_length = sizeof request->sptd.Cdb;
    std::memcpy(request->sptd.Cdb, cdb, cdb_length);
    request->sptd.CdbLength = cdb_length;
    request->sptd.TimeOutValue = timeout;
    return request;
}

void set_data_phase(spti_request_t* request, uint8_t direction, uint8_t* data, uint32_t length)
{
    request->sptd.DataIn = direction;
    request->sptd.DataTransferLength = length;
    request->sptd.DataBuffer = data;
}

spti_request_t* read6_command(tape_io_handle_t* handle, uint8_t* buffer, uint8_t* data, uint32_t length)
{
    spti_request_t* request = six_byte_command(handle, buffer, scsi_op::read6, 0, length, spti_timeout::one_block);
    set_data_phase(request, SCSI_IOCTL_DATA_IN, data, length);
    return request;
}

spti_request_t* write6_command(tape_io_handle_t* handle, uint8_t* buffer, uint8_t* data, uint32_t length)
{
    spti_request_t* request = six_byte_command(handle, buffer, scsi_op::write6, 0, length, spti_timeout::one_block);
    set_data_phase(request, SCSI_IOCTL_DATA_OUT, data, length);
    return request;
}

spti_request_t* write_filemarks_command(tape_io_handle_t* handle, uint8_t* buffer, uint8_t count, uint32_t timeout)
{
    return six_byte_command(handle, buffer, scsi_op::write_filemarks6, 0, count, timeout);
}

spti_request_t* space_blocks_command(tape_io_handle_t* handle, uint8_t* buffer, int32_t count, uint32_t timeout)
{
    // Code 0 in byte 1: blocks. Tape marks are met as FILEMARK reports, never spaced by code.
    return six_byte_command(handle, buffer, scsi_op::space6, 0, static_cast<uint32_t>(count) & 0xFFFFFF, timeout);
}

spti_request_t* rewind_command(tape_io_handle_t* handle, uint8_t* buffer)
{
    return six_byte_command(handle, buffer, scsi_op::rewind, 0, 0, spti_timeout::long_move);
}

spti_request_t* erase_long_command(tape_io_handle_t* handle, uint8_t* buffer)
{
    return six_byte_command(handle, buffer, scsi_op::erase6, 0x01, 0, spti_timeout::long_move);
}

spti_request_t* unload_command(tape_io_handle_t* handle, uint8_t* buffer)
{
    return six_byte_command(handle, buffer, scsi_op::load_unload, 0, 0, spti_timeout::long_move);
}
