#include "copy/restore_ahead.h"

#include <cerrno>

#include "platform/platform.h"

void read_restore_entry(FILE* file, uint8_t* room, uint32_t capacity, restore_entry_t& entry)
{
    entry.outcome = container_read_block(file, room, capacity, entry.header);
    entry.error = errno;
    entry.data = room;
    if (entry.outcome == container_read_t::end)
        entry.at = _ftelli64(file);
}

void start_restore_ahead(FILE* file, uint32_t capacity, restore_ring_t& ring)
{
    ring.start([file, capacity, &ring] {
        for (uint8_t* room = ring.claim(); room != nullptr; room = ring.claim()) {
            restore_entry_t entry;
            read_restore_entry(file, room, capacity, entry);
            const bool block = entry.outcome == container_read_t::block;
            const uint32_t used = block ? entry.header.length : 0;
            ring.publish(entry, used);
            if (!block)
                return;
        }
    });
}
