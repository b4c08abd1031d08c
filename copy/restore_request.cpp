#include "copy/restore_request.h"

#include <cstring>

static void build_request(const restore_target_t& target, const restore_command_t& command, uint8_t* data,
                          restore_request_t& request)
{
    memset(&request, 0, sizeof request);
    SCSI_PASS_THROUGH_DIRECT& spt = request.spt;
    spt.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    spt.PathId = target.path_id;
    spt.TargetId = target.target_id;
    spt.Lun = 0;
    spt.CdbLength = sizeof command.cdb;
    spt.SenseInfoLength = restore_sense_capacity;
    spt.DataIn = command.direction;
    spt.DataTransferLength = command.length;
    spt.TimeOutValue = restore_timeout_seconds;
    spt.DataBuffer = command.length != 0 ? data : nullptr;
    spt.SenseInfoOffset = restore_sense_offset;
    memcpy(spt.Cdb, command.cdb, sizeof command.cdb);
}

bool send_restore_command(const restore_target_t& target, const restore_command_t& command, uint8_t* data,
                          restore_request_t& request)
{
    build_request(target, command, data, request);
    DWORD returned = 0;
    return DeviceIoControl(target.device, IOCTL_SCSI_PASS_THROUGH_DIRECT, &request, sizeof(SCSI_PASS_THROUGH_DIRECT),
                           &request, sizeof request, &returned, nullptr) != 0;
}
