// One function per command a library needs, for the changer and, where marked, for its drives.
// Each lays its request block at the start of buffer (512 bytes); data goes where the caller says.
#pragma once

#include <cstdint>

#include "tapeio/drive_identity.h"  // inquiry, for changers and drives alike
#include "tapeio/scsi_answer.h"

enum class element_type_t : uint8_t { all = 0, transport = 1, slot = 2, portal = 3, drive = 4 };

// Changers and drives.
scsi_answer_t test_unit_ready(tape_io_handle_t* handle, uint8_t* buffer);
// MODE SENSE(6) of the element address assignment page, block descriptors left out.
scsi_answer_t sense_element_addresses(tape_io_handle_t* handle, uint8_t* buffer, uint8_t* data, uint8_t length);

struct element_request_t {
    element_type_t type;
    uint16_t start;
    uint16_t count;
    bool volume_tags;
    bool identifiers;  // DVCID: the drives' device identifiers
};
scsi_answer_t read_element_status(tape_io_handle_t* handle, uint8_t* buffer, const element_request_t& request,
                                  uint8_t* data, uint32_t length);
scsi_answer_t move_medium(tape_io_handle_t* handle, uint8_t* buffer, uint16_t transport, uint16_t source,
                          uint16_t destination);
scsi_answer_t initialize_element_status(tape_io_handle_t* handle, uint8_t* buffer);
