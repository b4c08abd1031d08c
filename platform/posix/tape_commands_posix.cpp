#include "platform/posix/tape_commands_posix.h"

namespace posix::tape {
namespace {

// Single records and marks; movements over the whole tape may take hours.
constexpr uint32_t short_timeout = 900;
constexpr uint32_t long_timeout = 86400;

reply_t run(handle_object_t& drive, const uint8_t* cdb, uint8_t cdb_length, uint8_t direction, uint8_t* data,
            uint32_t length, uint32_t timeout)
{
    reply_t reply;
    if (drive.device == nullptr) {
        reply.error = ERROR_INVALID_HANDLE;
        return reply;
    }
    scsi_command_t command;
    command.cdb = cdb;
    command.cdb_length = cdb_length;
    command.direction = data == nullptr ? static_cast<uint8_t>(SCSI_IOCTL_DATA_UNSPECIFIED) : direction;
    command.data = data;
    command.data_length = data == nullptr ? 0 : length;
    command.timeout_seconds = timeout;
    command.path_id = drive.path_id;
    command.target_id = drive.target_id;
    command.lun = drive.lun;
    command.sense = reply.sense;
    command.sense_capacity = sizeof reply.sense;
    scsi_reply_t answer = drive.device->execute(command);
    reply.error = answer.error;
    reply.status = answer.status;
    return reply;
}

void put24(uint8_t* field, uint32_t value)
{
    field[0] = static_cast<uint8_t>(value >> 16);
    field[1] = static_cast<uint8_t>(value >> 8);
    field[2] = static_cast<uint8_t>(value);
}

reply_t run6(handle_object_t& drive, uint8_t opcode, uint8_t byte1, uint32_t count24, uint32_t timeout)
{
    uint8_t cdb[6] = {opcode, byte1, 0, 0, 0, 0};
    put24(cdb + 2, count24);
    return run(drive, cdb, sizeof cdb, SCSI_IOCTL_DATA_UNSPECIFIED, nullptr, 0, timeout);
}

DWORD code_of_sense_key(const reply_t& reply)
{
    switch (reply.key()) {
    case key_no_sense:
    case key_recovered_error: return NO_ERROR;
    case key_not_ready: return reply.asc() == 0x3A ? ERROR_NO_MEDIA_IN_DRIVE : ERROR_NOT_READY;
    case key_medium_error: return ERROR_CRC;
    case key_illegal_request: return ERROR_INVALID_FUNCTION;
    case key_unit_attention: return reply.asc() == 0x29 ? ERROR_BUS_RESET : ERROR_MEDIA_CHANGED;
    case key_data_protect: return ERROR_WRITE_PROTECT;
    case key_blank_check: return ERROR_NO_DATA_DETECTED;
    case key_volume_overflow: return ERROR_END_OF_MEDIA;
    default: return ERROR_IO_DEVICE;
    }
}

}  // namespace

int32_t reply_t::information() const
{
    uint32_t value = (uint32_t{sense[3]} << 24) | (uint32_t{sense[4]} << 16) | (uint32_t{sense[5]} << 8) | sense[6];
    return static_cast<int32_t>(value);
}

DWORD code_of(const reply_t& reply, motion_t motion)
{
    if (reply.error != NO_ERROR)
        return reply.error;
    if (reply.status == 0)
        return NO_ERROR;
    if (reply.status == 0x08 || reply.status == 0x18)  // BUSY, RESERVATION CONFLICT
        return ERROR_BUSY;
    if (!reply.sensed())
        return ERROR_IO_DEVICE;
    if (reply.filemark())
        return ERROR_FILEMARK_DETECTED;
    uint8_t key = reply.key();
    bool end_key = key == key_no_sense || key == key_recovered_error || key == key_medium_error;
    if (reply.eom() && end_key && motion == motion_t::forward)
        return ERROR_END_OF_MEDIA;
    if (reply.eom() && end_key && motion == motion_t::backward)
        return ERROR_BEGINNING_OF_MEDIA;
    return code_of_sense_key(reply);
}

reply_t read6(handle_object_t& drive, uint8_t* data, uint32_t length)
{
    uint8_t cdb[6] = {0x08, 0, 0, 0, 0, 0};  // variable blocks, SILI 0: a length mismatch is reported
    put24(cdb + 2, length);
    return run(drive, cdb, sizeof cdb, SCSI_IOCTL_DATA_IN, data, length, short_timeout);
}

reply_t write6(handle_object_t& drive, const uint8_t* data, uint32_t length)
{
    uint8_t cdb[6] = {0x0A, 0, 0, 0, 0, 0};
    put24(cdb + 2, length);
    // The device only reads from data on a write.
    return run(drive, cdb, sizeof cdb, SCSI_IOCTL_DATA_OUT, const_cast<uint8_t*>(data), length, short_timeout);
}

reply_t write_filemarks6(handle_object_t& drive, uint32_t count)
{
    return run6(drive, 0x10, 0, count, count > 1 ? long_timeout : short_timeout);
}

reply_t space6(handle_object_t& drive, uint8_t code, int32_t count)
{
    return run6(drive, 0x11, code, static_cast<uint32_t>(count) & 0xFFFFFF, long_timeout);
}

reply_t rewind(handle_object_t& drive) { return run6(drive, 0x01, 0, 0, long_timeout); }

reply_t load_unload(handle_object_t& drive, bool load)
{
    uint8_t cdb[6] = {0x1B, 0, 0, 0, static_cast<uint8_t>(load ? 1 : 0), 0};
    return run(drive, cdb, sizeof cdb, SCSI_IOCTL_DATA_UNSPECIFIED, nullptr, 0, long_timeout);
}

reply_t erase6(handle_object_t& drive, bool long_erase)
{
    return run6(drive, 0x19, long_erase ? 1 : 0, 0, long_timeout);
}

reply_t read_position(handle_object_t& drive, uint8_t (&data)[20])
{
    uint8_t cdb[10] = {0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    return run(drive, cdb, sizeof cdb, SCSI_IOCTL_DATA_IN, data, sizeof data, short_timeout);
}

reply_t read_block_limits(handle_object_t& drive, uint8_t (&data)[6])
{
    uint8_t cdb[6] = {0x05, 0, 0, 0, 0, 0};
    return run(drive, cdb, sizeof cdb, SCSI_IOCTL_DATA_IN, data, sizeof data, short_timeout);
}

reply_t mode_sense6(handle_object_t& drive, uint8_t page, bool disable_descriptors, uint8_t* data, uint8_t length)
{
    uint8_t cdb[6] = {0x1A, static_cast<uint8_t>(disable_descriptors ? 0x08 : 0), page, 0, length, 0};
    return run(drive, cdb, sizeof cdb, SCSI_IOCTL_DATA_IN, data, length, short_timeout);
}

reply_t mode_select6(handle_object_t& drive, bool page_format, uint8_t* data, uint8_t length)
{
    uint8_t cdb[6] = {0x15, static_cast<uint8_t>(page_format ? 0x10 : 0), 0, 0, length, 0};
    return run(drive, cdb, sizeof cdb, SCSI_IOCTL_DATA_OUT, data, length, short_timeout);
}

}  // namespace posix::tape
