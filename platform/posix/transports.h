// The transports that carry SCSI commands to real drives.
#pragma once

#include <memory>

#include "platform/posix/scsi_device.h"

namespace posix {

// A kernel node (/dev/nstN, /dev/sgN, ...), reached with the SG_IO ioctl.
DWORD open_kernel_device(const char* path, std::unique_ptr<scsi_device_t>& device);

// SCSI host (adapter) N: each command goes to the sg node at N:PathId:TargetId:Lun, found in sysfs.
DWORD open_scsi_host(int host, std::unique_ptr<scsi_device_t>& device);

// The Nth medium changer (from 0) among the sg nodes, in the kernel's order of sgN.
DWORD open_changer_node(int index, std::unique_ptr<scsi_device_t>& device);

// iscsi://HOST[:PORT]/TARGET-IQN/LUN, reached with libiscsi. A device opener for registration.
DWORD open_iscsi_device(const char* device_string, std::unique_ptr<scsi_device_t>& device);

}  // namespace posix
