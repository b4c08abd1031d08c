#include "tapeio/spti_request.h"

#include <new>

void init_request(tape_io_handle_t* handle, void* block)
{
    // The placement starts the block's life in the caller's buffer; memset clears padding too.
    auto* request = ::new (block) spti_request_t{};
    std::memset(static_cast<void*>(request), 0, sizeof(spti_request_t));
    SCSI_PASS_THROUGH_DIRECT& sptd = request->sptd;
    sptd.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    sptd.PathId = static_cast<UCHAR>(handle->path_id & 0xFF);
    sptd.TargetId = static_cast<UCHAR>(handle->target_id & 0xFF);
    sptd.Lun = static_cast<UCHAR>(handle->lun & 0xFF);
    sptd.SenseInfoLength = spti_sense_length;
    sptd.DataIn = SCSI_IOCTL_DATA_OUT;
    sptd.SenseInfoOffset = spti_sense_offset;
}

spti_request_t* request_block(uint8_t* buffer) { return std::launder(reinterpret_cast<spti_request_t*>(buffer)); }

BOOL send_request(tape_io_handle_t* handle, spti_request_t* request)
{
    DWORD returned = 0;
    return DeviceIoControl(handle->get_os_handle(), IOCTL_SCSI_PASS_THROUGH_DIRECT, request, spti_request_size,
                           request, spti_request_size, &returned, nullptr);
}
