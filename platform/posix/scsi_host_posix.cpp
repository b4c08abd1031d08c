// A SCSI adapter as one device: each command goes to the sg node of the drive it addresses, found
// by the sysfs link sgN/device -> .../H:C:T:L (channel = path id).
#include "platform/posix/scsi_host_posix.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <fstream>
#include <map>
#include <vector>

#include "platform/posix/transports.h"

namespace posix {

std::string scsi_sysfs_root = "/sys";
std::string scsi_dev_root = "/dev";

namespace {

std::string link_name(const std::string& link) {
    char target[PATH_MAX];
    ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length < 0) return {};
    std::string text(target, static_cast<size_t>(length));
    size_t slash = text.rfind('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

// The sgN whose device is address ("H:C:T:L"), or "" when no drive answers to it.
std::string find_sg_node(const std::string& address) {
    std::string folder = scsi_sysfs_root + "/class/scsi_generic";
    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr) return {};
    std::string found;
    while (dirent* entry = readdir(directory)) {
        std::string name = entry->d_name;
        if (name.rfind("sg", 0) == 0 && link_name(folder + "/" + name + "/device") == address) {
            found = name;
            break;
        }
    }
    closedir(directory);
    return found;
}

constexpr int medium_changer_type = 8;

// The sgN nodes whose device type is a medium changer, in the order of N.
std::vector<int> changer_nodes() {
    std::string folder = scsi_sysfs_root + "/class/scsi_generic";
    std::vector<int> found;
    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr) return found;
    while (dirent* entry = readdir(directory)) {
        int number = -1, type = -1;
        if (sscanf(entry->d_name, "sg%d", &number) != 1) continue;
        std::ifstream file(folder + "/" + entry->d_name + "/device/type");
        if (file >> type && type == medium_changer_type) found.push_back(number);
    }
    closedir(directory);
    std::sort(found.begin(), found.end());
    return found;
}

class scsi_host_device_t : public scsi_device_t {
public:
    explicit scsi_host_device_t(int host) : host(host) {}

    scsi_reply_t execute(const scsi_command_t& command) override {
        scsi_reply_t reply;
        scsi_device_t* drive = nullptr;
        reply.error = drive_for(command, drive);
        return reply.error != NO_ERROR ? reply : drive->execute(command);
    }

    // The adapter's limit is its drives' limit: the smallest of the nodes reached so far.
    uint32_t max_transfer_length() override {
        uint32_t limit = UINT32_MAX;
        for (auto& drive : drives) limit = std::min(limit, drive.second->max_transfer_length());
        return limit;
    }

private:
    // Nodes are opened on first use and kept, as the adapter's handle is kept.
    DWORD drive_for(const scsi_command_t& command, scsi_device_t*& drive) {
        char address[48];
        snprintf(address, sizeof address, "%d:%u:%u:%u", host, command.path_id, command.target_id, command.lun);
        auto known = drives.find(address);
        if (known == drives.end()) {
            std::string node = find_sg_node(address);
            if (node.empty()) return ERROR_DEVICE_NOT_CONNECTED;
            std::unique_ptr<scsi_device_t> opened;
            DWORD error = open_kernel_device((scsi_dev_root + "/" + node).c_str(), opened);
            if (error != NO_ERROR) return error;
            known = drives.emplace(address, std::move(opened)).first;
        }
        drive = known->second.get();
        return NO_ERROR;
    }

    int host;
    std::map<std::string, std::unique_ptr<scsi_device_t>> drives;
};

}  // namespace

DWORD open_scsi_host(int host, std::unique_ptr<scsi_device_t>& device) {
    struct stat info;
    std::string adapter = scsi_sysfs_root + "/class/scsi_host/host" + std::to_string(host);
    if (host < 0 || stat(adapter.c_str(), &info) != 0) return ERROR_FILE_NOT_FOUND;
    device = std::make_unique<scsi_host_device_t>(host);
    return NO_ERROR;
}

}  // namespace posix

namespace posix {

DWORD open_changer_node(int index, std::unique_ptr<scsi_device_t>& device) {
    std::vector<int> nodes = changer_nodes();
    if (index < 0 || static_cast<size_t>(index) >= nodes.size()) return ERROR_FILE_NOT_FOUND;
    return open_kernel_device((scsi_dev_root + "/sg" + std::to_string(nodes[static_cast<size_t>(index)])).c_str(), device);
}

}  // namespace posix
