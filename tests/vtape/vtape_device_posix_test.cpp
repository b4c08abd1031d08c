// The drive as the program reaches it: CreateFileA("\\.\Tape90") naming "vtape:...", and the
// pass-through requests of the SCSI tape drivers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "tapeio/s1pti_tape_io.h"
#include "tapeio/s2pti_tape_io.h"
#include "tests/support/register_test_schemes_posix.h"
#include "tests/vtape/vtape_test_support.h"

namespace {

constexpr uint32_t size = 65536;

HANDLE create_tape(const std::string& device_string)
{
    register_test_device_schemes();
    setenv("BRX_TAPE90", device_string.c_str(), 1);
    return CreateFileA("\\\\.\\Tape90", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH, nullptr);
}

struct drive_t {
    explicit drive_t(const std::string& spec) : device(create_tape("vtape:" + spec))
    {
        EXPECT_NE(device, INVALID_HANDLE_VALUE) << GetLastError();
        handle.attach(device);
    }
    ~drive_t() { CloseHandle(device); }
    int32_t count()  // the block count, or the driver's failure
    {
        uint32_t n = 0;
        const int32_t result = driver.get_block_count(&handle, &n);
        return result == 0 ? int32_t(n) : result;
    }
    HANDLE device;
    tape_io_handle_t handle;
    bytes_t bytes = bytes_t(size);
    uint8_t* buffer = bytes.data();
    s2pti_tape_io_t driver;
};

// The Device Configuration page as MODE SENSE(6) reports it through the platform's pass-through.
bytes_t device_configuration(HANDLE device)
{
    struct {
        SCSI_PASS_THROUGH_DIRECT request;
        uint8_t sense[32];
    } block = {};
    uint8_t data[255] = {};
    block.request = {sizeof block.request, 0, 0, 0, 0, 6, sizeof block.sense, SCSI_IOCTL_DATA_IN, sizeof data, 60,
                     data, offsetof(decltype(block), sense), {0x1A, 0, 0x10, 0, 255, 0}};
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(device, IOCTL_SCSI_PASS_THROUGH_DIRECT, &block, sizeof block, &block, sizeof block,
                                &returned, nullptr));
    EXPECT_EQ(block.request.ScsiStatus, 0);
    return bytes_t(data, data + block.request.DataTransferLength);
}

TEST(vtape_device, setup_variants_edit_the_mode_pages_of_the_drive)
{
    vtape_dir_t dir;
    drive_t second(dir.path("2.dmp") + "?bufmode=0&speed=3&devconfig8=0x5F&changeable8=0xFF");
    EXPECT_EQ(second.driver.setup(&second.handle, second.buffer, size), 0);
    bytes_t page = device_configuration(second.device);
    ASSERT_EQ(page.size(), 28u);
    EXPECT_EQ(page[2], 0x1F);
    EXPECT_EQ(page[12 + 8], 0x52);
    drive_t first(dir.path("1.dmp") + "?bufmode=0&speed=3");
    s1pti_tape_io_t variant1;
    EXPECT_EQ(variant1.setup(&first.handle, first.buffer, size), 0);
    page = device_configuration(first.device);
    ASSERT_EQ(page.size(), 28u);
    EXPECT_EQ(page[2], 0x13);
    EXPECT_EQ(page[12 + 8], 0x40);
}

TEST(vtape_device, the_scsi_driver_reads_what_the_medium_holds)
{
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of({{100, 1}, {65536, 2}, {0, 0}, {65024, 3}}));
    drive_t drive(dir.path("t.dmp"));
    uint8_t* data = drive.buffer + 512;
    EXPECT_EQ(drive.driver.rewind(&drive.handle, drive.buffer, size), 1);
    EXPECT_EQ(drive.driver.read_forward(&drive.handle, drive.buffer, size), 100);
    EXPECT_EQ(bytes_t(data, data + 100), pattern(100, 1));
    EXPECT_EQ(drive.driver.read_forward(&drive.handle, drive.buffer, size), 65536);
    EXPECT_EQ(bytes_t(data, data + 65024), pattern(65024, 2));
    EXPECT_EQ(drive.driver.read_forward(&drive.handle, drive.buffer, size), 0);
    EXPECT_EQ(drive.driver.read_forward(&drive.handle, drive.buffer, size), 65024);
    EXPECT_EQ(bytes_t(data, data + 65024), pattern(65024, 3));
    EXPECT_EQ(drive.driver.read_forward(&drive.handle, drive.buffer, size), -9);
    EXPECT_EQ(drive.count(), 4);
    // Back over the last record to the mark: before it, one block fewer than the mark's index.
    EXPECT_EQ(drive.driver.space_file_reverse(&drive.handle, drive.buffer, size), 0);
    EXPECT_EQ(drive.count(), 2);
    EXPECT_EQ(drive.driver.space_file_reverse(&drive.handle, drive.buffer, size), -1);
    EXPECT_EQ(drive.count(), 0);
}

TEST(vtape_device, the_scsi_driver_writes_the_container_bytes)
{
    vtape_dir_t dir;
    {
        drive_t drive(dir.path("t.dmp") + "?capacity=300&ew=100");
        std::memcpy(drive.buffer + 512, pattern(80, 1).data(), 80);
        EXPECT_EQ(drive.driver.write_record(&drive.handle, drive.buffer, 80), 80);
        EXPECT_EQ(drive.driver.write_tape_mark(&drive.handle, drive.buffer, size), 0);
        EXPECT_EQ(drive.count(), 2);
        // 96 bytes so far; a record of 100 ends at 204, in the early-warning zone: written, EOM reported.
        std::memcpy(drive.buffer + 512, pattern(100, 2).data(), 100);
        EXPECT_EQ(drive.driver.write_record(&drive.handle, drive.buffer, 100), 100);
        EXPECT_EQ(drive.count(), -1);
        // One more would end at 312, past capacity: not written, the medium is full.
        EXPECT_EQ(drive.driver.write_record(&drive.handle, drive.buffer, 100), -1);
    }
    EXPECT_EQ(read_file(dir.path("t.dmp")), container_of({{80, 1}, {0, 0}, {100, 2}}));
    // Bad strings and unopenable media fail CreateFileA with a code saying why.
    const std::pair<std::string, DWORD> cases[] = {
        {"vtape:" + dir.path("t.dmp") + "?colour=red", ERROR_INVALID_PARAMETER},
        {"vtape:", ERROR_INVALID_PARAMETER},
        {"vtape:" + dir.path("missing/t.dmp"), ERROR_PATH_NOT_FOUND},
    };
    for (const auto& [name, error] : cases) {
        SCOPED_TRACE(name);
        SetLastError(NO_ERROR);
        EXPECT_EQ(create_tape(name), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), error);
    }
}

}  // namespace
