// The device schemes the brx executable reaches on Linux: the virtual drive and iSCSI targets.
// Registered before main runs, so \\.\TapeN can name them through BRX_TAPE<N>.
#include "platform/posix/device_namespace.h"
#include "platform/posix/transports.h"
#include "vtape/vtape_device.h"

namespace {

struct device_schemes_t {
    device_schemes_t()
    {
        posix::register_device_scheme(vtape_scheme, vtape_open_device);
        posix::register_device_scheme("iscsi://", posix::open_iscsi_device);
    }
};

const device_schemes_t device_schemes;

}  // namespace
