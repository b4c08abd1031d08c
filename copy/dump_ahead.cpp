#include "copy/dump_ahead.h"

#include "tapeio/container_header.h"

namespace {

bool ends_reading(int32_t length) { return length < 0 && length != dump_record_skipped; }

void read_ahead(dump_reader_t& reader, dump_ring_t& ring)
{
    uint8_t* const own_buffer = reader.buffer;
    const uint32_t data_offset = static_cast<uint32_t>(reader.driver->data_offset(reader.handle));
    uint64_t offset = 0;  // the dump file's size once every entry before this one is written
    for (uint8_t* room = ring.claim(); room != nullptr; room = ring.claim()) {
        dump_entry_t entry;
        reader.buffer = room;
        reader.messages.held = &entry.messages;
        read_dump_entry(reader, offset, entry);
        const int32_t length = entry.length;
        ring.publish(std::move(entry), length > 0 ? data_offset + static_cast<uint32_t>(length) : 0);
        if (ends_reading(length))
            break;
    }
    reader.messages.held = nullptr;
    reader.buffer = own_buffer;
}

}  // namespace

void read_dump_entry(dump_reader_t& reader, uint64_t& offset, dump_entry_t& entry)
{
    entry.length = read_dump_record(reader, offset);
    entry.data = reader.buffer + reader.driver->data_offset(reader.handle);
    entry.skipped = reader.walk.last_skipped;
    if (entry.length >= 0)
        offset += container_header_size + static_cast<uint32_t>(entry.length);
}

void start_dump_ahead(dump_reader_t& reader, dump_ring_t& ring)
{
    ring.start([&reader, &ring] { read_ahead(reader, ring); });
}

bool take_dump_entry(dump_ring_t& ring, const message_target_t& messages, dump_entry_t& entry)
{
    if (!ring.take(entry))
        return false;
    put_out(messages, entry.messages);
    return true;
}
