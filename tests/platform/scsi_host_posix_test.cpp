// The adapter device: each command reaches the sg node sysfs names for its address, in a fake tree.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/posix/scsi_host_posix.h"
#include "platform/posix/sg_io_posix.h"
#include "platform/posix/transports.h"
#include "tests/platform/temp_dir_posix.h"

namespace {

std::vector<std::string> reached;  // the node each command was sent to

int recording_sg_io(int fd, sg_io_hdr_t*) {
    char path[PATH_MAX];
    std::string link = "/proc/self/fd/" + std::to_string(fd);
    ssize_t length = readlink(link.c_str(), path, sizeof path - 1);
    std::string node = length < 0 ? std::string("?") : std::string(path, static_cast<size_t>(length));
    reached.push_back(node.substr(node.rfind('/') + 1));
    return 0;
}

// sysfs as Linux lays it out: class/scsi_generic/sgN/device links to the device folder H:C:T:L.
class scsi_host_test : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ioctl = posix::sg_io_ioctl;
        saved_sys = posix::scsi_sysfs_root;
        saved_dev = posix::scsi_dev_root;
        posix::sg_io_ioctl = recording_sg_io;
        posix::scsi_sysfs_root = root.file("sys");
        posix::scsi_dev_root = root.file("dev");
        reached.clear();
        for (const char* folder : {"sys", "sys/class", "sys/class/scsi_host", "sys/class/scsi_host/host2",
                                   "sys/class/scsi_host/host3", "sys/class/scsi_generic", "sys/devices", "dev"})
            mkdir(root.file(folder).c_str(), 0755);
        for (const auto& [sg, address] : {std::pair{"sg0", "2:0:4:0"}, {"sg1", "2:0:5:1"}, {"sg2", "3:0:4:0"},
                                          {"sg3", "2:1:4:0"}, {"sg12", "2:0:12:0"}})
            add_node(sg, address);
        add_node("sg4", "2:0:6:0", false);  // known to sysfs, but no node in /dev
    }
    void TearDown() override {
        posix::sg_io_ioctl = saved_ioctl;
        posix::scsi_sysfs_root = saved_sys;
        posix::scsi_dev_root = saved_dev;
    }

    void add_node(const std::string& sg, const std::string& address, bool with_node = true) {
        mkdir(root.file("sys/devices/" + address).c_str(), 0755);
        mkdir(root.file("sys/class/scsi_generic/" + sg).c_str(), 0755);
        symlink(("../../../devices/" + address).c_str(), root.file("sys/class/scsi_generic/" + sg + "/device").c_str());
        if (with_node) root.write("dev/" + sg, "");
    }

    static DWORD send(posix::scsi_device_t& adapter, uint8_t path_id, uint8_t target_id, uint8_t lun) {
        uint8_t cdb[6] = {};  // TEST UNIT READY
        posix::scsi_command_t command;
        command.cdb = cdb, command.cdb_length = 6;
        command.path_id = path_id, command.target_id = target_id, command.lun = lun;
        return adapter.execute(command).error;
    }

    temp_dir_t root;
    int (*saved_ioctl)(int, sg_io_hdr_t*) = nullptr;
    std::string saved_sys, saved_dev;
};

TEST_F(scsi_host_test, each_address_reaches_its_own_node) {
    const struct {
        int host;
        uint8_t path_id, target_id, lun;
        DWORD error;
        const char* node;  // nullptr: nothing was sent
    } cases[] = {
        {2, 0, 4, 0, NO_ERROR, "sg0"},
        {2, 0, 5, 1, NO_ERROR, "sg1"},
        {2, 1, 4, 0, NO_ERROR, "sg3"},   // the channel is the path id
        {2, 0, 12, 0, NO_ERROR, "sg12"},
        {3, 0, 4, 0, NO_ERROR, "sg2"},   // the same address behind the other adapter
        {2, 0, 4, 0, NO_ERROR, "sg0"},   // again: the node opened before
        {2, 0, 4, 1, ERROR_DEVICE_NOT_CONNECTED, nullptr},
        {2, 0, 1, 0, ERROR_DEVICE_NOT_CONNECTED, nullptr},   // no prefix matching: 1 is not 12
        {3, 0, 5, 1, ERROR_DEVICE_NOT_CONNECTED, nullptr},
        {2, 0, 6, 0, ERROR_FILE_NOT_FOUND, nullptr},
    };
    std::unique_ptr<posix::scsi_device_t> adapters[4];
    ASSERT_EQ(posix::open_scsi_host(2, adapters[2]), NO_ERROR);
    ASSERT_EQ(posix::open_scsi_host(3, adapters[3]), NO_ERROR);
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        reached.clear();
        EXPECT_EQ(send(*adapters[c.host], c.path_id, c.target_id, c.lun), c.error);
        EXPECT_EQ(reached, c.node == nullptr ? std::vector<std::string>{} : std::vector<std::string>{c.node});
    }
    for (int host : {0, 7, -1}) {  // only existing adapters open
        std::unique_ptr<posix::scsi_device_t> adapter;
        EXPECT_EQ(posix::open_scsi_host(host, adapter), ERROR_FILE_NOT_FOUND) << host;
        EXPECT_FALSE(adapter) << host;
    }
}

}  // namespace
