// DeviceIoControl(IOCTL_SCSI_PASS_THROUGH_DIRECT) against a scripted device: what reaches the device,
// and what the caller's block holds afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "tests/platform/temp_dir_posix.h"
#include "tests/support/scripted_device_posix.h"

namespace {

constexpr uint32_t sense_offset = 128;  // the program's block: the sense area at 128, 64 bytes
constexpr uint32_t block_size = 192;
constexpr uint32_t data_offset = 512;
const std::vector<uint8_t> fixed_sense = {0xF0, 0, 0x80, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

class pass_through_test : public testing::Test {
protected:
    void SetUp() override
    {
        register_scripted_device("pass-through", device);
        setenv("BRX_SCSI9", "script:pass-through", 1);
        handle = CreateFileA("\\\\.\\Scsi9:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    }
    void TearDown() override { EXPECT_TRUE(CloseHandle(handle)); }

    SCSI_PASS_THROUGH_DIRECT& request() { return *reinterpret_cast<SCSI_PASS_THROUGH_DIRECT*>(buffer); }
    std::vector<uint8_t> bytes(uint32_t from, uint32_t count) { return {buffer + from, buffer + from + count}; }

    // A READ(6) of length bytes into the data area, as the drivers build it, in a cleared buffer.
    void prepare_read(uint32_t length)
    {
        std::memset(buffer, 0, sizeof buffer);
        request() = {sizeof(SCSI_PASS_THROUGH_DIRECT), 0, 0, 0, 0, 6, 64, SCSI_IOCTL_DATA_IN, length, 60,
                     buffer + data_offset, sense_offset, {0x08, 0, 0, 0, static_cast<UCHAR>(length), 0}};
    }
    BOOL call(DWORD in_size = block_size, DWORD out_size = block_size, DWORD code = IOCTL_SCSI_PASS_THROUGH_DIRECT)
    {
        last_returned = 0xFFFF;
        return DeviceIoControl(handle, code, buffer, in_size, buffer, out_size, &last_returned, nullptr);
    }

    std::shared_ptr<scripted_device_t> device = std::make_shared<scripted_device_t>();
    HANDLE handle = INVALID_HANDLE_VALUE;
    alignas(8) uint8_t buffer[1024];
    DWORD last_returned = 0;
};

TEST_F(pass_through_test, the_request_reaches_the_device_whole_with_the_callers_data)
{
    prepare_read(16);
    request().PathId = 3;
    request().TargetId = 5;
    request().Lun = 0xFF;
    ASSERT_TRUE(call());
    prepare_read(5);
    request().DataIn = SCSI_IOCTL_DATA_OUT;
    std::memcpy(buffer + data_offset, "tape!", 5);
    ASSERT_TRUE(call());
    EXPECT_EQ(request().DataTransferLength, 5u);
    ASSERT_EQ(device->commands.size(), 2u);
    const scripted_command_t& read = device->commands[0];
    EXPECT_EQ(read.cdb, (std::vector<uint8_t>{0x08, 0, 0, 0, 16, 0}));
    EXPECT_EQ((std::vector<uint32_t>{read.direction, read.data_length, read.timeout_seconds}),
              (std::vector<uint32_t>{SCSI_IOCTL_DATA_IN, 16, 60}));
    EXPECT_EQ((std::vector<uint8_t>{read.path_id, read.target_id, read.lun}), (std::vector<uint8_t>{3, 5, 0xFF}));
    EXPECT_EQ(device->commands[1].direction, SCSI_IOCTL_DATA_OUT);
    EXPECT_EQ(device->commands[1].data_out, (std::vector<uint8_t>{'t', 'a', 'p', 'e', '!'}));
}

TEST_F(pass_through_test, the_block_gets_status_sense_and_data_or_the_failed_call_its_code)
{
    const std::vector<uint8_t> record = {'r', 'e', 'c', 'o', 'r', 'd'};
    const struct { const char* what; uint8_t capacity; scripted_reply_t reply; uint8_t delivered; } cases[] = {
        {"good read", 64, {NO_ERROR, 0x00, {}, record}, 0},
        {"fixed sense", 64, {NO_ERROR, 0x02, fixed_sense, {}}, 18},
        {"sense cut to the area", 8, {NO_ERROR, 0x02, fixed_sense, {}}, 8},
        {"no sense delivered", 64, {NO_ERROR, 0x02, {}, {}}, 0},
        {"busy", 64, {NO_ERROR, 0x08, {}, {}}, 0},
        {"timeout", 64, {ERROR_SEM_TIMEOUT, 0x02, fixed_sense, record}, 0},
        {"device gone", 64, {ERROR_DEVICE_NOT_CONNECTED, 0x02, fixed_sense, record}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        prepare_read(512);
        request().SenseInfoLength = c.capacity;
        const std::vector<uint8_t> before = bytes(0, sizeof buffer);
        device->push(c.reply);
        EXPECT_EQ(call(), c.reply.error == NO_ERROR);
        if (c.reply.error != NO_ERROR) {  // the request never completed: the block stays as it was
            EXPECT_EQ(GetLastError(), c.reply.error);
            EXPECT_EQ(bytes(0, sizeof buffer), before);
            EXPECT_EQ(last_returned, 0u);
            continue;
        }
        EXPECT_EQ(request().ScsiStatus, c.reply.status);
        EXPECT_EQ(request().SenseInfoLength, c.delivered);
        EXPECT_EQ(request().DataTransferLength, c.reply.data_in.size());
        std::vector<uint8_t> sense(64, 0), data = c.reply.data_in;
        std::copy_n(c.reply.sense.begin(), c.delivered, sense.begin());
        data.resize(8);
        EXPECT_EQ(bytes(sense_offset, 64), sense);
        EXPECT_EQ(bytes(data_offset, 8), data);  // straight into the caller's buffer
        EXPECT_EQ(last_returned, c.delivered != 0 ? sense_offset + c.delivered : sizeof(SCSI_PASS_THROUGH_DIRECT));
    }
}

TEST_F(pass_through_test, malformed_or_misdirected_requests_are_refused_before_the_device_sees_them)
{
    using block_t = SCSI_PASS_THROUGH_DIRECT;
    const DWORD full = block_size;
    const struct { const char* what; void (*spoil)(block_t&); DWORD in_size, out_size; } cases[] = {
        {"32-bit length", [](block_t& r) { r.Length = 44; }, full, full},
        {"cdb too long", [](block_t& r) { r.CdbLength = 17; }, full, full},
        {"no cdb", [](block_t& r) { r.CdbLength = 0; }, full, full},
        {"unknown direction", [](block_t& r) { r.DataIn = 3; }, full, full},
        {"data without buffer", [](block_t& r) { r.DataBuffer = nullptr; }, full, full},
        {"sense over the structure", [](block_t& r) { r.SenseInfoOffset = 8; }, full, full},
        {"input too small", [](block_t&) {}, sizeof(block_t) - 1, full},
        {"output too small for the sense", [](block_t&) {}, full, full - 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        prepare_read(16);
        c.spoil(request());
        EXPECT_FALSE(call(c.in_size, c.out_size));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    EXPECT_FALSE(call(block_size, block_size, 0x4D004));  // only pass-through, and only on a device
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
    temp_dir_t dir;
    HANDLE file = CreateFileA(dir.write("f", "").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    for (DWORD error : {ERROR_INVALID_FUNCTION, ERROR_INVALID_HANDLE}) {  // open, then closed
        EXPECT_FALSE(DeviceIoControl(file, IOCTL_SCSI_PASS_THROUGH_DIRECT, buffer, block_size, buffer, block_size,
                                     &last_returned, nullptr));
        EXPECT_EQ(GetLastError(), error);
        CloseHandle(file);
    }
    EXPECT_TRUE(device->commands.empty());
}

TEST_F(pass_through_test, a_separate_output_block_receives_status_and_sense)
{
    prepare_read(16);
    alignas(8) uint8_t out[block_size] = {};
    device->push({NO_ERROR, 0x02, fixed_sense, {}});
    DWORD returned = 0;
    ASSERT_TRUE(DeviceIoControl(handle, IOCTL_SCSI_PASS_THROUGH_DIRECT, buffer, block_size, out, sizeof out,
                                &returned, nullptr));
    EXPECT_EQ(reinterpret_cast<SCSI_PASS_THROUGH_DIRECT*>(out)->ScsiStatus, 0x02);
    EXPECT_EQ(std::vector<uint8_t>(out + sense_offset, out + sense_offset + 18), fixed_sense);
    EXPECT_EQ(bytes(sense_offset, 18), std::vector<uint8_t>(18, 0));
}

}  // namespace
