// MODE SENSE and MODE SELECT, six- and ten-byte: header, one block descriptor, the Data Compression
// page (0x0F) and the Device Configuration page (0x10).
#include <cstring>

#include "vtape/vtape.h"

namespace {

constexpr uint8_t page_data_compression = 0x0F;
constexpr uint8_t page_device_configuration = 0x10;
constexpr uint8_t page_all = 0x3F;
constexpr uint8_t page_length = 16;  // both pages: 2 header bytes + 0x0E
constexpr uint32_t block_descriptor_length = 8;

enum page_control_t : uint8_t { current_values = 0, changeable_values = 1, default_values = 2, saved_values = 3 };

vtape_result_t list_length_error()
{
    return vtape_check(vtape_sense::illegal_request, vtape_sense::parameter_list_length_error);
}

}  // namespace

// Values before any MODE SELECT, and what a MODE SELECT may change. The masks follow what drives
// commonly allow: buffered mode and speed, the block length, the write delay time, byte 8 of the
// Device Configuration page as changeable8= says (default AVC and SOCF), and data compression
// (DCE, DDE).
void vtape_t::init_mode_pages()
{
    vtape_mode_t& m = mode_;
    m.buffered_mode = options_.buffered_mode;
    m.speed = options_.speed;
    m.device_configuration[0] = page_device_configuration;
    m.device_configuration[1] = page_length - 2;
    m.device_configuration[8] = options_.devconfig8;
    m.device_configuration[10] = 0x18;  // EEG, SEW
    m.data_compression[0] = page_data_compression;
    m.data_compression[1] = page_length - 2;
    m.data_compression[2] = 0xC0;  // DCE, DCC
    m.data_compression[3] = 0x80;  // DDE
    vtape_put_be32(m.data_compression + 4, 1);
    vtape_put_be32(m.data_compression + 8, 1);
    initial_mode_ = m;

    vtape_mode_t& c = changeable_;
    c.buffered_mode = 0x7;
    c.speed = 0xF;
    c.block_length = 0xFFFFFF;
    c.device_configuration[0] = page_device_configuration;
    c.device_configuration[1] = page_length - 2;
    c.device_configuration[6] = 0xFF;
    c.device_configuration[7] = 0xFF;
    c.device_configuration[8] = options_.changeable8;
    c.data_compression[0] = page_data_compression;
    c.data_compression[1] = page_length - 2;
    c.data_compression[2] = 0x80;
    c.data_compression[3] = 0x80;
}

// Bit 7 write protect (never changeable), bits 6-4 buffered mode, bits 3-0 speed.
uint8_t vtape_t::device_specific_parameter(const vtape_mode_t& mode, bool changeable) const
{
    const uint8_t wp = (!changeable && options_.write_protected) ? 0x80 : 0x00;
    return static_cast<uint8_t>(wp | ((mode.buffered_mode & 0x7) << 4) | (mode.speed & 0xF));
}

// Returns the length of the mode data written to out (at most 8 + 8 + 2 * 16 bytes).
uint32_t vtape_t::build_mode_data(uint8_t page_control, uint8_t page, bool ten, bool dbd, uint8_t* out) const
{
    const bool changeable = page_control == changeable_values;
    const vtape_mode_t& m = changeable ? changeable_ : page_control == default_values ? initial_mode_ : mode_;
    const uint32_t header_length = ten ? 8 : 4;
    const uint32_t descriptors = dbd ? 0 : block_descriptor_length;
    std::memset(out, 0, header_length + descriptors);
    uint32_t at = header_length;
    if (!dbd) {  // density code 0 (default), number of blocks 0 (all), block length
        vtape_put_be24(out + at + 5, m.block_length);
        at += block_descriptor_length;
    }
    if (page == page_data_compression || page == page_all) {
        std::memcpy(out + at, m.data_compression, page_length);
        at += page_length;
    }
    if (page == page_device_configuration || page == page_all) {
        std::memcpy(out + at, m.device_configuration, page_length);
        at += page_length;
    }
    const uint8_t dsp = device_specific_parameter(m, changeable);
    if (ten) {
        vtape_put_be16(out, at - 2);
        out[3] = dsp;
        vtape_put_be16(out + 6, descriptors);
    } else {
        out[0] = static_cast<uint8_t>(at - 1);
        out[2] = dsp;
        out[3] = static_cast<uint8_t>(descriptors);
    }
    return at;
}

// Byte 1 bit 3 DBD; byte 2 page control (bits 7-6) and page code; byte 3 subpage (0 only);
// allocation length in byte 4, or bytes 7-8 of the ten-byte form. Saved values are not kept.
vtape_result_t vtape_t::mode_sense(const vtape_command_t& command)
{
    const uint8_t* cdb = command.cdb;
    const bool ten = cdb[0] == 0x5A;
    const uint8_t page_control = cdb[2] >> 6;
    const uint8_t page = cdb[2] & 0x3F;
    if (page_control == saved_values) {
        vtape_result_t result =
            vtape_check(vtape_sense::illegal_request, vtape_sense::saving_parameters_not_supported);
        result.sense.field_pointer = true;
        result.sense.in_cdb = true;
        result.sense.field_byte = 2;
        return result;
    }
    if (page != 0 && page != page_data_compression && page != page_device_configuration && page != page_all)
        return vtape_invalid_cdb(2);
    if (cdb[3] != 0)
        return vtape_invalid_cdb(3);
    uint8_t bytes[64];
    const uint32_t length = build_mode_data(page_control, page, ten, (cdb[1] & 0x08) != 0, bytes);
    return vtape_deliver(command, bytes, length, ten ? vtape_be16(cdb + 7) : cdb[4]);
}

// Byte 1: bit 4 PF (pages are read as standard pages either way), bit 0 SP (refused: nothing is
// saved). Parameter list length in byte 4, or bytes 7-8. Nothing changes unless the whole list is
// good.
vtape_result_t vtape_t::mode_select(const vtape_command_t& command)
{
    const uint8_t* cdb = command.cdb;
    const bool ten = cdb[0] == 0x55;
    if (cdb[1] & 0x01)
        return vtape_invalid_cdb(1);
    const uint32_t length = ten ? vtape_be16(cdb + 7) : cdb[4];
    if (length == 0)
        return vtape_good();
    if (!vtape_data_out_ok(command, length))
        return vtape_call_failure(ERROR_INVALID_PARAMETER);
    return apply_mode_list(command.data, length, ten);
}

// Header (the mode data length, medium type and write-protect bit are ignored, as SELECT defines
// them), at most one block descriptor, then pages 0x0F and 0x10 in any order.
vtape_result_t vtape_t::apply_mode_list(const uint8_t* list, uint32_t length, bool ten)
{
    const uint32_t header_length = ten ? 8 : 4;
    if (length < header_length)
        return list_length_error();
    const uint8_t dsp = ten ? list[3] : list[2];
    const uint32_t descriptors = ten ? vtape_be16(list + 6) : list[3];
    if (descriptors != 0 && descriptors != block_descriptor_length)
        return vtape_invalid_parameter(static_cast<uint16_t>(ten ? 6 : 3));
    if (header_length + descriptors > length)
        return list_length_error();
    vtape_mode_t next = mode_;
    next.buffered_mode = (dsp >> 4) & 0x7;
    next.speed = dsp & 0xF;
    if (descriptors != 0) {
        const uint32_t block_length = vtape_be24(list + header_length + 5);
        if (block_length != 0 && (block_length < options_.min_block || block_length > options_.max_block))
            return vtape_invalid_parameter(static_cast<uint16_t>(header_length + 5));
        next.block_length = block_length;
    }
    for (uint32_t at = header_length + descriptors; at < length;) {
        if (length - at < 2 || length - at < 2u + list[at + 1])
            return list_length_error();
        const vtape_result_t result = apply_mode_page(list + at, at, next);
        if (result.check)
            return result;
        at += 2u + list[at + 1];
    }
    mode_ = next;
    return vtape_good();
}

// Bits outside the changeable mask must keep their current values.
vtape_result_t vtape_t::apply_mode_page(const uint8_t* page, uint32_t offset, vtape_mode_t& mode) const
{
    const uint8_t code = page[0] & 0x3F;
    uint8_t* target = nullptr;
    const uint8_t* mask = nullptr;
    if (code == page_device_configuration) {
        target = mode.device_configuration;
        mask = changeable_.device_configuration;
    } else if (code == page_data_compression) {
        target = mode.data_compression;
        mask = changeable_.data_compression;
    } else {
        return vtape_invalid_parameter(static_cast<uint16_t>(offset));
    }
    if (page[1] != page_length - 2)
        return vtape_invalid_parameter(static_cast<uint16_t>(offset + 1));
    for (uint32_t i = 2; i < page_length; ++i)
        if ((page[i] ^ target[i]) & ~mask[i])
            return vtape_invalid_parameter(static_cast<uint16_t>(offset + i));
    for (uint32_t i = 2; i < page_length; ++i)
        target[i] = static_cast<uint8_t>((target[i] & ~mask[i]) | (page[i] & mask[i]));
    return vtape_good();
}
