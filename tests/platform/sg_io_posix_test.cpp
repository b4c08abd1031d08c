// The SG_IO transport with the kernel played by a script: how a command becomes an sg_io_hdr_t, how
// the kernel's answer in its three layers becomes the reply, and which sg node sysfs routes it to.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/posix/scsi_host_posix.h"
#include "platform/posix/sg_io_posix.h"
#include "platform/posix/transports.h"
#include "tests/support/e2e.h"

namespace {

using bytes_t = std::vector<uint8_t>;

struct kernel_answer_t { int error_number; uint8_t status; uint16_t host_status, driver_status; bytes_t sense; int resid; };

kernel_answer_t answer;
std::vector<sg_io_hdr_t> requests;
bytes_t last_cdb;  // copied while the transport's CDB still lives
std::vector<std::string> reached;  // the node each request was sent to

int scripted_sg_io(int fd, sg_io_hdr_t* header)
{
    char path[PATH_MAX];
    const ssize_t length = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
    const std::string node = length < 0 ? std::string("?") : std::string(path, size_t(length));
    reached.push_back(node.substr(node.rfind('/') + 1));
    requests.push_back(*header), last_cdb.assign(header->cmdp, header->cmdp + header->cmd_len);
    if (answer.error_number != 0) return errno = answer.error_number, -1;
    header->status = answer.status, header->host_status = answer.host_status;
    header->driver_status = answer.driver_status, header->resid = answer.resid;
    header->sb_len_wr = static_cast<uint8_t>(std::min<size_t>(answer.sense.size(), header->mx_sb_len));
    std::copy_n(answer.sense.begin(), header->sb_len_wr, header->sbp);
    std::fill_n(static_cast<uint8_t*>(header->dxferp), header->dxfer_len, 0x5A);
    return 0;
}

class sg_io_test : public testing::Test {
protected:
    void SetUp() override
    {
        posix::sg_io_ioctl = scripted_sg_io;
        answer = {}, requests.clear(), reached.clear();
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

    int (*saved)(int, sg_io_hdr_t*) = posix::sg_io_ioctl;
    std::unique_ptr<posix::scsi_device_t> device;
    uint8_t cdb[6] = {0x08, 0x00, 0x00, 0xFE, 0x00, 0x00};  // READ(6), 65,024 bytes
    posix::scsi_command_t command;
    bytes_t data, sense;
};

// NO SENSE, ILI, INFORMATION 80: a record 80 bytes shorter than requested.
const bytes_t short_record = {0xF0, 0, 0x20, 0, 0, 0, 0x50, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

TEST_F(sg_io_test, outcomes_in_every_layer_become_the_reply)
{
    const struct { const char* name; kernel_answer_t answer; DWORD error; uint8_t status; uint32_t transferred;
                   bytes_t sense; } cases[] = {
        {"good", {0, 0, 0, 0, {}, 0}, NO_ERROR, 0, 4096, {}},
        {"check condition, sense", {0, 2, 0, 0x08, short_record, 80}, NO_ERROR, 2, 4016, short_record},
        {"residue beyond the request", {0, 0, 0, 0, {}, 5000}, NO_ERROR, 0, 0, {}},
        {"host time-out", {0, 0, 0x03, 0, {}, 4096}, ERROR_SEM_TIMEOUT, 0, 0, {}},
        {"driver time-out", {0, 0, 0, 0x06, {}, 4096}, ERROR_SEM_TIMEOUT, 0, 0, {}},
        {"transport failure", {0, 2, 0x07, 0x08, short_record, 0}, ERROR_IO_DEVICE, 0, 0, {}},
        {"ioctl ENODEV", {ENODEV, 0, 0, 0, {}, 0}, ERROR_DEVICE_NOT_CONNECTED, 0, 0, {}},
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

TEST_F(sg_io_test, the_request_carries_the_command_and_the_callers_buffers_or_is_refused)
{
    const struct { uint8_t direction; uint32_t length, timeout_seconds; int sg_direction; unsigned timeout_ms; } cases[] = {
        {SCSI_IOCTL_DATA_IN, 65024, 86400, SG_DXFER_FROM_DEV, 86400000},
        {SCSI_IOCTL_DATA_IN, 0, 0, SG_DXFER_NONE, 60000},  // 0 seconds: the one-minute default
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        requests.clear();
        ASSERT_EQ(run(c.direction, c.length, c.timeout_seconds).error, NO_ERROR);
        ASSERT_EQ(requests.size(), 1u);
        const sg_io_hdr_t& header = requests[0];
        EXPECT_EQ((std::vector<int64_t>{header.dxfer_direction, header.dxfer_len, header.mx_sb_len, header.timeout}),
                  (std::vector<int64_t>{c.sg_direction, c.length, 64, c.timeout_ms}));
        EXPECT_EQ(header.dxferp, c.length > 0 ? static_cast<void*>(data.data()) : nullptr);
        EXPECT_EQ(header.sbp, sense.data());
        EXPECT_EQ(last_cdb, bytes_t(cdb, cdb + 6));
        EXPECT_EQ(data, bytes_t(c.length, 0x5A));
    }
    requests.clear();  // malformed commands never reach the kernel
    uint8_t long_cdb[17] = {}, buffer[16] = {};
    const struct { uint8_t cdb_length, direction; uint8_t* data; } malformed[] = {
        {17, SCSI_IOCTL_DATA_IN, buffer}, {6, SCSI_IOCTL_DATA_IN, nullptr}, {6, SCSI_IOCTL_DATA_UNSPECIFIED, buffer}};
    for (const auto& c : malformed) {
        posix::scsi_command_t bad;
        bad.cdb = long_cdb, bad.cdb_length = c.cdb_length, bad.direction = c.direction;
        bad.data = c.data, bad.data_length = 16;
        EXPECT_EQ(device->execute(bad).error, ERROR_INVALID_PARAMETER) << &c - malformed;
    }
    EXPECT_TRUE(requests.empty());
    std::unique_ptr<posix::scsi_device_t> node;
    EXPECT_EQ(posix::open_kernel_device("/dev/brx-no-such-node", node), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(node);
}

// sysfs as Linux lays it out: class/scsi_generic/sgN/device links to the device folder H:C:T:L.
TEST_F(sg_io_test, an_adapter_sends_each_address_to_the_node_sysfs_names_for_it)
{
    scratch_directory_t root;
    const std::string saved_sys = posix::scsi_sysfs_root, saved_dev = posix::scsi_dev_root;
    posix::scsi_sysfs_root = root.file("sys"), posix::scsi_dev_root = root.file("dev");
    for (const char* folder : {"sys", "sys/class", "sys/class/scsi_host", "sys/class/scsi_host/host2",
                               "sys/class/scsi_host/host3", "sys/class/scsi_generic", "sys/devices", "dev"})
        mkdir(root.file(folder).c_str(), 0755);
    for (const auto& [sg, address] : {std::pair{"sg1", "2:0:5:1"}, {"sg2", "3:0:4:0"}, {"sg3", "2:1:4:0"},
                                      {"sg12", "2:0:12:0"}, {"sg4", "2:0:6:0"}}) {
        mkdir(root.file(std::string("sys/devices/") + address).c_str(), 0755);
        mkdir(root.file(std::string("sys/class/scsi_generic/") + sg).c_str(), 0755);
        symlink((std::string("../../../devices/") + address).c_str(),
                root.file(std::string("sys/class/scsi_generic/") + sg + "/device").c_str());
        if (std::string(sg) != "sg4") root.write(std::string("dev/") + sg, "");  // sg4: known, but no node
    }
    const struct { int host; uint8_t path_id, target_id, lun; DWORD error; const char* node; } cases[] = {
        {2, 0, 5, 1, NO_ERROR, "sg1"},
        {2, 1, 4, 0, NO_ERROR, "sg3"},  // the channel is the path id
        {3, 0, 4, 0, NO_ERROR, "sg2"},  // the same address behind the other adapter
        {2, 0, 1, 0, ERROR_DEVICE_NOT_CONNECTED, nullptr},  // no prefix matching: 1 is not 12
        {2, 0, 6, 0, ERROR_FILE_NOT_FOUND, nullptr},
    };
    std::unique_ptr<posix::scsi_device_t> adapters[4];
    EXPECT_EQ(posix::open_scsi_host(2, adapters[2]) + posix::open_scsi_host(3, adapters[3]), NO_ERROR);
    EXPECT_EQ(posix::open_scsi_host(7, adapters[0]), ERROR_FILE_NOT_FOUND);
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        reached.clear();
        const posix::scsi_command_t unit_ready{.cdb = cdb, .cdb_length = 6, .path_id = c.path_id, .target_id = c.target_id, .lun = c.lun};
        EXPECT_EQ(adapters[c.host]->execute(unit_ready).error, c.error);
        EXPECT_EQ(reached, c.node == nullptr ? std::vector<std::string>{} : std::vector<std::string>{c.node});
    }
    // \\.\ChangerN: the Nth node whose device is a medium changer (type 8), in the order of sgN.
    for (const auto& [address, type] : {std::pair{"2:0:5:1", "1\n"}, {"2:1:4:0", "8\n"}, {"2:0:12:0", "8\n"}, {"3:0:4:0", "8\n"}})
        root.write(std::string("sys/devices/") + address + "/type", type);
    for (const auto& [index, node] : {std::pair{0, "sg2"}, {1, "sg3"}, {2, "sg12"}, {3, ""}}) {
        reached.clear();
        std::unique_ptr<posix::scsi_device_t> changer;
        EXPECT_EQ(posix::open_changer_node(index, changer), *node == '\0' ? ERROR_FILE_NOT_FOUND : NO_ERROR) << index;
        if (changer) changer->execute({.cdb = cdb, .cdb_length = 6});
        EXPECT_EQ(reached, *node == '\0' ? std::vector<std::string>{} : std::vector<std::string>{node}) << index;
    }
    posix::scsi_sysfs_root = saved_sys, posix::scsi_dev_root = saved_dev;
}

}  // namespace
