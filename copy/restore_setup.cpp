#include "copy/restore_setup.h"

#include "copy/copy_context.h"
#include "copy/dump_restore_output.h"

namespace {

struct setup_step_t {
    restore_command_t command;
    const char* failure_format;  // the request itself could not be made
};

const setup_step_t rewind_step = {{{0x01, 0, 0, 0, 0, 0}, SCSI_IOCTL_DATA_UNSPECIFIED, 0},
                                  "Failed to rewind tape: %s\n"};
// Only the 4-byte mode parameter header, current values.
const setup_step_t mode_sense_step = {{{0x1A, 0, 0, 0, 4, 0}, SCSI_IOCTL_DATA_IN, 4},
                                      "Failed to mode sense the tape: %s\n"};
const setup_step_t mode_select_step = {{{0x15, 0, 0, 0, 4, 0}, SCSI_IOCTL_DATA_OUT, 4},
                                       "Failed to mode select the tape: %s\n"};
const setup_step_t block_limits_step = {{{0x05, 0, 0, 0, 0, 0}, SCSI_IOCTL_DATA_IN, transfer_buffer_size},
                                        "Failed to read block limits tape: %s\n"};

void report_fatal_sense(const restore_target_t& target, const restore_request_t& request)
{
    const uint8_t* sense = request.sense();
    print_to_console_and_log("%s: fatal error (%02X...%02X...%02X %02X)\n", target.path, sense[0], sense[2],
                              sense[12], sense[13]);
}

// Sends the step's command until the drive stops answering UNIT ATTENTION.
bool run_step(const restore_target_t& target, const setup_step_t& step)
{
    restore_request_t request;
    for (int tries = 1;; ++tries) {
        if (!send_restore_command(target, step.command, copy_context.buffer, request)) {
            print_last_error(step.failure_format);
            return false;
        }
        if (!has_sense(request))
            return true;
        const uint8_t key = sense_key_of(request);
        if (key == sense_key::unit_attention && tries < restore_setup_tries)
            continue;
        if (key == sense_key::no_sense || key == sense_key::recovered_error)
            return true;
        if (key == sense_key::not_ready)
            print_to_console_and_log("%s: device not ready\n", target.path);
        else
            report_fatal_sense(target, request);
        return false;
    }
}

// The sensed header goes back with buffered mode 1; write protection and speed stay as sensed,
// and without a block descriptor the block length and density stay as the drive has them.
void edit_mode_header(uint8_t* header)
{
    header[0] = 0;
    header[1] = 0;
    header[2] = static_cast<uint8_t>((header[2] & 0x8F) | 0x10);
    header[3] = 0;
}

// Variable-length records of any size from one byte up need a minimum block length of 1.
bool minimum_block_length_is_one(const uint8_t* limits) { return limits[4] == 0 && limits[5] == 1; }

}  // namespace

bool prepare_restore_drive(const restore_target_t& target)
{
    // Each step leaves the tape at its beginning.
    if (!run_step(target, rewind_step) || !run_step(target, mode_sense_step))
        return false;
    edit_mode_header(copy_context.buffer);
    if (!run_step(target, mode_select_step) || !run_step(target, block_limits_step))
        return false;
    if (!minimum_block_length_is_one(copy_context.buffer)) {
        print_to_console_and_log("%s: block length error\n", target.path);
        return false;
    }
    return true;
}
