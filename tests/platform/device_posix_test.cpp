// \\.\TapeN and \\.\ScsiN through BRX_TAPEN / BRX_SCSIN to their device, and DeviceIoControl's
// pass-through on it: what reaches the device and what the caller's block holds afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/device_namespace.h"
#include "tests/support/scripted_device_posix.h"

namespace {

using bytes_t = std::vector<uint8_t>;
std::string last_opened;  // the whole device string a test scheme was given

// A scheme that notes the device string and fails with its own code, so that each row shows which one ran.
template <DWORD code>
DWORD test_scheme(const char* device_string, std::unique_ptr<posix::scsi_device_t>&)
{
    last_opened = device_string;
    return code;
}

TEST(device_namespace, names_reach_the_scheme_or_node_their_variable_names_or_are_not_found)
{
    posix::register_device_scheme("lp:", test_scheme<ERROR_BAD_UNIT>);
    posix::register_device_scheme("lp:long:", test_scheme<ERROR_NOT_READY>);
    register_scripted_device("ns-other", std::make_shared<scripted_device_t>());  // "script:" known, this name not
    const struct { const char* variable; const char* value; const char* name; DWORD code; const char* opened; } cases[] = {
        {"BRX_TAPE4", "lp:x", "\\\\.\\tAPE4", ERROR_BAD_UNIT, "lp:x"},
        {"BRX_TAPE4", "lp:long:x", "\\\\.\\Tape4", ERROR_NOT_READY, "lp:long:x"},  // the longest prefix wins
        {"BRX_SCSI12", "lp:adapter", "\\\\.\\Scsi12:", ERROR_BAD_UNIT, "lp:adapter"},
        {"BRX_TAPE4", "script:nothing-registered-here", "\\\\.\\Tape4", ERROR_FILE_NOT_FOUND, ""},
        {"BRX_TAPE4", "/nonexistent/nst0", "\\\\.\\Tape4", ERROR_FILE_NOT_FOUND, ""},
        {"BRX_TAPE8", "", "\\\\.\\Tape8", ERROR_FILE_NOT_FOUND, ""},  // empty counts as unset: no /dev/nst8
        {"BRX_SCSI12", "lp:x", "\\\\.\\Scsi12", ERROR_FILE_NOT_FOUND, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        setenv(c.variable, c.value, 1);
        last_opened.clear();
        EXPECT_EQ(CreateFileA(c.name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.code);
        EXPECT_EQ(last_opened, c.opened);
    }
}

constexpr uint32_t sense_offset = 128, block_size = 192, data_offset = 512;  // sense: 64 bytes at 128
const bytes_t fixed_sense = {0xF0, 0, 0x80, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

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
    bytes_t bytes(uint32_t from, uint32_t count) { return {buffer + from, buffer + from + count}; }

    // A READ(6) of length bytes into the data area, as the drivers build it, in a cleared buffer.
    void prepare_read(uint32_t length)
    {
        std::memset(buffer, 0, sizeof buffer);
        request() = {sizeof(SCSI_PASS_THROUGH_DIRECT), 0, 3, 5, 0xFF, 6, 64, SCSI_IOCTL_DATA_IN, length, 60,
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

TEST_F(pass_through_test, the_request_reaches_the_device_and_the_block_gets_status_sense_and_data_or_is_refused)
{
    const struct { const char* what; uint8_t capacity; scripted_reply_t reply; uint8_t delivered; } cases[] = {
        {"good read", 64, {NO_ERROR, 0x00, {}, bytes_t(6, 'r')}, 0},
        {"sense cut to the area", 8, {NO_ERROR, 0x02, fixed_sense, {}}, 8},
        {"timeout", 64, {ERROR_SEM_TIMEOUT, 0x02, fixed_sense, bytes_t(6, 'r')}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        prepare_read(512);
        request().SenseInfoLength = c.capacity;
        const bytes_t before = bytes(0, sizeof buffer);
        device->push(c.reply);
        EXPECT_EQ(call(), c.reply.error == NO_ERROR);
        const scripted_command_t& sent = device->commands.back();
        EXPECT_EQ(sent.cdb, (bytes_t{0x08, 0, 0, 0, 0, 0}));
        EXPECT_EQ((std::vector<uint32_t>{sent.direction, sent.data_length, sent.timeout_seconds, sent.path_id,
                                         sent.target_id, sent.lun}),
                  (std::vector<uint32_t>{SCSI_IOCTL_DATA_IN, 512, 60, 3, 5, 0xFF}));
        if (c.reply.error != NO_ERROR) {  // the request never completed: the block stays as it was
            EXPECT_EQ(GetLastError(), c.reply.error);
            EXPECT_EQ(bytes(0, sizeof buffer), before);
            EXPECT_EQ(last_returned, 0u);
            continue;
        }
        EXPECT_EQ(request().ScsiStatus, c.reply.status);
        EXPECT_EQ(request().SenseInfoLength, c.delivered);
        EXPECT_EQ(request().DataTransferLength, c.reply.data_in.size());
        bytes_t sense(64, 0), data = c.reply.data_in;
        std::copy_n(c.reply.sense.begin(), c.delivered, sense.begin());
        data.resize(8);
        EXPECT_EQ(bytes(sense_offset, 64), sense);
        EXPECT_EQ(bytes(data_offset, 8), data);  // straight into the caller's buffer
        EXPECT_EQ(last_returned, c.delivered != 0 ? sense_offset + c.delivered : sizeof(SCSI_PASS_THROUGH_DIRECT));
    }
    device->commands.clear();  // malformed requests never reach the device
    using block_t = SCSI_PASS_THROUGH_DIRECT;
    const struct { const char* what; void (*spoil)(block_t&); DWORD out_size; } malformed[] = {
        {"32-bit length", [](block_t& r) { r.Length = 44; }, block_size},
        {"sense over the structure", [](block_t& r) { r.SenseInfoOffset = 8; }, block_size},
        {"output too small for the sense", [](block_t&) {}, block_size - 1},
    };
    for (const auto& c : malformed) {
        SCOPED_TRACE(c.what);
        prepare_read(16);
        c.spoil(request());
        EXPECT_FALSE(call(block_size, c.out_size));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    EXPECT_FALSE(call(block_size, block_size, 0x4D004));  // only pass-through
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
    EXPECT_TRUE(device->commands.empty());
}

}  // namespace
