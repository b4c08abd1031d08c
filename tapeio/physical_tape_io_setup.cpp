// setup of the tape-API driver: the drive's switches, variable blocks, then buffered mode.
#include "tapeio/physical_tape_io.h"
#include "tapeio/spti_request.h"

namespace {

constexpr uint32_t mode_data_offset = 4096;
constexpr uint32_t mode_sense_length = 255;

// A switch changes only when the drive has the feature and can set it.
bool settable(const TAPE_GET_DRIVE_PARAMETERS& drive, DWORD feature, DWORD set_feature)
{
    return (drive.FeaturesLow & feature) != 0 && (drive.FeaturesHigh & set_feature) != 0;
}

// True when the command completed with GOOD; the sense data is not looked at.
bool answered(tape_io_handle_t* handle, uint8_t* buffer, const uint8_t (&cdb)[10], uint8_t cdb_length,
              uint8_t direction, uint32_t length)
{
    init_request(handle, buffer);
    spti_request_t* request = request_block(buffer);
    request->sptd.CdbLength = cdb_length;
    std::memcpy(request->sptd.Cdb, cdb, cdb_length);
    request->sptd.DataIn = direction;
    request->sptd.DataTransferLength = length;
    request->sptd.TimeOutValue = 60;
    request->sptd.DataBuffer = buffer + mode_data_offset;
    return send_request(handle, request) && request->sptd.ScsiStatus == 0;
}

uint32_t big_endian16(const uint8_t* field)
{
    uint16_t value = 0;
    std::memcpy(&value, field, sizeof value);
    return ntohs(value);
}

}  // namespace

// The caller's buffer is the work area, whatever size it names: the transfer buffer.
int32_t physical_tape_io_t::setup(tape_io_handle_t* handle, uint8_t* buffer, uint32_t)
{
    begin_operation(handle);
    adjust_drive_switches(handle, buffer);
    select_variable_blocks(handle, buffer);
    select_buffered_mode(handle, buffer);
    return 0;
}

void physical_tape_io_t::adjust_drive_switches(tape_io_handle_t* handle, uint8_t* buffer)
{
    DWORD size = sizeof(TAPE_GET_DRIVE_PARAMETERS);
    if (GetTapeParameters(handle->get_os_handle(), GET_TAPE_DRIVE_INFORMATION, &size, buffer) != NO_ERROR)
        return;
    TAPE_GET_DRIVE_PARAMETERS drive;
    std::memcpy(&drive, buffer, sizeof drive);
    bool changed = false;
    if (drive.Compression && settable(drive, TAPE_DRIVE_COMPRESSION, TAPE_DRIVE_SET_COMPRESSION)) {
        drive.Compression = FALSE;  // records must reach the tape as they are
        changed = true;
    }
    if (!drive.DataPadding && settable(drive, TAPE_DRIVE_PADDING, TAPE_DRIVE_SET_PADDING)) {
        drive.DataPadding = TRUE;
        changed = true;
    }
    if (drive.ReportSetmarks && settable(drive, TAPE_DRIVE_REPORT_SMKS, TAPE_DRIVE_SET_REPORT_SMKS)) {
        drive.ReportSetmarks = FALSE;
        changed = true;
    }
    if (!changed)
        return;
    // The warning zone goes back as the drive reported it: only the three switches change.
    TAPE_SET_DRIVE_PARAMETERS settings{drive.ECC, drive.Compression, drive.DataPadding, drive.ReportSetmarks,
                                       drive.EOTWarningZoneSize};
    SetTapeParameters(handle->get_os_handle(), SET_TAPE_DRIVE_INFORMATION, &settings);
}

void physical_tape_io_t::select_variable_blocks(tape_io_handle_t* handle, uint8_t* buffer)
{
    DWORD size = sizeof(TAPE_GET_MEDIA_PARAMETERS);
    if (GetTapeParameters(handle->get_os_handle(), GET_TAPE_MEDIA_INFORMATION, &size, buffer) != NO_ERROR)
        return;
    TAPE_GET_MEDIA_PARAMETERS media;
    std::memcpy(&media, buffer, sizeof media);
    if (media.BlockSize == 0)
        return;
    TAPE_SET_MEDIA_PARAMETERS variable{0};
    SetTapeParameters(handle->get_os_handle(), SET_TAPE_MEDIA_INFORMATION, &variable);
}

// Only the mode parameter header travels back: density and block length stay as they are.
void physical_tape_io_t::select_buffered_mode(tape_io_handle_t* handle, uint8_t* buffer)
{
    uint8_t* header = buffer + mode_data_offset;
    const uint8_t sense10[10] = {0x5A, 0, 0, 0, 0, 0, 0, 0, mode_sense_length, 0};
    if (answered(handle, buffer, sense10, 10, SCSI_IOCTL_DATA_IN, mode_sense_length) &&
        big_endian16(header) + 2 >= 8) {
        if ((header[3] & 0x70) != 0)
            return;  // already buffered
        header[0] = header[1] = 0;
        header[3] = static_cast<uint8_t>((header[3] & 0x0F) + 0x10);
        header[6] = header[7] = 0;
        const uint8_t select10[10] = {0x55, 0, 0, 0, 0, 0, 0, 0, 8, 0};
        answered(handle, buffer, select10, 10, SCSI_IOCTL_DATA_OUT, 8);
        return;
    }
    const uint8_t sense6[10] = {0x1A, 0, 0, 0, mode_sense_length, 0};
    if (!answered(handle, buffer, sense6, 6, SCSI_IOCTL_DATA_IN, mode_sense_length) || header[0] + 1 < 4)
        return;
    if ((header[2] & 0x70) != 0)
        return;
    header[0] = 0;
    header[2] = static_cast<uint8_t>((header[2] & 0x0F) + 0x10);
    header[3] = 0;
    const uint8_t select6[10] = {0x15, 0, 0, 0, 4, 0};
    answered(handle, buffer, select6, 6, SCSI_IOCTL_DATA_OUT, 4);
}
