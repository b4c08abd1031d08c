// The SG_IO transport with the kernel played by a script: how a command becomes an sg_io_hdr_t,
// and how the kernel's answer in its three layers becomes the reply.
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "platform/posix/sg_io_posix.h"
#include "platform/posix/transports.h"

namespace {

// What the scripted kernel answers, and what it was asked.
struct kernel_answer_t {
    int result = 0;
    int error_number = 0;
    uint8_t status = 0;
    uint16_t host_status = 0;
    uint16_t driver_status = 0;
    std::vector<uint8_t> sense;
    int resid = 0;
    std::vector<uint8_t> data_in;
};

kernel_answer_t answer;
std::vector<sg_io_hdr_t> requests;
std::vector<std::vector<uint8_t>> request_cdbs;

int scripted_sg_io(int, sg_io_hdr_t* header) {
    requests.push_back(*header);
    request_cdbs.emplace_back(header->cmdp, header->cmdp + header->cmd_len);
    if (answer.result < 0) {
        errno = answer.error_number;
        return answer.result;
    }
    header->status = answer.status;
    header->host_status = answer.host_status;
    header->driver_status = answer.driver_status;
    header->sb_len_wr = static_cast<uint8_t>(std::min<size_t>(answer.sense.size(), header->mx_sb_len));
    std::copy_n(answer.sense.begin(), header->sb_len_wr, header->sbp);
    std::copy_n(answer.data_in.begin(), std::min<size_t>(answer.data_in.size(), header->dxfer_len),
                static_cast<uint8_t*>(header->dxferp));
    header->resid = answer.resid;
    return 0;
}

class sg_io_test : public ::testing::Test {
protected:
    void SetUp() override {
        saved = posix::sg_io_ioctl;
        posix::sg_io_ioctl = scripted_sg_io;
        answer = {};
        requests.clear();
        request_cdbs.clear();
        // Any node that opens read-write will do: the ioctl never reaches it.
        ASSERT_EQ(posix::open_kernel_device("/dev/null", device), NO_ERROR);
    }
    void TearDown() override { posix::sg_io_ioctl = saved; }

    posix::scsi_reply_t run(uint8_t direction, uint32_t length, uint32_t timeout_seconds = 60) {
        data.assign(length, 0);
        sense.assign(64, 0);
        command.cdb = cdb;
        command.cdb_length = 6;
        command.direction = direction;
        command.data = length > 0 ? data.data() : nullptr;
        command.data_length = length;
        command.timeout_seconds = timeout_seconds;
        command.sense = sense.data();
        command.sense_capacity = static_cast<uint32_t>(sense.size());
        return device->execute(command);
    }

    int (*saved)(int, sg_io_hdr_t*) = nullptr;
    std::unique_ptr<posix::scsi_device_t> device;
    uint8_t cdb[6] = {0x08, 0x00, 0x00, 0xFE, 0x00, 0x00};  // READ(6), 65,024 bytes
    posix::scsi_command_t command;
    std::vector<uint8_t> data, sense;
};

// Fixed-format sense of a record 80 bytes shorter than requested: NO SENSE, ILI, INFORMATION 80.
const std::vector<uint8_t> short_record_sense = {0xF0, 0x00, 0x20, 0x00, 0x00, 0x00, 0x50, 0x0A, 0x00,
                                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

TEST_F(sg_io_test, outcomes_in_every_layer_become_the_reply) {
    struct case_t {
        const char* name;
        kernel_answer_t answer;
        DWORD error;
        uint8_t status;
        uint32_t transferred;
        std::vector<uint8_t> sense;
    };
    const case_t cases[] = {
        {"good", {0, 0, 0x00, 0, 0, {}, 0, {}}, NO_ERROR, 0x00, 4096, {}},
        {"check condition, sense", {0, 0, 0x02, 0, 0x08, short_record_sense, 80, {}}, NO_ERROR, 0x02, 4016,
         short_record_sense},
        {"sense valid with retry advice", {0, 0, 0x02, 0, 0x18, short_record_sense, 0, {}}, NO_ERROR, 0x02, 4096,
         short_record_sense},
        {"busy status", {0, 0, 0x08, 0, 0, {}, 0, {}}, NO_ERROR, 0x08, 4096, {}},
        {"residue", {0, 0, 0x00, 0, 0, {}, 1000, {}}, NO_ERROR, 0x00, 3096, {}},
        {"residue of everything", {0, 0, 0x00, 0, 0, {}, 4096, {}}, NO_ERROR, 0x00, 0, {}},
        {"residue beyond the request", {0, 0, 0x00, 0, 0, {}, 5000, {}}, NO_ERROR, 0x00, 0, {}},
        {"negative residue", {0, 0, 0x00, 0, 0, {}, -12, {}}, NO_ERROR, 0x00, 4096, {}},
        {"host time-out", {0, 0, 0x00, 0x03, 0, {}, 4096, {}}, ERROR_SEM_TIMEOUT, 0, 0, {}},
        {"driver time-out", {0, 0, 0x00, 0, 0x06, {}, 4096, {}}, ERROR_SEM_TIMEOUT, 0, 0, {}},
        {"no connect", {0, 0, 0x00, 0x01, 0, {}, 4096, {}}, ERROR_IO_DEVICE, 0, 0, {}},
        {"adapter error", {0, 0, 0x02, 0x07, 0x08, short_record_sense, 0, {}}, ERROR_IO_DEVICE, 0, 0, {}},
        {"bus reset", {0, 0, 0x00, 0x08, 0, {}, 0, {}}, ERROR_IO_DEVICE, 0, 0, {}},
        {"driver hard error", {0, 0, 0x00, 0, 0x07, {}, 0, {}}, ERROR_IO_DEVICE, 0, 0, {}},
        {"ioctl EPERM", {-1, EPERM, 0, 0, 0, {}, 0, {}}, ERROR_ACCESS_DENIED, 0, 0, {}},
        {"ioctl EINVAL", {-1, EINVAL, 0, 0, 0, {}, 0, {}}, ERROR_INVALID_PARAMETER, 0, 0, {}},
        {"ioctl ENOMEM", {-1, ENOMEM, 0, 0, 0, {}, 0, {}}, ERROR_NOT_ENOUGH_MEMORY, 0, 0, {}},
        {"ioctl ENOTTY", {-1, ENOTTY, 0, 0, 0, {}, 0, {}}, ERROR_INVALID_FUNCTION, 0, 0, {}},
        {"ioctl ENODEV", {-1, ENODEV, 0, 0, 0, {}, 0, {}}, ERROR_DEVICE_NOT_CONNECTED, 0, 0, {}},
        {"ioctl EINTR", {-1, EINTR, 0, 0, 0, {}, 0, {}}, ERROR_IO_DEVICE, 0, 0, {}},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.name);
        answer = c.answer;
        posix::scsi_reply_t reply = run(SCSI_IOCTL_DATA_IN, 4096);
        EXPECT_EQ(reply.error, c.error);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.data_transferred, c.transferred);
        EXPECT_EQ(reply.sense_length, c.sense.size());
        EXPECT_EQ(std::vector<uint8_t>(sense.begin(), sense.begin() + static_cast<long>(c.sense.size())), c.sense);
    }
    EXPECT_EQ(requests.size(), std::size(cases));
}

TEST_F(sg_io_test, the_request_carries_the_command_and_the_callers_buffers) {
    struct case_t {
        uint8_t direction;
        uint32_t length;
        uint32_t timeout_seconds;
        int sg_direction;
        unsigned timeout_ms;
    };
    const case_t cases[] = {
        {SCSI_IOCTL_DATA_IN, 65024, 86400, SG_DXFER_FROM_DEV, 86400000},
        {SCSI_IOCTL_DATA_OUT, 80, 60, SG_DXFER_TO_DEV, 60000},
        {SCSI_IOCTL_DATA_OUT, 0, 60, SG_DXFER_NONE, 60000},        // no data phase
        {SCSI_IOCTL_DATA_UNSPECIFIED, 0, 1, SG_DXFER_NONE, 1000},
        {SCSI_IOCTL_DATA_IN, 0, 0, SG_DXFER_NONE, 60000},          // 0 seconds: the one-minute default
        {SCSI_IOCTL_DATA_IN, 16, 0xFFFFFFFF, SG_DXFER_FROM_DEV, 4294967000u},  // longest the field holds
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.length);
        requests.clear();
        request_cdbs.clear();
        answer.data_in.assign(c.length, 0x5A);
        posix::scsi_reply_t reply = run(c.direction, c.length, c.timeout_seconds);
        ASSERT_EQ(reply.error, NO_ERROR);
        ASSERT_EQ(requests.size(), 1u);
        const sg_io_hdr_t& header = requests[0];
        EXPECT_EQ(header.interface_id, 'S');
        EXPECT_EQ(header.dxfer_direction, c.sg_direction);
        EXPECT_EQ(header.dxfer_len, c.length);
        EXPECT_EQ(header.dxferp, c.length > 0 ? static_cast<void*>(data.data()) : nullptr);
        EXPECT_EQ(header.sbp, sense.data());
        EXPECT_EQ(header.mx_sb_len, 64);
        EXPECT_EQ(header.timeout, c.timeout_ms);
        EXPECT_EQ(request_cdbs[0], std::vector<uint8_t>(cdb, cdb + 6));
        if (c.direction == SCSI_IOCTL_DATA_IN) {
            EXPECT_EQ(data, std::vector<uint8_t>(c.length, 0x5A));
        }
    }
}

TEST_F(sg_io_test, malformed_commands_are_refused_before_the_kernel) {
    uint8_t long_cdb[17] = {};
    struct case_t {
        const char* name;
        const uint8_t* cdb;
        uint8_t cdb_length;
        uint8_t direction;
        bool with_buffer;
        uint32_t length;
    };
    const case_t cases[] = {
        {"no CDB", nullptr, 6, SCSI_IOCTL_DATA_IN, true, 16},
        {"empty CDB", long_cdb, 0, SCSI_IOCTL_DATA_IN, true, 16},
        {"CDB over 16 bytes", long_cdb, 17, SCSI_IOCTL_DATA_IN, true, 16},
        {"data without a buffer", long_cdb, 6, SCSI_IOCTL_DATA_IN, false, 16},
        {"data without a direction", long_cdb, 6, SCSI_IOCTL_DATA_UNSPECIFIED, true, 16},
    };
    uint8_t buffer[16] = {};
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.name);
        posix::scsi_command_t bad;
        bad.cdb = c.cdb;
        bad.cdb_length = c.cdb_length;
        bad.direction = c.direction;
        bad.data = c.with_buffer ? buffer : nullptr;
        bad.data_length = c.length;
        EXPECT_EQ(device->execute(bad).error, ERROR_INVALID_PARAMETER);
    }
    EXPECT_TRUE(requests.empty());
}

TEST_F(sg_io_test, sense_goes_no_further_than_the_callers_area) {
    std::vector<uint8_t> small(8, 0xCC);
    answer = {0, 0, 0x02, 0, 0x08, short_record_sense, 0, {}};
    run(SCSI_IOCTL_DATA_IN, 16);
    command.sense = small.data();
    command.sense_capacity = 4;
    posix::scsi_reply_t reply = device->execute(command);
    EXPECT_EQ(requests.back().mx_sb_len, 4);
    EXPECT_EQ(reply.sense_length, 4u);
    EXPECT_EQ(small, (std::vector<uint8_t>{0xF0, 0x00, 0x20, 0x00, 0xCC, 0xCC, 0xCC, 0xCC}));

    command.sense = nullptr;
    command.sense_capacity = 64;
    reply = device->execute(command);
    EXPECT_EQ(requests.back().mx_sb_len, 0);
    EXPECT_EQ(reply.sense_length, 0u);
    EXPECT_EQ(reply.status, 0x02);
}

TEST(sg_io_open, nodes_that_cannot_be_opened_give_windows_codes) {
    struct case_t {
        const char* path;
        DWORD error;
    };
    const case_t cases[] = {
        {"/dev/brx-no-such-node", ERROR_FILE_NOT_FOUND},
        {"/dev/null/below-a-file", ERROR_PATH_NOT_FOUND},
        {"/dev", ERROR_ACCESS_DENIED},
    };
    for (const case_t& c : cases) {
        std::unique_ptr<posix::scsi_device_t> device;
        EXPECT_EQ(posix::open_kernel_device(c.path, device), c.error) << c.path;
        EXPECT_FALSE(device) << c.path;
    }
}

}  // namespace
