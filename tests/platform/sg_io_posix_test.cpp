// The SG_IO transport with the kernel played by a script: how a command becomes an sg_io_hdr_t,
// and how the kernel's answer in its three layers becomes the reply.
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "platform/posix/sg_io_posix.h"
#include "platform/posix/transports.h"

namespace {

using bytes_t = std::vector<uint8_t>;

struct kernel_answer_t {
    int error_number;  // not 0: the ioctl fails with it
    uint8_t status;
    uint16_t host_status, driver_status;
    bytes_t sense;
    int resid;
};

kernel_answer_t answer;
std::vector<sg_io_hdr_t> requests;
bytes_t last_cdb;

int scripted_sg_io(int, sg_io_hdr_t* header)
{
    requests.push_back(*header);
    last_cdb.assign(header->cmdp, header->cmdp + header->cmd_len);
    if (answer.error_number != 0) {
        errno = answer.error_number;
        return -1;
    }
    header->status = answer.status, header->host_status = answer.host_status;
    header->driver_status = answer.driver_status, header->resid = answer.resid;
    header->sb_len_wr = static_cast<uint8_t>(std::min<size_t>(answer.sense.size(), header->mx_sb_len));
    std::copy_n(answer.sense.begin(), header->sb_len_wr, header->sbp);
    std::fill_n(static_cast<uint8_t*>(header->dxferp), header->dxfer_len, 0x5A);
    return 0;
}

class sg_io_test : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = posix::sg_io_ioctl;
        posix::sg_io_ioctl = scripted_sg_io;
        answer = {};
        requests.clear();
        ASSERT_EQ(posix::open_kernel_device("/dev/null", device), NO_ERROR);  // the ioctl never reaches it
    }
    void TearDown() override { posix::sg_io_ioctl = saved; }

    posix::scsi_reply_t run(uint8_t direction, uint32_t length, uint32_t timeout_seconds = 60)
    {
        data.assign(length, 0);
        sense.assign(64, 0);
        command.cdb = cdb, command.cdb_length = 6, command.direction = direction;
        command.data = length > 0 ? data.data() : nullptr, command.data_length = length;
        command.timeout_seconds = timeout_seconds;
        command.sense = sense.data(), command.sense_capacity = 64;
        return device->execute(command);
    }

    int (*saved)(int, sg_io_hdr_t*) = nullptr;
    std::unique_ptr<posix::scsi_device_t> device;
    uint8_t cdb[6] = {0x08, 0x00, 0x00, 0xFE, 0x00, 0x00};  // READ(6), 65,024 bytes
    posix::scsi_command_t command;
    bytes_t data, sense;
};

// NO SENSE, ILI, INFORMATION 80: a record 80 bytes shorter than requested.
const bytes_t short_record = {0xF0, 0, 0x20, 0, 0, 0, 0x50, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

TEST_F(sg_io_test, outcomes_in_every_layer_become_the_reply)
{
    const struct {
        const char* name;
        kernel_answer_t answer;
        DWORD error;
        uint8_t status;
        uint32_t transferred;
        bytes_t sense;
    } cases[] = {
        {"good", {0, 0, 0, 0, {}, 0}, NO_ERROR, 0, 4096, {}},
        {"check condition, sense", {0, 2, 0, 0x08, short_record, 80}, NO_ERROR, 2, 4016, short_record},
        {"sense valid with retry advice", {0, 2, 0, 0x18, short_record, 0}, NO_ERROR, 2, 4096, short_record},
        {"busy status", {0, 0x08, 0, 0, {}, 0}, NO_ERROR, 0x08, 4096, {}},
        {"residue beyond the request", {0, 0, 0, 0, {}, 5000}, NO_ERROR, 0, 0, {}},
        {"negative residue", {0, 0, 0, 0, {}, -12}, NO_ERROR, 0, 4096, {}},
        {"host time-out", {0, 0, 0x03, 0, {}, 4096}, ERROR_SEM_TIMEOUT, 0, 0, {}},
        {"driver time-out", {0, 0, 0, 0x06, {}, 4096}, ERROR_SEM_TIMEOUT, 0, 0, {}},
        {"no connect", {0, 0, 0x01, 0, {}, 4096}, ERROR_IO_DEVICE, 0, 0, {}},
        {"adapter error", {0, 2, 0x07, 0x08, short_record, 0}, ERROR_IO_DEVICE, 0, 0, {}},
        {"driver hard error", {0, 0, 0, 0x07, {}, 0}, ERROR_IO_DEVICE, 0, 0, {}},
        {"ioctl EPERM", {EPERM, 0, 0, 0, {}, 0}, ERROR_ACCESS_DENIED, 0, 0, {}},
        {"ioctl EINVAL", {EINVAL, 0, 0, 0, {}, 0}, ERROR_INVALID_PARAMETER, 0, 0, {}},
        {"ioctl ENOMEM", {ENOMEM, 0, 0, 0, {}, 0}, ERROR_NOT_ENOUGH_MEMORY, 0, 0, {}},
        {"ioctl ENOTTY", {ENOTTY, 0, 0, 0, {}, 0}, ERROR_INVALID_FUNCTION, 0, 0, {}},
        {"ioctl ENODEV", {ENODEV, 0, 0, 0, {}, 0}, ERROR_DEVICE_NOT_CONNECTED, 0, 0, {}},
        {"ioctl EINTR", {EINTR, 0, 0, 0, {}, 0}, ERROR_IO_DEVICE, 0, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        answer = c.answer;
        posix::scsi_reply_t reply = run(SCSI_IOCTL_DATA_IN, 4096);
        EXPECT_EQ(reply.error, c.error);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.data_transferred, c.transferred);
        EXPECT_EQ(bytes_t(sense.begin(), sense.begin() + reply.sense_length), c.sense);
    }
}

TEST_F(sg_io_test, the_request_carries_the_command_and_the_callers_buffers)
{
    const struct {
        uint8_t direction;
        uint32_t length, timeout_seconds;
        int sg_direction;
        unsigned timeout_ms;
    } cases[] = {
        {SCSI_IOCTL_DATA_IN, 65024, 86400, SG_DXFER_FROM_DEV, 86400000},
        {SCSI_IOCTL_DATA_OUT, 80, 60, SG_DXFER_TO_DEV, 60000},
        {SCSI_IOCTL_DATA_OUT, 0, 1, SG_DXFER_NONE, 1000},           // no data phase
        {SCSI_IOCTL_DATA_IN, 0, 0, SG_DXFER_NONE, 60000},           // 0 seconds: the one-minute default
        {SCSI_IOCTL_DATA_IN, 16, 0xFFFFFFFF, SG_DXFER_FROM_DEV, 4294967000u},  // longest the field holds
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        requests.clear();
        ASSERT_EQ(run(c.direction, c.length, c.timeout_seconds).error, NO_ERROR);
        ASSERT_EQ(requests.size(), 1u);
        const sg_io_hdr_t& header = requests[0];
        EXPECT_EQ(header.interface_id, 'S');
        EXPECT_EQ(header.dxfer_direction, c.sg_direction);
        EXPECT_EQ(header.dxfer_len, c.length);
        EXPECT_EQ(header.dxferp, c.length > 0 ? static_cast<void*>(data.data()) : nullptr);
        EXPECT_EQ(header.sbp, sense.data());
        EXPECT_EQ(header.mx_sb_len, 64);
        EXPECT_EQ(header.timeout, c.timeout_ms);
        EXPECT_EQ(last_cdb, bytes_t(cdb, cdb + 6));
        EXPECT_EQ(data, bytes_t(c.length, 0x5A));  // what the device sent, or what went out
    }

    // Sense goes no further than the caller's area, and nowhere without one.
    bytes_t small(8, 0xCC);
    answer = {0, 2, 0, 0x08, short_record, 0};
    command.sense = small.data(), command.sense_capacity = 4;
    EXPECT_EQ(device->execute(command).sense_length, 4u);
    EXPECT_EQ(small, (bytes_t{0xF0, 0x00, 0x20, 0x00, 0xCC, 0xCC, 0xCC, 0xCC}));
    command.sense = nullptr, command.sense_capacity = 64;
    EXPECT_EQ(device->execute(command).sense_length, 0u);
    EXPECT_EQ(requests.back().mx_sb_len, 0);
}

TEST_F(sg_io_test, malformed_commands_and_nodes_are_refused_before_the_kernel)
{
    uint8_t long_cdb[17] = {}, buffer[16] = {};
    const struct {
        const uint8_t* cdb;
        uint8_t cdb_length, direction;
        uint8_t* data;
    } cases[] = {
        {nullptr, 6, SCSI_IOCTL_DATA_IN, buffer},
        {long_cdb, 0, SCSI_IOCTL_DATA_IN, buffer},
        {long_cdb, 17, SCSI_IOCTL_DATA_IN, buffer},
        {long_cdb, 6, SCSI_IOCTL_DATA_IN, nullptr},        // data without a buffer
        {long_cdb, 6, SCSI_IOCTL_DATA_UNSPECIFIED, buffer},  // data without a direction
    };
    for (const auto& c : cases) {
        posix::scsi_command_t bad;
        bad.cdb = c.cdb, bad.cdb_length = c.cdb_length, bad.direction = c.direction;
        bad.data = c.data, bad.data_length = 16;
        EXPECT_EQ(device->execute(bad).error, ERROR_INVALID_PARAMETER) << &c - cases;
    }
    EXPECT_TRUE(requests.empty());

    const std::pair<const char*, DWORD> nodes[] = {{"/dev/brx-no-such-node", ERROR_FILE_NOT_FOUND},
                                                   {"/dev/null/below-a-file", ERROR_PATH_NOT_FOUND},
                                                   {"/dev", ERROR_ACCESS_DENIED}};
    for (const auto& [path, error] : nodes) {
        std::unique_ptr<posix::scsi_device_t> node;
        EXPECT_EQ(posix::open_kernel_device(path, node), error) << path;
        EXPECT_FALSE(node) << path;
    }
}

}  // namespace
