// The drive reached as the program reaches it: CreateFileA("vtape:...") and pass-through requests,
// driven by the SCSI tape driver and its set-up variants.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "tapeio/s1pti_tape_io.h"
#include "tapeio/s2pti_tape_io.h"
#include "tests/support/register_test_schemes_posix.h"
#include "tests/vtape/vtape_test_support.h"

namespace {

constexpr uint32_t buffer_size = 65536;

struct opened_t {
    HANDLE device = INVALID_HANDLE_VALUE;
    tape_io_handle_t handle;
    bytes_t buffer = bytes_t(buffer_size);
    ~opened_t()
    {
        if (device != INVALID_HANDLE_VALUE)
            CloseHandle(device);
    }
};

// \\.\Tape90 names the device string in BRX_TAPE90.
HANDLE create_tape(const std::string& device_string)
{
    register_test_device_schemes();
    setenv("BRX_TAPE90", device_string.c_str(), 1);
    return CreateFileA("\\\\.\\Tape90", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_NO_BUFFERING | FILE_FLAG_WRITE_THROUGH, nullptr);
}

void open_device(opened_t& opened, const std::string& spec)
{
    opened.device = create_tape("vtape:" + spec);
    ASSERT_NE(opened.device, INVALID_HANDLE_VALUE) << GetLastError();
    opened.handle.attach(opened.device);
}

// MODE SENSE(6) of the Device Configuration page through the platform's pass-through request.
bytes_t device_configuration(HANDLE device)
{
    struct {
        SCSI_PASS_THROUGH_DIRECT request;
        uint8_t sense[32];
    } block;
    std::memset(&block, 0, sizeof block);
    uint8_t data[255] = {};
    block.request.Length = sizeof block.request;
    block.request.CdbLength = 6;
    block.request.SenseInfoLength = sizeof block.sense;
    block.request.SenseInfoOffset = offsetof(decltype(block), sense);
    block.request.DataIn = SCSI_IOCTL_DATA_IN;
    block.request.DataTransferLength = sizeof data;
    block.request.DataBuffer = data;
    block.request.TimeOutValue = 60;
    const uint8_t cdb[6] = {0x1A, 0, 0x10, 0, 255, 0};
    std::memcpy(block.request.Cdb, cdb, 6);
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(device, IOCTL_SCSI_PASS_THROUGH_DIRECT, &block, sizeof block, &block, sizeof block,
                                &returned, nullptr));
    EXPECT_EQ(block.request.ScsiStatus, 0);
    return bytes_t(data, data + block.request.DataTransferLength);
}

TEST(vtape_device, setup_variants_edit_the_mode_pages_of_the_drive)
{
    vtape_dir_t dir;
    {
        opened_t opened;
        open_device(opened, dir.path("t.dmp") + "?bufmode=0&speed=3&devconfig8=0x5F&changeable8=0xFF");
        s2pti_tape_io_t variant2;
        EXPECT_EQ(variant2.setup(&opened.handle, opened.buffer.data(), buffer_size), 0);
        const bytes_t page = device_configuration(opened.device);
        ASSERT_EQ(page.size(), 28u);
        EXPECT_EQ(page[2], 0x1F);
        EXPECT_EQ(page[12 + 8], 0x52);
    }
    {
        opened_t opened;
        open_device(opened, dir.path("t.dmp") + "?bufmode=0&speed=3");
        s1pti_tape_io_t variant1;
        EXPECT_EQ(variant1.setup(&opened.handle, opened.buffer.data(), buffer_size), 0);
        const bytes_t page = device_configuration(opened.device);
        ASSERT_EQ(page.size(), 28u);
        EXPECT_EQ(page[2], 0x13);
        EXPECT_EQ(page[12 + 8], 0x40);
    }
}

TEST(vtape_device, the_scsi_driver_reads_what_the_medium_holds)
{
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of({{100, 1}, {65536, 2}, {0, 0}, {65024, 3}}));
    opened_t opened;
    open_device(opened, dir.path("t.dmp"));
    s2pti_tape_io_t driver;
    uint8_t* buffer = opened.buffer.data();
    EXPECT_EQ(driver.rewind(&opened.handle, buffer, buffer_size), 1);
    EXPECT_EQ(driver.read_forward(&opened.handle, buffer, buffer_size), 100);
    EXPECT_EQ(bytes_t(buffer + 512, buffer + 612), pattern(100, 1));
    EXPECT_EQ(driver.read_forward(&opened.handle, buffer, buffer_size), 65536);
    EXPECT_EQ(bytes_t(buffer + 512, buffer + buffer_size), pattern(65024, 2));
    EXPECT_EQ(driver.read_forward(&opened.handle, buffer, buffer_size), 0);
    EXPECT_EQ(driver.read_forward(&opened.handle, buffer, buffer_size), 65024);
    EXPECT_EQ(bytes_t(buffer + 512, buffer + buffer_size), pattern(65024, 3));
    EXPECT_EQ(driver.read_forward(&opened.handle, buffer, buffer_size), -9);
    uint32_t count = 0;
    EXPECT_EQ(driver.get_block_count(&opened.handle, &count), 0);
    EXPECT_EQ(count, 4u);
    // Back over the last record to the mark: before it, one block fewer than the mark's index.
    EXPECT_EQ(driver.space_file_reverse(&opened.handle, buffer, buffer_size), 0);
    EXPECT_EQ(driver.get_block_count(&opened.handle, &count), 0);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(driver.space_file_reverse(&opened.handle, buffer, buffer_size), -1);
    EXPECT_EQ(driver.get_block_count(&opened.handle, &count), 0);
    EXPECT_EQ(count, 0u);
}

TEST(vtape_device, the_scsi_driver_writes_the_container_bytes)
{
    vtape_dir_t dir;
    opened_t opened;
    open_device(opened, dir.path("t.dmp") + "?capacity=300&ew=100");
    s2pti_tape_io_t driver;
    uint8_t* buffer = opened.buffer.data();
    const bytes_t record = pattern(80, 1);
    std::memcpy(buffer + 512, record.data(), record.size());
    EXPECT_EQ(driver.write_record(&opened.handle, buffer, 80), 80);
    EXPECT_EQ(driver.write_tape_mark(&opened.handle, buffer, buffer_size), 0);
    uint32_t count = 0;
    EXPECT_EQ(driver.get_block_count(&opened.handle, &count), 0);
    EXPECT_EQ(count, 2u);
    // 96 bytes so far; a record of 100 ends at 204, in the early-warning zone: written, EOM reported.
    std::memcpy(buffer + 512, pattern(100, 2).data(), 100);
    EXPECT_EQ(driver.write_record(&opened.handle, buffer, 100), 100);
    EXPECT_EQ(driver.get_block_count(&opened.handle, &count), -1);
    // One of 100 more would end at 312, past capacity: not written, the medium is full.
    EXPECT_EQ(driver.write_record(&opened.handle, buffer, 100), -1);
    EXPECT_EQ(read_file(dir.path("t.dmp")), container_of({{80, 1}, {0, 0}, {100, 2}}));
}

TEST(vtape_device, bad_strings_and_unopenable_media_fail_create_file)
{
    register_test_device_schemes();
    register_test_device_schemes();  // twice is harmless
    vtape_dir_t dir;
    struct case_t {
        std::string name;
        DWORD error;
    };
    const case_t cases[] = {
        {"vtape:" + dir.path("t.dmp") + "?colour=red", ERROR_INVALID_PARAMETER},
        {"vtape:", ERROR_INVALID_PARAMETER},
        {"vtape:" + dir.path("missing/t.dmp"), ERROR_PATH_NOT_FOUND},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(NO_ERROR);
        EXPECT_EQ(create_tape(c.name), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

}  // namespace
