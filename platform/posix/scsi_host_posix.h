// Where an adapter's drives are looked up; tests point these at a fake tree.
#pragma once

#include <string>

namespace posix {

extern std::string scsi_sysfs_root;  // "/sys": class/scsi_host/hostN, class/scsi_generic/sgN/device
extern std::string scsi_dev_root;    // "/dev": the sgN nodes

}  // namespace posix
