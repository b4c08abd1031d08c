// The SCSI driver against a real target: tgtd with an ssc tape over iSCSI (tests/tgt/start-tgt.sh
// prints the URL for BRX_TEST_ISCSI_URL). Skipped without that variable. The suite name carries
// "Tgt" so the tests sharing the one tape run one at a time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/posix/device_namespace.h"
#include "platform/posix/transports.h"
#include "tapeio/s2pti_tape_io.h"
#include "tests/tapeio/spti_tape_walk_posix.h"

namespace {

using namespace spti_test;

TEST(spti_Tgt, a_tape_the_driver_wrote_reads_back_record_for_record)
{
    const char* url = std::getenv("BRX_TEST_ISCSI_URL");
    if (url == nullptr || url[0] == '\0')
        GTEST_SKIP() << "BRX_TEST_ISCSI_URL is not set (see tests/tgt/start-tgt.sh)";
    posix::register_device_scheme("iscsi://", posix::open_iscsi_device);
    setenv("BRX_TAPE89", url, 1);
    tape_io_handle_t handle;
    handle.attach(CreateFileA("\\\\.\\Tape89", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(handle.get_os_handle(), INVALID_HANDLE_VALUE) << url << ": error " << GetLastError();
    std::vector<uint8_t> buffer(65536 + 512);
    s2pti_tape_io_t driver;

    write_tape(driver, &handle, buffer);
    expect_read_walk(driver, &handle, buffer, true);
    CloseHandle(handle.get_os_handle());
}

}  // namespace
