// The scripted SCSI device and its "script:" scheme.
#include "tests/support/scripted_device_posix.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/posix/device_namespace.h"

namespace {

scripted_command_t record_of(const posix::scsi_command_t& c)
{
    const bool out = c.direction == SCSI_IOCTL_DATA_OUT && c.data != nullptr;
    return {{c.cdb, c.cdb + c.cdb_length}, c.direction, c.data_length,
            out ? std::vector<uint8_t>(c.data, c.data + c.data_length) : std::vector<uint8_t>(), c.timeout_seconds,
            c.path_id, c.target_id, c.lun};
}

uint32_t copy_bytes(const std::vector<uint8_t>& from, uint8_t* to, uint32_t capacity)
{
    uint32_t count = std::min<uint32_t>(static_cast<uint32_t>(from.size()), capacity);
    if (count != 0 && to != nullptr) std::memcpy(to, from.data(), count);
    return to == nullptr ? 0 : count;
}

struct scripted_registry_t { std::mutex lock; std::map<std::string, std::shared_ptr<scripted_device_t>> devices; };

scripted_registry_t& registry()
{
    static scripted_registry_t devices;
    return devices;
}

// A handle's own device that forwards to the shared scripted one, which outlives the handle.
class scripted_handle_device_t : public posix::scsi_device_t {
public:
    explicit scripted_handle_device_t(std::shared_ptr<scripted_device_t> target) : target(std::move(target)) {}
    posix::scsi_reply_t execute(const posix::scsi_command_t& command) override { return target->execute(command); }

private:
    std::shared_ptr<scripted_device_t> target;
};

DWORD open_scripted(const char* device_string, std::unique_ptr<posix::scsi_device_t>& device)
{
    scripted_registry_t& devices = registry();
    std::lock_guard<std::mutex> guard(devices.lock);
    auto found = devices.devices.find(device_string + std::strlen("script:"));
    if (found == devices.devices.end()) return ERROR_FILE_NOT_FOUND;
    device = std::make_unique<scripted_handle_device_t>(found->second);
    return NO_ERROR;
}

}  // namespace

posix::scsi_reply_t scripted_device_t::execute(const posix::scsi_command_t& command)
{
    commands.push_back(record_of(command));
    scripted_reply_t next;
    if (!replies.empty()) {
        next = std::move(replies.front());
        replies.pop_front();
    }
    posix::scsi_reply_t reply;
    reply.error = next.error;
    if (next.error != NO_ERROR) return reply;
    reply.status = next.status;
    reply.sense_length = copy_bytes(next.sense, command.sense, command.sense_capacity);
    if (command.direction == SCSI_IOCTL_DATA_OUT)
        reply.data_transferred = command.data_length;
    else
        reply.data_transferred = copy_bytes(next.data_in, command.data, command.data_length);
    return reply;
}

void register_scripted_device(const std::string& name, std::shared_ptr<scripted_device_t> device)
{
    posix::register_device_scheme("script:", open_scripted);
    scripted_registry_t& devices = registry();
    std::lock_guard<std::mutex> guard(devices.lock);
    devices.devices[name] = std::move(device);
}
