// What a drive (or a changer) says it is: INQUIRY, and the unit serial number page of its vital
// product data. Nothing here moves the tape.
#pragma once

#include <cstdint>
#include <string>

#include "tapeio/scsi_answer.h"

// Standard INQUIRY, or the vital product data page when vpd is set; length bytes into data, which
// need not lie in buffer (whose first 512 bytes hold the request block).
scsi_answer_t inquiry(tape_io_handle_t* handle, uint8_t* buffer, bool vpd, uint8_t page, uint8_t* data,
                      uint8_t length);

struct drive_identity_t {
    std::string vendor, product, revision, serial;  // blanks trimmed
};

// Asks INQUIRY, then page 0x80 for the serial number; data needs 255 bytes. The answer is the
// last one asked: good when both were (serial may still be empty when the page holds none).
scsi_answer_t read_drive_identity(tape_io_handle_t* handle, uint8_t* buffer, uint8_t* data, drive_identity_t& identity);
