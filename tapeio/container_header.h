// The 8-byte header in front of every block of a container file: length and back-pointer,
// both unsigned 32-bit big-endian. Length 0 is a tape mark.
#pragma once

#include <cstdint>

constexpr uint32_t container_header_size = 8;

// The back-pointer of the first block, and the previous-header offset before any block:
// no header can lie at offset 1, so it cannot be mistaken for one.
constexpr uint64_t container_no_previous = 1;

struct container_header_t {
    uint32_t length = 0;
    uint32_t back_pointer = 0;
};

// The back-pointer of a block whose previous header lies at previous_header_offset
// (container_no_previous for the first block): its low 32 bits.
inline uint32_t container_back_pointer(uint64_t previous_header_offset)
{
    return static_cast<uint32_t>(previous_header_offset);
}

void encode_container_header(const container_header_t& header, uint8_t bytes[container_header_size]);
container_header_t decode_container_header(const uint8_t bytes[container_header_size]);

// The full offset of the previous header, from the back-pointer held by the header at
// header_offset. Exact while every block is shorter than 4 GiB. The first block's
// back-pointer (offset 0, back-pointer 1) gives container_no_previous again.
uint64_t widen_back_pointer(uint64_t header_offset, uint32_t back_pointer);
