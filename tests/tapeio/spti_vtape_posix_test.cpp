// The SCSI driver against the virtual drive and, when one is running, a tgt iSCSI tape: records
// of every size class and tape marks written and read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/device_namespace.h"
#include "platform/posix/transports.h"
#include "tapeio/s2pti_tape_io.h"
#include "tests/platform/temp_dir_posix.h"
#include "tests/support/register_test_schemes_posix.h"

namespace {

// The tape's blocks in order; 0 is a tape mark. 65536 is longer than one read's data area.
const std::vector<uint32_t> tape_layout = {1, 100, 0, 65024, 65536, 0, 0};

uint8_t pattern(uint32_t record, uint32_t i) { return static_cast<uint8_t>(record * 31 + i * 7 + (i >> 8)); }

// Opens \\.\TapeN for the device string; the buffer holds a 65536-byte record behind the request block.
struct drive_t {
    drive_t(const std::string& device_string, int unit)
    {
        setenv(("BRX_TAPE" + std::to_string(unit)).c_str(), device_string.c_str(), 1);
        std::string path = "\\\\.\\Tape" + std::to_string(unit);
        handle.attach(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_NE(handle.get_os_handle(), INVALID_HANDLE_VALUE) << device_string << ": error " << GetLastError();
    }
    ~drive_t() { CloseHandle(handle.get_os_handle()); }

    // The data area holds at most 65024 bytes of a record, however long it was.
    void expect_record(uint32_t index, uint32_t length)
    {
        for (uint32_t i = 0; i < std::min<uint32_t>(length, 65024); ++i)
            ASSERT_EQ(buffer[512 + i], pattern(index, i)) << "record " << index << " byte " << i;
    }

    // Writes the tape, rewinds and reads every block, then the end of the recorded data. tgt
    // delivers none of a record longer than the read, which the caller may allow.
    void write_and_read_back(tape_io_t& driver, bool longer_record_may_be_absent)
    {
        uint8_t* b = buffer.data();
        ASSERT_EQ(driver.rewind(&handle, b, 65536), 1);
        for (uint32_t index = 0; index < tape_layout.size(); ++index) {
            for (uint32_t i = 0; i < tape_layout[index]; ++i)
                b[512 + i] = pattern(index, i);
            int32_t expected = static_cast<int32_t>(tape_layout[index]);
            ASSERT_EQ(expected == 0 ? driver.write_tape_mark(&handle, b, 65536) : driver.write_record(&handle, b, expected), expected);
        }
        ASSERT_EQ(driver.rewind(&handle, b, 65536), 1);
        EXPECT_EQ(handle.block_count, 0);
        for (uint32_t index = 0; index < tape_layout.size(); ++index) {
            std::fill(buffer.begin() + 512, buffer.end(), 0xEE);
            ASSERT_EQ(driver.read_forward(&handle, b, 65536), static_cast<int32_t>(tape_layout[index])) << index;
            bool absent = std::all_of(buffer.begin() + 512, buffer.begin() + 65536, [](uint8_t v) { return v == 0xEE; });
            if (!(longer_record_may_be_absent && tape_layout[index] > 65024 && absent))
                expect_record(index, tape_layout[index]);
            EXPECT_EQ(handle.block_count, static_cast<int32_t>(index + 1));
        }
        EXPECT_EQ(driver.read_forward(&handle, b, 65536), -9);
        EXPECT_EQ(handle.block_count, 7);
    }

    tape_io_handle_t handle;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(65536 + 512);
};

TEST(spti_vtape, records_and_marks_are_read_back_record_for_record)
{
    temp_dir_t directory;
    register_test_device_schemes();
    drive_t drive("vtape:" + directory.file("tape.dmp"), 80);
    s2pti_tape_io_t driver;
    drive.write_and_read_back(driver, false);
}

// tests/tgt/start-tgt.sh prints the URL; the suite name carries "Tgt" so the tests sharing the
// one tape run one at a time.
TEST(spti_Tgt, a_tape_the_driver_wrote_reads_back_record_for_record)
{
    const char* url = std::getenv("BRX_TEST_ISCSI_URL");
    if (url == nullptr || url[0] == '\0')
        GTEST_SKIP() << "BRX_TEST_ISCSI_URL is not set (see tests/tgt/start-tgt.sh)";
    posix::register_device_scheme("iscsi://", posix::open_iscsi_device);
    drive_t drive(url, 89);
    s2pti_tape_io_t driver;
    drive.write_and_read_back(driver, true);
}

}  // namespace
