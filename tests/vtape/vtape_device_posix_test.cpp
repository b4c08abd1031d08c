// The drive as the program reaches it: CreateFileA("\\.\Tape90") naming "vtape:..." and a pass-through.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/register_test_schemes_posix.h"
#include "tests/vtape/vtape_test_support.h"

namespace {

HANDLE create_tape(const std::string& device_string)
{
    register_test_device_schemes();
    setenv("BRX_TAPE90", device_string.c_str(), 1);
    return CreateFileA("\\\\.\\Tape90", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST(vtape_device, pass_through_reaches_the_drive_and_bad_options_fail_create_file)
{
    scratch_directory_t dir;
    dir.write("t.dmp", medium_of({{10, 1}}));
    const HANDLE device = create_tape("vtape:" + dir.file("t.dmp"));
    ASSERT_NE(device, INVALID_HANDLE_VALUE) << GetLastError();
    struct { SCSI_PASS_THROUGH_DIRECT request; uint8_t sense[32]; } block = {};
    uint8_t data[20] = {};
    block.request = {sizeof block.request, 0, 0, 0, 0, 6, sizeof block.sense, SCSI_IOCTL_DATA_IN, sizeof data, 60,
                     data, offsetof(decltype(block), sense), {0x08, 0, 0, 0, 20, 0}};
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(device, IOCTL_SCSI_PASS_THROUGH_DIRECT, &block, sizeof block, &block, sizeof block,
                                &returned, nullptr));
    EXPECT_EQ(block.request.ScsiStatus, 2);
    EXPECT_EQ(bytes_t(data, data + block.request.DataTransferLength), pattern(10, 1));
    EXPECT_EQ(bytes_t(block.sense, block.sense + block.request.SenseInfoLength), sense(0x20, 0, 10));
    CloseHandle(device);
    SetLastError(NO_ERROR);
    EXPECT_EQ(create_tape("vtape:" + dir.file("t.dmp") + "?colour=red"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
