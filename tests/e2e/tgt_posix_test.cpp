// brx against a real iSCSI tape: tgtd with an ssc LUN (tests/tgt/start-tgt.sh prints the URL for
// BRX_TEST_ISCSI_URL; skipped without it). The suite name carries "Tgt": the tests sharing the one
// tape run one at a time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/device_namespace.h"
#include "platform/posix/transports.h"
#include "tapeio/s2pti_tape_io.h"
#include "tests/support/e2e.h"

namespace {

const char* tgt_url()
{
    const char* url = std::getenv("BRX_TEST_ISCSI_URL");
    return url != nullptr && url[0] != '\0' ? url : nullptr;
}

// Writes the blocks from the beginning of the tape with the driver library's SCSI driver.
void write_tape_with_driver(const char* url, const std::vector<std::string>& blocks)
{
    posix::register_device_scheme("iscsi://", posix::open_iscsi_device);
    setenv("BRX_TAPE88", url, 1);
    tape_io_handle_t handle;
    handle.attach(CreateFileA("\\\\.\\Tape88", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(handle.get_os_handle(), INVALID_HANDLE_VALUE) << url << ": error " << GetLastError();
    s2pti_tape_io_t driver;
    std::vector<uint8_t> buffer(65536);
    ASSERT_EQ(driver.rewind(&handle, buffer.data(), 65536), 1);
    for (const std::string& block : blocks) {
        std::memcpy(buffer.data() + 512, block.data(), block.size());
        const int32_t written = block.empty() ? driver.write_tape_mark(&handle, buffer.data(), 65536)
                                              : driver.write_record(&handle, buffer.data(), static_cast<uint32_t>(block.size()));
        ASSERT_EQ(written, static_cast<int32_t>(block.size()));
    }
    CloseHandle(handle.get_os_handle());
}

TEST(e2e_Tgt, a_tape_the_driver_library_wrote_dumps_to_the_file_it_came_from)
{
    const char* url = tgt_url();
    if (url == nullptr)
        GTEST_SKIP() << "BRX_TEST_ISCSI_URL is not set";
    const std::vector<std::string> blocks = {record_of(80, 1), record_of(2048, 2), "", record_of(65024, 3),
                                             record_of(1, 4), "", ""};
    write_tape_with_driver(url, blocks);
    scratch_directory_t dir;
    const brx_run_t run = run_brx_on("BRX_TAPE0", url, {"\\\\.\\tape0", "out.dmp", "/log=run.log"}, dir.path());
    EXPECT_EQ(run.exit_status, 0) << run.standard_error;
    EXPECT_EQ(run.standard_error, "");
    EXPECT_EQ(dir.read("out.dmp"), container_of(blocks));
}

// tgt refuses a MODE SELECT(6) that carries only the 4-byte header, which real drives accept.
TEST(e2e_Tgt, restore_stops_in_its_setup_where_tgt_refuses_the_header_only_mode_select)
{
    const char* url = tgt_url();
    if (url == nullptr)
        GTEST_SKIP() << "BRX_TEST_ISCSI_URL is not set";
    scratch_directory_t dir;
    dir.write("in.dmp", container_of({record_of(100, 5), ""}));
    const brx_run_t run = run_brx_on("BRX_TAPE0", url, {"in.dmp", "\\\\.\\tape0", "/log=run.log"}, dir.path());
    EXPECT_EQ(run.exit_status, 1);
    const std::string message = "\\\\.\\Tape0: fatal error (70...05...24 00)\n";
    EXPECT_EQ(run.standard_error, message);
    EXPECT_EQ(dir.read("run.log"), message);
}

}  // namespace
