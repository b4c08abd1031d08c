// The device scheme of a Windows test build of brx (BRX_VIRTUAL_DEVICES): the virtual drive.
// Registered before main runs, so \\.\TapeN can name one through BRX_TAPE<N>.
#include "platform/posix/device_namespace.h"
#include "vtape/vtape_device.h"

namespace {

struct device_schemes_t {
    device_schemes_t() { posix::register_device_scheme(vtape_scheme, vtape_open_device); }
};

const device_schemes_t device_schemes;

}  // namespace
