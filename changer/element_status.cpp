#include "changer/element_status.h"

#include <algorithm>

namespace {

constexpr uint8_t full_bit = 0x01, except_bit = 0x04, source_valid_bit = 0x80, medium_type_mask = 0x07;
constexpr uint8_t primary_tag_bit = 0x80, alternate_tag_bit = 0x40;
constexpr uint32_t header_length = 8, descriptor_head = 12, tag_length = 36, tag_identifier = 32;
constexpr uint8_t binary_code_set = 1;

uint32_t be16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }
uint32_t be24(const uint8_t* p) { return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]; }

std::string hex(const uint8_t* bytes, uint32_t length)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint32_t i = 0; i < length; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

// The identification descriptor behind the volume tags: code set, type, reserved, length, bytes.
std::string identifier_at(const uint8_t* at, uint32_t available)
{
    if (available < 4)
        return {};
    uint32_t length = std::min<uint32_t>(at[3], available - 4);
    return (at[0] & 0x0F) == binary_code_set ? hex(at + 4, length) : scsi_text(at + 4, length);
}

element_t descriptor_at(const uint8_t* at, uint32_t available, uint32_t stated, element_type_t type, uint8_t tags)
{
    element_t element;
    element.type = type;
    element.cut = available < stated;
    uint8_t head[descriptor_head] = {};
    std::copy(at, at + std::min(available, descriptor_head), head);
    element.address = static_cast<uint16_t>(be16(head));
    element.full = (head[2] & full_bit) != 0;
    element.exception = (head[2] & except_bit) != 0;
    element.asc = head[4];
    element.ascq = head[5];
    element.source_valid = (head[9] & source_valid_bit) != 0;
    element.medium_type = head[9] & medium_type_mask;
    element.source = static_cast<uint16_t>(be16(head + 10));
    uint32_t offset = descriptor_head;
    if ((tags & primary_tag_bit) != 0 && available > offset)
        element.volume_tag = scsi_text(at + offset, std::min(tag_identifier, available - offset));
    offset += ((tags & primary_tag_bit) != 0 ? tag_length : 0) + ((tags & alternate_tag_bit) != 0 ? tag_length : 0);
    if (stated >= offset + 4 && available > offset)
        element.identifier = identifier_at(at + offset, available - offset);
    return element;
}

}  // namespace

void parse_element_status(const uint8_t* data, uint32_t length, std::vector<element_t>& elements)
{
    if (length < header_length)
        return;
    const uint32_t end = std::min(length, header_length + be24(data + 5));
    uint32_t at = header_length;
    while (at + header_length <= end) {
        const uint8_t* page = data + at;
        const auto type = static_cast<element_type_t>(page[0] & 0x07);
        const uint32_t stated = be16(page + 2);
        const uint32_t page_end = std::min(end, at + header_length + be24(page + 5));
        if (stated == 0)
            return;
        // Two bytes tell an element's address; a descriptor cut before them tells nothing.
        for (at += header_length; at + 2 <= page_end; at += stated)
            elements.push_back(descriptor_at(data + at, std::min(stated, page_end - at), stated, type, page[1]));
        at = page_end;
    }
}

bool parse_element_layout(const uint8_t* data, uint32_t length, element_layout_t& layout)
{
    constexpr uint32_t mode_header = 4, page_length = 20;
    if (length < mode_header)
        return false;
    const uint32_t at = mode_header + data[3];  // behind any block descriptors
    if (length < at + page_length || (data[at] & 0x3F) != 0x1D)
        return false;
    const element_type_t order[] = {element_type_t::transport, element_type_t::slot, element_type_t::portal,
                                    element_type_t::drive};
    for (int i = 0; i < 4; ++i) {
        const int type = static_cast<int>(order[i]);
        layout.first[type] = static_cast<uint16_t>(be16(data + at + 2 + 4 * i));
        layout.count[type] = static_cast<uint16_t>(be16(data + at + 4 + 4 * i));
    }
    return true;
}
