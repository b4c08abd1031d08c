// DeviceIoControl: IOCTL_SCSI_PASS_THROUGH_DIRECT turned into one command of the handle's SCSI device.
#include <algorithm>
#include <cstring>

#include "platform/posix/errors.h"
#include "platform/posix/handle_object.h"

namespace {

// The checks Windows makes before a request reaches the drive.
bool valid_request(const SCSI_PASS_THROUGH_DIRECT& request, DWORD out_size)
{
    if (request.Length != sizeof(SCSI_PASS_THROUGH_DIRECT)) return false;
    if (request.CdbLength == 0 || request.CdbLength > sizeof(request.Cdb)) return false;
    if (request.DataIn > SCSI_IOCTL_DATA_UNSPECIFIED) return false;
    if (request.DataTransferLength != 0 && request.DataBuffer == nullptr) return false;
    // The sense area lies in the output buffer behind the structure, at SenseInfoOffset.
    uint64_t sense_end = uint64_t{request.SenseInfoOffset} + request.SenseInfoLength;
    return request.SenseInfoLength == 0 || (request.SenseInfoOffset >= request.Length && sense_end <= out_size);
}

posix::scsi_command_t command_for(const SCSI_PASS_THROUGH_DIRECT& request, uint8_t* out)
{
    posix::scsi_command_t command;
    command.cdb = request.Cdb;
    command.cdb_length = request.CdbLength;
    command.direction = request.DataIn;
    command.data = static_cast<uint8_t*>(request.DataBuffer);
    command.data_length = request.DataTransferLength;
    command.timeout_seconds = request.TimeOutValue;
    command.path_id = request.PathId;
    command.target_id = request.TargetId;
    command.lun = request.Lun;
    if (request.SenseInfoLength != 0) {
        command.sense = out + request.SenseInfoOffset;
        command.sense_capacity = request.SenseInfoLength;
    }
    return command;
}

// A completed command: status, sense length and data count go back in the caller's block.
void complete(SCSI_PASS_THROUGH_DIRECT& request, const posix::scsi_reply_t& reply, void* out, LPDWORD returned)
{
    uint32_t sense_length = std::min<uint32_t>(reply.sense_length, request.SenseInfoLength);
    request.ScsiStatus = reply.status;
    request.SenseInfoLength = static_cast<UCHAR>(sense_length);
    request.DataTransferLength = std::min<uint32_t>(reply.data_transferred, request.DataTransferLength);
    std::memcpy(out, &request, sizeof request);
    if (returned != nullptr)
        *returned = sense_length != 0 ? request.SenseInfoOffset + sense_length : DWORD{sizeof request};
}

BOOL pass_through(posix::scsi_device_t& device, LPVOID in, DWORD in_size, LPVOID out, DWORD out_size,
                  LPDWORD returned)
{
    if (in == nullptr || out == nullptr || in_size < sizeof(SCSI_PASS_THROUGH_DIRECT) ||
        out_size < sizeof(SCSI_PASS_THROUGH_DIRECT))
        return posix::fail(ERROR_INVALID_PARAMETER);
    SCSI_PASS_THROUGH_DIRECT request;
    std::memcpy(&request, in, sizeof request);
    if (!valid_request(request, out_size)) return posix::fail(ERROR_INVALID_PARAMETER);
    posix::scsi_reply_t reply = device.execute(command_for(request, static_cast<uint8_t*>(out)));
    // The request never completed: only the transport's reason reaches the caller.
    if (reply.error != NO_ERROR) return posix::fail(reply.error);
    complete(request, reply, out, returned);
    return TRUE;
}

// The transport's limit, as a Windows adapter reports it: pages of 4 KiB, one more than they cover.
BOOL capabilities(posix::scsi_device_t& device, LPVOID out, DWORD out_size, LPDWORD returned)
{
    if (out == nullptr || out_size < sizeof(IO_SCSI_CAPABILITIES)) return posix::fail(ERROR_INSUFFICIENT_BUFFER);
    IO_SCSI_CAPABILITIES answer{};
    answer.Length = sizeof answer;
    answer.MaximumTransferLength = device.max_transfer_length();
    answer.MaximumPhysicalPages = answer.MaximumTransferLength == UINT32_MAX ? UINT32_MAX
                                                                             : answer.MaximumTransferLength / 4096 + 1;
    answer.AlignmentMask = 0;
    std::memcpy(out, &answer, sizeof answer);
    if (returned != nullptr) *returned = sizeof answer;
    return TRUE;
}

}  // namespace

BOOL DeviceIoControl(HANDLE handle, DWORD control_code, LPVOID in, DWORD in_size, LPVOID out, DWORD out_size,
                     LPDWORD returned, LPOVERLAPPED overlapped)
{
    if (returned != nullptr) *returned = 0;
    posix::handle_object_t* object = posix::handle_of(handle);
    if (object == nullptr) return posix::fail(ERROR_INVALID_HANDLE);
    // A regular file has no control codes at all; a device here knows pass-through and its limits.
    if (object->kind != posix::handle_kind_t::device) return posix::fail(ERROR_INVALID_FUNCTION);
    if (control_code == IOCTL_SCSI_GET_CAPABILITIES) return capabilities(*object->device, out, out_size, returned);
    if (control_code != IOCTL_SCSI_PASS_THROUGH_DIRECT) return posix::fail(ERROR_INVALID_FUNCTION);
    if (overlapped != nullptr) return posix::fail(ERROR_INVALID_PARAMETER);
    return pass_through(*object->device, in, in_size, out, out_size, returned);
}
