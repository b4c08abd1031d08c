#include <cstring>

#include "vtape/vtape.h"
#include "vtape/vtape_device.h"

namespace {

// One drive: the adapter address (path, target, LUN) and the time-out are not looked at.
class vtape_device_t : public posix::scsi_device_t {
public:
    explicit vtape_device_t(std::unique_ptr<vtape_t> tape) : tape_(std::move(tape)) {}

    posix::scsi_reply_t execute(const posix::scsi_command_t& command) override
    {
        const vtape_reply_t reply = tape_->execute(command.cdb, command.cdb_length, command.direction, command.data,
                                                   command.data_length, command.sense, command.sense_capacity);
        posix::scsi_reply_t out;
        out.error = reply.error;
        out.status = reply.status;
        out.sense_length = reply.sense_length;
        out.data_transferred = reply.data_transferred;
        return out;
    }

    uint32_t max_transfer_length() override { return tape_->max_transfer(); }

    bool file_information(BY_HANDLE_FILE_INFORMATION& information) override
    {
        return GetFileInformationByHandle(tape_->medium(), &information) != FALSE;
    }

private:
    std::unique_ptr<vtape_t> tape_;
};

}  // namespace

DWORD vtape_open_device(const char* device_string, std::unique_ptr<posix::scsi_device_t>& device)
{
    const size_t prefix = sizeof vtape_scheme - 1;
    if (!device_string || std::strncmp(device_string, vtape_scheme, prefix) != 0)
        return ERROR_INVALID_PARAMETER;
    std::unique_ptr<vtape_t> tape;
    const DWORD error = vtape_t::open(device_string + prefix, tape);
    if (error != NO_ERROR)
        return error;
    device = std::make_unique<vtape_device_t>(std::move(tape));
    return NO_ERROR;
}
