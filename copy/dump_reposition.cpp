#include "copy/dump_reposition.h"

#include "copy/copy_context.h"
#include "tapeio/spti_inquiries.h"
#include "tapeio/tape_io_objects.h"

namespace {

enum class place_t { before, after, unknown };

// READ POSITION, believed only where it agrees with our own count: some targets answer zeros,
// so a 0 says nothing about block 0.
place_t place_of(uint32_t block)
{
    uint32_t at = 0;
    if (!spti_read_position(&tape_handle, copy_context.buffer, at))
        return place_t::unknown;
    if (at == block + 1)
        return place_t::after;
    return at == block && block != 0 ? place_t::before : place_t::unknown;
}

// Rewinds and spaces forward; a tape mark stops each space, so it goes on from there.
bool locate_from_start(uint32_t block)
{
    uint8_t* buffer = copy_context.buffer;
    if (active_tape_io.rewind(&tape_handle, buffer, copy_context.buffer_size) != 1)
        return false;
    while (static_cast<uint32_t>(tape_handle.block_count) < block) {
        const int32_t before = tape_handle.block_count;
        const uint32_t left = block - static_cast<uint32_t>(before);
        if (active_tape_io.space_record_forward(&tape_handle, buffer, copy_context.buffer_size, left) != 0 ||
            tape_handle.block_count <= before)
            return false;
    }
    return static_cast<uint32_t>(tape_handle.block_count) == block;
}

bool space_one(bool forward, uint32_t to_block)
{
    uint8_t* buffer = copy_context.buffer;
    const int32_t result = forward ? active_tape_io.space_record_forward(&tape_handle, buffer, copy_context.buffer_size, 1)
                                   : active_tape_io.space_record_reverse(&tape_handle, buffer, copy_context.buffer_size, 1);
    return result == 0 && static_cast<uint32_t>(tape_handle.block_count) == to_block;
}

}  // namespace

bool move_before_block(uint32_t block)
{
    switch (place_of(block)) {
    case place_t::before:
        tape_handle.block_count = static_cast<int32_t>(block);
        return true;
    case place_t::after:
        tape_handle.block_count = static_cast<int32_t>(block + 1);
        return space_one(false, block);
    case place_t::unknown:
        break;
    }
    return locate_from_start(block);
}

bool move_after_block(uint32_t block)
{
    switch (place_of(block)) {
    case place_t::after:
        tape_handle.block_count = static_cast<int32_t>(block + 1);
        return true;
    case place_t::before:
        tape_handle.block_count = static_cast<int32_t>(block);
        return space_one(true, block + 1);
    case place_t::unknown:
        break;
    }
    return locate_from_start(block) && space_one(true, block + 1);
}
