// SCSI commands to kernel nodes (/dev/sgN, /dev/nstN) through the SG_IO ioctl.
#pragma once

#include <scsi/sg.h>

namespace posix {

// The one SG_IO call of the transport; unit tests replace it to play the kernel's part.
extern int (*sg_io_ioctl)(int fd, sg_io_hdr_t* header);

}  // namespace posix
