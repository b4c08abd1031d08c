// The SSC commands behind the tape API, one thin function each, and how their outcome reads as a
// Windows code: what a tape class driver does between the API and the drive.
#pragma once

#include <cstdint>

#include "platform/posix/handle_object.h"

namespace posix::tape {

constexpr uint8_t key_no_sense = 0x00;
constexpr uint8_t key_recovered_error = 0x01;
constexpr uint8_t key_not_ready = 0x02;
constexpr uint8_t key_medium_error = 0x03;
constexpr uint8_t key_hardware_error = 0x04;
constexpr uint8_t key_illegal_request = 0x05;
constexpr uint8_t key_unit_attention = 0x06;
constexpr uint8_t key_data_protect = 0x07;
constexpr uint8_t key_blank_check = 0x08;
constexpr uint8_t key_volume_overflow = 0x0D;

constexpr uint8_t space_blocks = 0;
constexpr uint8_t space_filemarks = 1;
// SPACE carries a 24-bit two's-complement count.
constexpr int32_t space_count_max = 0x7FFFFF;
constexpr int32_t space_count_min = -0x800000;
// READ(6) and WRITE(6) carry a 24-bit length.
constexpr uint32_t transfer_length_max = 0xFFFFFF;

struct reply_t {
    DWORD error = NO_ERROR;  // the command never completed; the call fails with this code
    uint8_t status = 0;
    uint8_t sense[64] = {};

    bool good() const { return error == NO_ERROR && status == 0; }
    // CHECK CONDITION with fixed-format sense, the only form whose bits are read.
    bool sensed() const { return error == NO_ERROR && status == 2 && (sense[0] & 0x7E) == 0x70; }
    uint8_t key() const { return sense[2] & 0x0F; }
    bool filemark() const { return (sense[2] & 0x80) != 0; }
    bool eom() const { return (sense[2] & 0x40) != 0; }
    bool ili() const { return (sense[2] & 0x20) != 0; }
    bool valid() const { return (sense[0] & 0x80) != 0; }
    // Requested minus actual; negative for a record longer than asked.
    int32_t information() const;
    uint8_t asc() const { return sense[12]; }
};

enum class motion_t { none, forward, backward };

// The Windows code for an outcome; EOM means the end of the medium moving forward and its
// beginning moving backward. NO SENSE and RECOVERED ERROR without a condition are NO_ERROR.
DWORD code_of(const reply_t& reply, motion_t motion);

reply_t read6(handle_object_t& drive, uint8_t* data, uint32_t length);
reply_t write6(handle_object_t& drive, const uint8_t* data, uint32_t length);
reply_t write_filemarks6(handle_object_t& drive, uint32_t count);
reply_t space6(handle_object_t& drive, uint8_t code, int32_t count);
reply_t rewind(handle_object_t& drive);
reply_t load_unload(handle_object_t& drive, bool load);
reply_t erase6(handle_object_t& drive, bool long_erase);
// Short form: 20 bytes, the first logical block at bytes 4 to 7.
reply_t read_position(handle_object_t& drive, uint8_t (&data)[20]);
reply_t read_block_limits(handle_object_t& drive, uint8_t (&data)[6]);
// disable_descriptors sets DBD; page 0 asks for the header and block descriptor only.
reply_t mode_sense6(handle_object_t& drive, uint8_t page, bool disable_descriptors, uint8_t* data,
                    uint8_t length);
// page_format sets PF, needed whenever the list carries a mode page.
reply_t mode_select6(handle_object_t& drive, bool page_format, uint8_t* data, uint8_t length);

}  // namespace posix::tape
