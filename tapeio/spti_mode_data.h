// Mode parameter data of a sequential-access drive, read with MODE SENSE and sent back with MODE SELECT.
#pragma once

#include <cstdint>

#include "tapeio/spti_request.h"

enum class mode_form_t { six_byte, ten_byte };

// CDB byte 2 of MODE SENSE: page control and page code.
constexpr uint8_t mode_page_header_only = 0x00;
constexpr uint8_t mode_pages_current = 0x3F;
constexpr uint8_t mode_pages_changeable = 0x7F;
// CDB byte 1 of MODE SELECT.
constexpr uint8_t mode_select_plain = 0x00;
constexpr uint8_t mode_select_page_format = 0x10;

constexpr uint8_t mode_allocation_length = 255;
constexpr uint8_t device_configuration_page = 0x10;

// Lengths as the drive reported them, cut to the bytes actually received.
struct mode_layout_t {
    uint32_t header_length = 0;
    uint32_t total_length = 0;
    uint32_t descriptor_length = 0;
};

uint32_t mode_header_length(mode_form_t form);

spti_request_t* mode_sense_command(tape_io_handle_t* handle, uint8_t* buffer, mode_form_t form, uint8_t page_byte,
                                   uint8_t* area);
spti_request_t* mode_select_command(tape_io_handle_t* handle, uint8_t* buffer, mode_form_t form, uint8_t flags,
                                    uint8_t* list, uint8_t length);

// Bytes the drive delivered for the last MODE SENSE, never more than were asked for.
uint32_t mode_bytes_received(const spti_request_t* request);

// True when the data holds at least a whole header; layout then describes it.
bool parse_mode_data(mode_form_t form, const uint8_t* area, uint32_t received, mode_layout_t* layout);

// Buffered-mode rule: the new device-specific parameter for a drive that reports buffered mode 0.
using buffered_mode_rule_t = uint8_t (*)(uint8_t device_specific);

// Zero length and medium type, buffered mode by the rule when it is 0, block length 0 in every descriptor.
void edit_mode_header(mode_form_t form, uint8_t* area, const mode_layout_t& layout, buffered_mode_rule_t rule);
