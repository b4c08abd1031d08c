#include "tapeio/spti_mode_data.h"

#include "tapeio/scsi_codes.h"
#include "tapeio/spti_commands.h"

namespace {

constexpr uint8_t buffered_mode_bits = 0x70;
constexpr uint32_t block_descriptor_size = 8;

uint32_t big_endian16(const uint8_t* bytes)
{
    uint16_t field = 0;
    std::memcpy(&field, bytes, sizeof field);
    return ntohs(field);
}

// CDB of the form, with the length in the byte the form keeps it in (4 or 8).
spti_request_t* mode_command(tape_io_handle_t* handle, uint8_t* buffer, mode_form_t form, const uint8_t (&ops)[2],
                             uint8_t byte1, uint8_t byte2, uint8_t length)
{
    uint8_t cdb[10] = {};
    bool six = form == mode_form_t::six_byte;
    cdb[0] = six ? ops[0] : ops[1];
    cdb[1] = byte1;
    cdb[2] = byte2;
    cdb[six ? 4 : 8] = length;
    return new_command(handle, buffer, cdb, six ? 6 : 10, spti_timeout::one_block);
}

}  // namespace

uint32_t mode_header_length(mode_form_t form) { return form == mode_form_t::six_byte ? 4 : 8; }

spti_request_t* mode_sense_command(tape_io_handle_t* handle, uint8_t* buffer, mode_form_t form, uint8_t page_byte,
                                   uint8_t* area)
{
    static constexpr uint8_t ops[2] = {scsi_op::mode_sense6, scsi_op::mode_sense10};
    // Bytes the drive does not send read as 0, never as an earlier command's leftovers.
    std::memset(area, 0, mode_allocation_length);
    spti_request_t* request = mode_command(handle, buffer, form, ops, 0, page_byte, mode_allocation_length);
    set_data_phase(request, SCSI_IOCTL_DATA_IN, area, mode_allocation_length);
    return request;
}

spti_request_t* mode_select_command(tape_io_handle_t* handle, uint8_t* buffer, mode_form_t form, uint8_t flags,
                                    uint8_t* list, uint8_t length)
{
    static constexpr uint8_t ops[2] = {scsi_op::mode_select6, scsi_op::mode_select10};
    spti_request_t* request = mode_command(handle, buffer, form, ops, flags, 0, length);
    set_data_phase(request, SCSI_IOCTL_DATA_OUT, list, length);
    return request;
}

uint32_t mode_bytes_received(const spti_request_t* request)
{
    uint32_t received = request->sptd.DataTransferLength;
    return received < mode_allocation_length ? received : mode_allocation_length;
}

bool parse_mode_data(mode_form_t form, const uint8_t* area, uint32_t received, mode_layout_t* layout)
{
    uint32_t header = mode_header_length(form);
    bool six = form == mode_form_t::six_byte;
    uint32_t total = six ? area[0] + 1u : big_endian16(area) + 2u;
    uint32_t descriptors = six ? area[3] : big_endian16(area + 6);
    if (total > received)
        total = received;
    if (total < header)
        return false;
    if (descriptors > total - header)
        descriptors = total - header;
    *layout = {header, total, descriptors};
    return true;
}

void edit_mode_header(mode_form_t form, uint8_t* area, const mode_layout_t& layout, buffered_mode_rule_t rule)
{
    bool six = form == mode_form_t::six_byte;
    uint8_t& device_specific = area[six ? 2 : 3];
    uint32_t length_bytes = six ? 1 : 2;
    std::memset(area, 0, length_bytes + 1);  // the mode data length and the medium type after it
    if ((device_specific & buffered_mode_bits) == 0)
        device_specific = rule(device_specific);
    // A length cut to the bytes received is the length sent back, so the list describes itself.
    if (six) {
        area[3] = static_cast<uint8_t>(layout.descriptor_length);
    } else {
        area[6] = static_cast<uint8_t>(layout.descriptor_length >> 8);
        area[7] = static_cast<uint8_t>(layout.descriptor_length);
    }
    uint8_t* descriptors = area + layout.header_length;
    for (uint32_t at = 0; at + block_descriptor_size <= layout.descriptor_length; at += block_descriptor_size) {
        descriptors[at + 5] = 0;  // block length 0: variable-length records
        descriptors[at + 6] = 0;
        descriptors[at + 7] = 0;
    }
}
