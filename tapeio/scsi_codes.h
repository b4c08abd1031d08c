// SCSI operation codes, status bytes, sense keys and the fixed-format sense bits, named once for every user.
#pragma once

#include <cstdint>

// The sequential-access commands the program and the virtual drive know, and a changer's.
namespace scsi_op {
constexpr uint8_t test_unit_ready = 0x00;
constexpr uint8_t rewind = 0x01;
constexpr uint8_t request_sense = 0x03;
constexpr uint8_t read_block_limits = 0x05;
constexpr uint8_t read6 = 0x08;
constexpr uint8_t write6 = 0x0A;
constexpr uint8_t write_filemarks6 = 0x10;
constexpr uint8_t space6 = 0x11;
constexpr uint8_t inquiry = 0x12;
constexpr uint8_t mode_select6 = 0x15;
constexpr uint8_t erase6 = 0x19;
constexpr uint8_t mode_sense6 = 0x1A;
constexpr uint8_t load_unload = 0x1B;
constexpr uint8_t locate10 = 0x2B;
constexpr uint8_t read_position = 0x34;
constexpr uint8_t mode_select10 = 0x55;
constexpr uint8_t mode_sense10 = 0x5A;
// Medium changer commands.
constexpr uint8_t initialize_element_status = 0x07;
constexpr uint8_t move_medium = 0xA5;
constexpr uint8_t read_element_status = 0xB8;
}  // namespace scsi_op

namespace scsi_status {
constexpr uint8_t good = 0x00;
constexpr uint8_t check_condition = 0x02;
}  // namespace scsi_status

namespace sense_key {
constexpr uint8_t no_sense = 0x0;
constexpr uint8_t recovered_error = 0x1;
constexpr uint8_t not_ready = 0x2;
constexpr uint8_t medium_error = 0x3;
constexpr uint8_t hardware_error = 0x4;
constexpr uint8_t illegal_request = 0x5;
constexpr uint8_t unit_attention = 0x6;
constexpr uint8_t data_protect = 0x7;
constexpr uint8_t blank_check = 0x8;
constexpr uint8_t aborted_command = 0xB;
constexpr uint8_t volume_overflow = 0xD;
}  // namespace sense_key

// Fixed-format sense: VALID in byte 0; FILEMARK, EOM, ILI and the key in byte 2.
namespace sense_bit {
constexpr uint8_t valid = 0x80;
constexpr uint8_t filemark = 0x80;
constexpr uint8_t eom = 0x40;
constexpr uint8_t ili = 0x20;
constexpr uint8_t key_mask = 0x0F;
}  // namespace sense_bit
