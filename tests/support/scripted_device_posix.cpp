// The scripted SCSI device and its "script:" scheme.
#include "tests/support/scripted_device_posix.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/posix/device_namespace.h"

namespace {

// What fits of from into to; nothing without a buffer.
uint32_t copy_bytes(const std::vector<uint8_t>& from, uint8_t* to, uint32_t capacity)
{
    const uint32_t count = to == nullptr ? 0 : std::min<uint32_t>(static_cast<uint32_t>(from.size()), capacity);
    if (count != 0) std::memcpy(to, from.data(), count);
    return count;
}

struct scripted_registry_t { std::mutex lock; std::map<std::string, std::shared_ptr<scripted_device_t>> devices; };

scripted_registry_t& registry()
{
    static scripted_registry_t devices;
    return devices;
}

// A handle's own device that forwards to the shared scripted one, which outlives the handle.
struct scripted_handle_device_t : posix::scsi_device_t {
    explicit scripted_handle_device_t(std::shared_ptr<scripted_device_t> target) : target(std::move(target)) {}
    posix::scsi_reply_t execute(const posix::scsi_command_t& command) override { return target->execute(command); }
    std::shared_ptr<scripted_device_t> target;
};

DWORD open_scripted(const char* device_string, std::unique_ptr<posix::scsi_device_t>& device)
{
    std::lock_guard<std::mutex> guard(registry().lock);
    auto found = registry().devices.find(device_string + std::strlen("script:"));
    if (found == registry().devices.end()) return ERROR_FILE_NOT_FOUND;
    device = std::make_unique<scripted_handle_device_t>(found->second);
    return NO_ERROR;
}

}  // namespace

posix::scsi_reply_t scripted_device_t::execute(const posix::scsi_command_t& c)
{
    const bool out = c.direction == SCSI_IOCTL_DATA_OUT;
    commands.push_back({{c.cdb, c.cdb + c.cdb_length}, c.direction, c.data_length,
                        out && c.data ? std::vector<uint8_t>(c.data, c.data + c.data_length) : std::vector<uint8_t>(),
                        c.timeout_seconds, c.path_id, c.target_id, c.lun});
    scripted_reply_t next;
    if (!replies.empty()) {
        next = std::move(replies.front());
        replies.pop_front();
    }
    posix::scsi_reply_t reply;
    reply.error = next.error;
    if (next.error != NO_ERROR) return reply;
    reply.status = next.status;
    reply.sense_length = copy_bytes(next.sense, c.sense, c.sense_capacity);
    reply.data_transferred = out ? c.data_length : copy_bytes(next.data_in, c.data, c.data_length);
    return reply;
}

void register_scripted_device(const std::string& name, std::shared_ptr<scripted_device_t> device)
{
    posix::register_device_scheme("script:", open_scripted);
    std::lock_guard<std::mutex> guard(registry().lock);
    registry().devices[name] = std::move(device);
}
