#include "copy/block_limit.h"

#include <string>

#include "copy/copy_context.h"
#include "copy/dump_restore_output.h"

uint32_t transport_transfer_limit(HANDLE device)
{
    IO_SCSI_CAPABILITIES capabilities{};
    DWORD returned = 0;
    if (!DeviceIoControl(device, IOCTL_SCSI_GET_CAPABILITIES, nullptr, 0, &capabilities, sizeof capabilities,
                         &returned, nullptr) ||
        returned < sizeof capabilities || capabilities.MaximumTransferLength == 0)
        return no_transfer_limit;
    uint64_t limit = capabilities.MaximumTransferLength;
    // A buffer that does not start on a page boundary spans one page more than its length.
    if (capabilities.MaximumPhysicalPages > 1 && capabilities.MaximumPhysicalPages != UINT32_MAX) {
        const uint64_t pages = (uint64_t{capabilities.MaximumPhysicalPages} - 1) * 4096;
        limit = pages < limit ? pages : limit;
    }
    return static_cast<uint32_t>(limit);
}

static std::string limit_text(uint32_t limit)
{
    return limit == no_transfer_limit ? std::string("none") : std::to_string(limit) + " bytes";
}

bool longest_record_fits(HANDLE device, const char* device_path, uint32_t drive_maximum)
{
    const uint32_t transport = transport_transfer_limit(device);
    const uint32_t wanted = copy_context.longest_record;
    if (wanted <= transport && wanted <= drive_maximum)
        return true;
    print_to_console_and_log("%s: /block=%lu is more than one transfer carries (transport limit %s, drive limit %s)\n",
                             device_path, static_cast<unsigned long>(wanted), limit_text(transport).c_str(),
                             limit_text(drive_maximum).c_str());
    return false;
}
