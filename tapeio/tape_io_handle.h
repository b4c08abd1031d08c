// Everything one device needs between driver calls; the drivers themselves hold no state.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "tapeio/image_file.h"

// What an image driver's read passed over before the block it returned: gaps, and records and
// markers that hold no tape data.
struct passed_over_t {
    uint32_t gaps = 0;
    uint32_t private_items = 0;  // private records and markers
    uint32_t reserved = 0;       // records of the reserved classes
    uint32_t descriptions = 0;   // tape description records
};

class tape_io_handle_t {
public:
    tape_io_handle_t() = default;
    // Does not close os_handle: whoever opened the device closes it.
    virtual ~tape_io_handle_t() = default;

    // Takes a freshly opened device; the SCSI address goes back to "unset" (-1).
    HANDLE attach(HANDLE handle);
    HANDLE get_os_handle() const { return os_handle; }
    void clear_error() { last_error = 0; }

    int32_t path_id = -1;
    int32_t target_id = -1;
    int32_t lun = -1;
    uint32_t last_error = 0;
    HANDLE os_handle = INVALID_HANDLE_VALUE;
    int32_t user_flag = 0;
    int32_t block_count = 0;
    uint64_t prev_offset = 0;
    uint64_t position = 0;
    uint64_t limit = 0;
    // The most a SCSI read_forward uses of its buffer; raised only for a larger transfer buffer.
    uint32_t largest_buffer = 65536;
    // Image drivers: a read sets it when the record is marked bad (its data, if any, is what could
    // be read); write_record marks the record bad when it is set, where the format can.
    bool bad_record = false;
    passed_over_t passed_over;  // image drivers: set by every read
    // Image drivers: the file read and written through a buffer (the container-file driver uses
    // it only when image_buffer gave it one); attach starts it afresh.
    image_file_t image;
    // How write_record compresses where the format can (HET): 0 not, 1 zlib, 2 bzip2; and how hard (1-9).
    uint8_t compression = 1;
    int compression_level = 4;
};
