#include "copy/restore.h"

#include <cstdlib>

#include "copy/block_limit.h"
#include "copy/copy_context.h"
#include "copy/device_name.h"
#include "copy/dump_restore_output.h"
#include "copy/restore_records.h"
#include "copy/restore_setup.h"

// "/block=": held against the transport and the maximum the set-up's READ BLOCK LIMITS left in the
// buffer, before the first record is written.
static bool longest_record_fits_target(const restore_target_t& target)
{
    if (copy_context.longest_record == 0)
        return true;
    const uint8_t* limits = copy_context.buffer;
    const uint32_t drive_maximum = (uint32_t{limits[1]} << 16) | (uint32_t{limits[2]} << 8) | limits[3];
    return longest_record_fits(target.device, target.path, drive_maximum != 0 ? drive_maximum : no_transfer_limit);
}

int restore_tape(char* file_name, char* device_name)
{
    // Opened before the device name is looked at, so a missing file is reported first.
    FILE* file = fopen(file_name, "rb");
    if (file == nullptr) {
        print_last_error("Failed to open dump file: %s\n");
        exit(1);
    }
    device_name_t name;
    restore_target_t target;
    target.device = open_device_name(device_name, device_caller_t::restore, name);
    if (target.device == INVALID_HANDLE_VALUE) {
        fclose(file);
        return 1;
    }
    target.path = name.path;
    target.path_id = static_cast<uint8_t>(name.bus);
    target.target_id = static_cast<uint8_t>(name.target);
    int result = 1;
    if (prepare_restore_drive(target) && longest_record_fits_target(target))
        result = copy_restore_records(target, file, file_name);  // tape left behind the last block written
    CloseHandle(target.device);
    fclose(file);
    return result;
}
