#include "tapeio/container_header.h"

static void put_big_endian(uint32_t value, uint8_t* bytes)
{
    bytes[0] = static_cast<uint8_t>(value >> 24);
    bytes[1] = static_cast<uint8_t>(value >> 16);
    bytes[2] = static_cast<uint8_t>(value >> 8);
    bytes[3] = static_cast<uint8_t>(value);
}

static uint32_t get_big_endian(const uint8_t* bytes)
{
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}

void encode_container_header(const container_header_t& header, uint8_t bytes[container_header_size])
{
    put_big_endian(header.length, bytes);
    put_big_endian(header.back_pointer, bytes + 4);
}

container_header_t decode_container_header(const uint8_t bytes[container_header_size])
{
    return container_header_t{get_big_endian(bytes), get_big_endian(bytes + 4)};
}

uint64_t widen_back_pointer(uint64_t header_offset, uint32_t back_pointer)
{
    const uint64_t window = header_offset >> 32;
    const uint32_t low = static_cast<uint32_t>(header_offset);
    if (back_pointer < low)
        return (window << 32) | back_pointer;
    if (window > 0)
        return ((window - 1) << 32) | back_pointer;  // the previous header lies in the window below
    return back_pointer;
}
