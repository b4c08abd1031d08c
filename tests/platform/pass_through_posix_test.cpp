// DeviceIoControl(IOCTL_SCSI_PASS_THROUGH_DIRECT) against a scripted device: what reaches the device,
// and what the caller's block holds afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "tests/support/scripted_device_posix.h"

namespace {

constexpr uint32_t sense_offset = 128;  // the program's block: the sense area at 128, 64 bytes
constexpr uint32_t block_size = 192;
constexpr uint32_t data_offset = 512;

const std::vector<uint8_t> fixed_sense = {0xF0, 0, 0x80 | 0x00, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

class pass_through_test : public ::testing::Test {
protected:
    void SetUp() override
    {
        register_scripted_device("pass-through", device);
        setenv("BRX_SCSI9", "script:pass-through", 1);
        handle = CreateFileA("\\\\.\\Scsi9:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        std::memset(buffer, 0, sizeof buffer);
    }
    void TearDown() override
    {
        EXPECT_TRUE(CloseHandle(handle));
        unsetenv("BRX_SCSI9");
    }

    SCSI_PASS_THROUGH_DIRECT& request() { return *reinterpret_cast<SCSI_PASS_THROUGH_DIRECT*>(buffer); }

    // A READ(6) of `length` bytes into the data area, as the drivers build it.
    void prepare_read(uint32_t length)
    {
        request().Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
        request().CdbLength = 6;
        request().SenseInfoLength = 64;
        request().SenseInfoOffset = sense_offset;
        request().DataIn = SCSI_IOCTL_DATA_IN;
        request().DataTransferLength = length;
        request().TimeOutValue = 60;
        request().DataBuffer = buffer + data_offset;
        const uint8_t cdb[6] = {0x08, 0x00, 0x00, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 0};
        std::memcpy(request().Cdb, cdb, sizeof cdb);
    }

    BOOL call(DWORD in_size = block_size, DWORD out_size = block_size)
    {
        DWORD returned = 0xFFFF;
        BOOL result = DeviceIoControl(handle, IOCTL_SCSI_PASS_THROUGH_DIRECT, buffer, in_size, buffer, out_size,
                                      &returned, nullptr);
        last_returned = returned;
        return result;
    }

    std::vector<uint8_t> bytes(uint32_t from, uint32_t count) { return {buffer + from, buffer + from + count}; }

    std::shared_ptr<scripted_device_t> device = std::make_shared<scripted_device_t>();
    HANDLE handle = INVALID_HANDLE_VALUE;
    alignas(8) uint8_t buffer[1024];
    DWORD last_returned = 0;
};

TEST_F(pass_through_test, good_read_delivers_data_straight_into_the_callers_buffer)
{
    prepare_read(16);
    request().PathId = 3;
    request().TargetId = 5;
    request().Lun = 0xFF;
    device->push({NO_ERROR, 0x00, {}, {'r', 'e', 'c', 'o', 'r', 'd'}});
    ASSERT_TRUE(call());
    EXPECT_EQ(request().ScsiStatus, 0);
    EXPECT_EQ(request().SenseInfoLength, 0);
    EXPECT_EQ(request().DataTransferLength, 6u);
    EXPECT_EQ(bytes(data_offset, 8), (std::vector<uint8_t>{'r', 'e', 'c', 'o', 'r', 'd', 0, 0}));
    EXPECT_EQ(bytes(sense_offset, 64), std::vector<uint8_t>(64, 0));
    EXPECT_EQ(last_returned, sizeof(SCSI_PASS_THROUGH_DIRECT));

    ASSERT_EQ(device->commands.size(), 1u);
    const scripted_command_t& seen = device->commands[0];
    EXPECT_EQ(seen.cdb, (std::vector<uint8_t>{0x08, 0, 0, 0, 16, 0}));
    EXPECT_EQ(seen.direction, SCSI_IOCTL_DATA_IN);
    EXPECT_EQ(seen.data_length, 16u);
    EXPECT_EQ(seen.timeout_seconds, 60u);
    EXPECT_EQ(seen.path_id, 3);
    EXPECT_EQ(seen.target_id, 5);
    EXPECT_EQ(seen.lun, 0xFF);
}

TEST_F(pass_through_test, check_condition_puts_the_sense_at_its_offset_with_its_length)
{
    struct case_t {
        const char* what;
        uint8_t capacity;
        std::vector<uint8_t> sense;
        uint8_t delivered;
    } cases[] = {
        {"fixed sense", 64, fixed_sense, 18},
        {"sense cut to the area", 8, fixed_sense, 8},
        {"no sense delivered", 64, {}, 0},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.what);
        std::memset(buffer, 0, sizeof buffer);
        prepare_read(512);
        request().SenseInfoLength = c.capacity;
        device->push({NO_ERROR, 0x02, c.sense, {}});
        ASSERT_TRUE(call());
        EXPECT_EQ(request().ScsiStatus, 0x02);
        EXPECT_EQ(request().SenseInfoLength, c.delivered);
        std::vector<uint8_t> expected(64, 0);
        std::copy(c.sense.begin(), c.sense.begin() + c.delivered, expected.begin());
        EXPECT_EQ(bytes(sense_offset, 64), expected);
        EXPECT_EQ(last_returned, c.delivered != 0 ? sense_offset + c.delivered : sizeof(SCSI_PASS_THROUGH_DIRECT));
        EXPECT_EQ(request().DataTransferLength, 0u);
    }
}

TEST_F(pass_through_test, other_statuses_come_back_as_they_are)
{
    for (uint8_t status : {0x08, 0x18, 0x28}) {  // BUSY, RESERVATION CONFLICT, TASK SET FULL
        prepare_read(16);
        device->push({NO_ERROR, status, {}, {}});
        ASSERT_TRUE(call());
        EXPECT_EQ(request().ScsiStatus, status);
    }
}

TEST_F(pass_through_test, write_sends_the_callers_bytes)
{
    prepare_read(5);
    request().DataIn = SCSI_IOCTL_DATA_OUT;
    request().Cdb[0] = 0x0A;
    std::memcpy(buffer + data_offset, "tape!", 5);
    ASSERT_TRUE(call());
    ASSERT_EQ(device->commands.size(), 1u);
    EXPECT_EQ(device->commands[0].data_out, (std::vector<uint8_t>{'t', 'a', 'p', 'e', '!'}));
    EXPECT_EQ(device->commands[0].direction, SCSI_IOCTL_DATA_OUT);
    EXPECT_EQ(request().DataTransferLength, 5u);
    EXPECT_EQ(request().ScsiStatus, 0);
}

TEST_F(pass_through_test, a_failed_call_reports_the_transport_code_and_leaves_the_block)
{
    for (DWORD error : {ERROR_SEM_TIMEOUT, ERROR_IO_DEVICE, ERROR_DEVICE_NOT_CONNECTED}) {
        SCOPED_TRACE(error);
        prepare_read(16);
        request().ScsiStatus = 0x77;
        std::vector<uint8_t> before = bytes(0, sizeof buffer);
        device->push({error, 0x02, fixed_sense, {'x'}});
        EXPECT_FALSE(call());
        EXPECT_EQ(GetLastError(), error);
        EXPECT_EQ(bytes(0, sizeof buffer), before);
        EXPECT_EQ(last_returned, 0u);
    }
}

TEST_F(pass_through_test, malformed_requests_are_refused_before_the_device_sees_them)
{
    struct case_t {
        const char* what;
        void (*spoil)(SCSI_PASS_THROUGH_DIRECT&);
        DWORD in_size, out_size;
    } cases[] = {
        {"32-bit length", [](SCSI_PASS_THROUGH_DIRECT& r) { r.Length = 44; }, block_size, block_size},
        {"cdb too long", [](SCSI_PASS_THROUGH_DIRECT& r) { r.CdbLength = 17; }, block_size, block_size},
        {"no cdb", [](SCSI_PASS_THROUGH_DIRECT& r) { r.CdbLength = 0; }, block_size, block_size},
        {"unknown direction", [](SCSI_PASS_THROUGH_DIRECT& r) { r.DataIn = 3; }, block_size, block_size},
        {"data without buffer", [](SCSI_PASS_THROUGH_DIRECT& r) { r.DataBuffer = nullptr; }, block_size, block_size},
        {"sense beyond output", [](SCSI_PASS_THROUGH_DIRECT& r) { r.SenseInfoOffset = 129; }, block_size, block_size},
        {"sense over the structure", [](SCSI_PASS_THROUGH_DIRECT& r) { r.SenseInfoOffset = 8; }, block_size,
         block_size},
        {"input too small", [](SCSI_PASS_THROUGH_DIRECT&) {}, sizeof(SCSI_PASS_THROUGH_DIRECT) - 1, block_size},
        {"output too small for the sense", [](SCSI_PASS_THROUGH_DIRECT&) {}, block_size, 191},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.what);
        prepare_read(16);
        c.spoil(request());
        EXPECT_FALSE(call(c.in_size, c.out_size));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    EXPECT_TRUE(device->commands.empty());
}

TEST_F(pass_through_test, only_pass_through_on_a_device_is_served)
{
    prepare_read(16);
    DWORD returned = 0;
    EXPECT_FALSE(DeviceIoControl(handle, 0x4D004, buffer, block_size, buffer, block_size, &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);

    char name[] = "/tmp/brx-pass-through-XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DeviceIoControl(file, IOCTL_SCSI_PASS_THROUGH_DIRECT, buffer, block_size, buffer, block_size,
                                 &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
    EXPECT_TRUE(CloseHandle(file));
    unlink(name);

    EXPECT_FALSE(DeviceIoControl(file, IOCTL_SCSI_PASS_THROUGH_DIRECT, buffer, block_size, buffer, block_size,
                                 &returned, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(device->commands.empty());
}

TEST_F(pass_through_test, separate_output_block_receives_status_and_sense)
{
    prepare_read(16);
    alignas(8) uint8_t out[block_size] = {};
    device->push({NO_ERROR, 0x02, fixed_sense, {}});
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(handle, IOCTL_SCSI_PASS_THROUGH_DIRECT, buffer, block_size, out, sizeof out,
                                &returned, nullptr));
    const auto& result = *reinterpret_cast<SCSI_PASS_THROUGH_DIRECT*>(out);
    EXPECT_EQ(result.ScsiStatus, 0x02);
    EXPECT_EQ(result.SenseInfoLength, 18);
    EXPECT_EQ(std::vector<uint8_t>(out + sense_offset, out + sense_offset + 18), fixed_sense);
    EXPECT_EQ(bytes(sense_offset, 18), std::vector<uint8_t>(18, 0));
}

TEST_F(pass_through_test, scripted_replies_run_out_into_good_status)
{
    device->push({NO_ERROR, 0x02, fixed_sense, {}});
    for (uint8_t expected : {0x02, 0x00, 0x00}) {
        prepare_read(16);
        ASSERT_TRUE(call());
        EXPECT_EQ(request().ScsiStatus, expected);
    }
    EXPECT_EQ(device->commands.size(), 3u);
}

}  // namespace
