#include "tests/support/register_test_schemes_posix.h"

#include "platform/posix/device_namespace.h"
#include "vtape/vtape_device.h"

void register_test_device_schemes()
{
    static const bool registered = [] {
        posix::register_device_scheme(vtape_scheme, vtape_open_device);
        return true;
    }();
    (void)registered;
}
