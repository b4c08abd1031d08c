// A SCSI device whose answers a test scripts: exact status and sense bytes, failed calls, missing sense.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/scsi_device.h"

struct scripted_reply_t {
    DWORD error = NO_ERROR;         // not NO_ERROR: the DeviceIoControl call fails with this code
    uint8_t status = 0;             // SCSI status byte
    std::vector<uint8_t> sense;     // delivered after the status (any status)
    std::vector<uint8_t> data_in;   // copied into the caller's data buffer (at most data_length bytes)
};

struct scripted_command_t {
    std::vector<uint8_t> cdb;
    uint8_t direction = 0;
    uint32_t data_length = 0;
    std::vector<uint8_t> data_out;  // the bytes sent, for data-out commands
    uint32_t timeout_seconds = 0;
    uint8_t path_id = 0, target_id = 0, lun = 0;
};

class scripted_device_t : public posix::scsi_device_t {
public:
    // Replies are used in order; when none is left, every command answers GOOD with no data.
    void push(scripted_reply_t reply) { replies.push_back(std::move(reply)); }
    posix::scsi_reply_t execute(const posix::scsi_command_t& command) override;

    std::deque<scripted_reply_t> replies;
    std::vector<scripted_command_t> commands;  // every command received, in order
};

// CreateFileA("script:NAME") opens the device registered under NAME (the device outlives handles).
void register_scripted_device(const std::string& name, std::shared_ptr<scripted_device_t> device);
