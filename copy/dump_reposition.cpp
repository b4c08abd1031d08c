#include "copy/dump_reposition.h"

#include "tapeio/spti_inquiries.h"

namespace {

enum class place_t { before, after, unknown };

// READ POSITION, believed only where it agrees with our own count: some targets answer zeros,
// so a 0 says nothing about block 0.
place_t place_of(dump_reader_t& r, uint32_t block)
{
    uint32_t at = 0;
    if (!spti_read_position(r.handle, r.buffer, at))
        return place_t::unknown;
    if (at == block + 1)
        return place_t::after;
    return at == block && block != 0 ? place_t::before : place_t::unknown;
}

uint32_t blocks_passed(const dump_reader_t& r) { return static_cast<uint32_t>(r.handle->block_count); }

// Rewinds and spaces forward; a tape mark stops each space, so it goes on from there.
bool locate_from_start(dump_reader_t& r, uint32_t block)
{
    if (r.driver->rewind(r.handle, r.buffer, r.buffer_size) != 1)
        return false;
    while (blocks_passed(r) < block) {
        const int32_t before = r.handle->block_count;
        const uint32_t left = block - static_cast<uint32_t>(before);
        if (r.driver->space_record_forward(r.handle, r.buffer, r.buffer_size, left) != 0 ||
            r.handle->block_count <= before)
            return false;
    }
    return blocks_passed(r) == block;
}

bool space_one(dump_reader_t& r, bool forward, uint32_t to_block)
{
    const int32_t result = forward ? r.driver->space_record_forward(r.handle, r.buffer, r.buffer_size, 1)
                                   : r.driver->space_record_reverse(r.handle, r.buffer, r.buffer_size, 1);
    return result == 0 && blocks_passed(r) == to_block;
}

}  // namespace

bool move_before_block(dump_reader_t& reader, uint32_t block)
{
    switch (place_of(reader, block)) {
    case place_t::before:
        reader.handle->block_count = static_cast<int32_t>(block);
        return true;
    case place_t::after:
        reader.handle->block_count = static_cast<int32_t>(block + 1);
        return space_one(reader, false, block);
    case place_t::unknown:
        break;
    }
    return locate_from_start(reader, block);
}

bool move_after_block(dump_reader_t& reader, uint32_t block)
{
    switch (place_of(reader, block)) {
    case place_t::after:
        reader.handle->block_count = static_cast<int32_t>(block + 1);
        return true;
    case place_t::before:
        reader.handle->block_count = static_cast<int32_t>(block);
        return space_one(reader, true, block + 1);
    case place_t::unknown:
        break;
    }
    return locate_from_start(reader, block) && space_one(reader, true, block + 1);
}
