#include "tapeio/aws_tape_io.h"

#include <algorithm>
#include <cstring>

#include "tapeio/little_endian.h"

namespace {

constexpr uint32_t header_size = 6;
constexpr uint8_t first_chunk = 0x80;
constexpr uint8_t last_chunk = 0x20;
constexpr uint8_t tape_mark = 0x40;
constexpr uint32_t largest_chunk = 0xFFFF;
constexpr uint32_t largest_length = 0x7FFFFFFF;
constexpr uint64_t no_previous = 1;

// The header of the chunk before one at offset, from its previous-length field.
bool header_before(uint64_t offset, uint16_t previous, uint64_t* before)
{
    if (offset == 0) {
        *before = no_previous;
        return true;
    }
    if (offset < header_size + previous)
        return false;
    *before = offset - header_size - previous;
    return true;
}

}  // namespace

int32_t aws_tape_io_t::data_offset(tape_io_handle_t*) { return header_size; }
uint32_t aws_tape_io_t::largest_record() { return largest_length; }
bool aws_tape_io_t::marks_bad_records() { return false; }

bool aws_tape_io_t::known_flags(const uint8_t* header)
{
    return header[5] == 0 && (header[4] & ~(first_chunk | last_chunk | tape_mark)) == 0;
}

uint8_t aws_tape_io_t::chunk_method(const uint8_t*) { return 0; }

aws_tape_io_t::chunk_t aws_tape_io_t::chunk_of(uint64_t offset, const uint8_t* header)
{
    return chunk_t{offset, get_le16(header), get_le16(header + 2), header[4], chunk_method(header)};
}

int32_t aws_tape_io_t::read_chunk_header(tape_io_handle_t* handle, uint64_t offset, chunk_t* chunk)
{
    uint8_t header[header_size];
    int32_t read = read_exactly(handle, offset, header, header_size);
    if (read != 0)
        return read;
    if (!known_flags(header)) {
        handle->last_error = ERROR_INVALID_DATA;
        return -1;
    }
    *chunk = chunk_of(offset, header);
    return 0;
}

int32_t aws_tape_io_t::step_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver)
{
    handle->bad_record = false;
    handle->passed_over = passed_over_t{};
    uint8_t header[header_size];
    uint32_t count = 0;
    if (file_read(handle, header, header_size, &count) != 0)
        return restore(handle, -1);
    if (count < header_size)
        return restore(handle, -2);  // the end of the file (a stray tail too): the end of the data
    if (!known_flags(header))
        return damaged(handle);
    chunk_t chunk = chunk_of(handle->position, header);
    if ((chunk.flags & tape_mark) != 0) {
        if (chunk.flags != tape_mark || chunk.length != 0 || header[5] != 0)
            return damaged(handle);
        set_prev_offset(handle, chunk.offset);
        moved_forward(handle, chunk.offset + header_size);
        return 0;
    }
    if ((chunk.flags & first_chunk) == 0)
        return damaged(handle);
    int32_t length = record_forward(handle, buffer, size, deliver, &chunk);
    if (length < 0)
        return length;
    set_prev_offset(handle, chunk.offset);
    moved_forward(handle, chunk.offset + header_size + chunk.length);
    return length;
}

int32_t aws_tape_io_t::record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver,
                                      chunk_t* chunk)
{
    return read_chunks_forward(handle, buffer + header_size, deliver ? size - header_size : 0, chunk);
}

int32_t aws_tape_io_t::read_chunks_forward(tape_io_handle_t* handle, uint8_t* into, uint64_t room, chunk_t* chunk)
{
    uint64_t total = 0;
    const uint8_t method = chunk->method;
    for (;;) {
        uint64_t data = chunk->offset + header_size;
        uint32_t wanted = total < room ? static_cast<uint32_t>(std::min<uint64_t>(chunk->length, room - total)) : 0;
        uint32_t count = 0;
        if (wanted > 0 && file_read(handle, into + total, wanted, &count) != 0)
            return restore(handle, -1);
        if (count != wanted)
            return damaged(handle);
        if (wanted < chunk->length) {  // passed over, but its last byte must be there
            uint8_t last = 0;
            int32_t read = read_exactly(handle, data + chunk->length - 1, &last, 1);
            if (read != 0)
                return read == -3 ? -3 : restore(handle, -1);
        }
        total += chunk->length;
        if (total > largest_length)
            return damaged(handle);
        if ((chunk->flags & last_chunk) != 0)
            return total == 0 ? damaged(handle) : static_cast<int32_t>(total);
        uint8_t header[header_size];
        if (file_read(handle, header, header_size, &count) != 0)
            return restore(handle, -1);
        // A record without its last chunk: the file ends, or a new record or a mark begins; every
        // chunk of a record is compressed alike.
        if (count != header_size || !known_flags(header) || (header[4] & (first_chunk | tape_mark)) != 0 ||
            chunk_method(header) != method)
            return damaged(handle);
        *chunk = chunk_of(data + chunk->length, header);
    }
}

// From the last chunk before the position back to the record's first; total: the record's length.
int32_t aws_tape_io_t::find_first_chunk(tape_io_handle_t* handle, chunk_t* chunk, uint64_t* total)
{
    *total = chunk->length;
    while ((chunk->flags & first_chunk) == 0) {
        uint64_t before = 0;
        if (!header_before(chunk->offset, chunk->previous, &before) || before == no_previous)
            return damaged(handle);
        chunk_t earlier;
        int32_t read = read_chunk_header(handle, before, &earlier);
        if (read != 0)
            return read == -3 ? -3 : restore(handle, -1);
        if (earlier.length != chunk->previous || (earlier.flags & (last_chunk | tape_mark)) != 0 ||
            earlier.method != chunk->method)
            return damaged(handle);
        *chunk = earlier;
        *total += chunk->length;
        if (*total > largest_length)
            return damaged(handle);
    }
    return 0;
}

int32_t aws_tape_io_t::step_backward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver)
{
    handle->bad_record = false;
    handle->passed_over = passed_over_t{};
    uint64_t last = 0;
    get_prev_offset(handle, &last);
    if (last == no_previous)
        return restore(handle, -1);  // the start of the tape
    chunk_t chunk;
    int32_t read = read_chunk_header(handle, last, &chunk);
    if (read != 0)
        return read == -3 ? -3 : restore(handle, -1);
    if (chunk.offset + header_size + chunk.length != handle->position)
        return damaged(handle);
    uint64_t total = 0;
    if ((chunk.flags & tape_mark) != 0) {
        if (chunk.flags != tape_mark || chunk.length != 0 || chunk.method != 0)
            return damaged(handle);
    } else {
        if ((chunk.flags & last_chunk) == 0)
            return damaged(handle);
        read = find_first_chunk(handle, &chunk, &total);
        if (read != 0)
            return read;
        if (total == 0)
            return damaged(handle);  // as forwards: only the tape-mark flag makes a block of no bytes
        read = record_backward(handle, buffer, size, deliver, chunk, total);
        if (read < 0)
            return read;
        total = static_cast<uint32_t>(read);
    }
    uint64_t before = 0;
    if (!header_before(chunk.offset, chunk.previous, &before))
        return damaged(handle);
    if (file_seek(handle, chunk.offset) != 0)
        return -3;
    set_prev_offset(handle, before);
    moved_backward(handle, chunk.offset);
    return static_cast<int32_t>(total);
}

int32_t aws_tape_io_t::record_backward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver,
                                       const chunk_t& first, uint64_t stored)
{
    int32_t read = deliver ? read_tail(handle, buffer + header_size, size - header_size, first.offset, stored) : 0;
    return read != 0 ? read : static_cast<int32_t>(stored);
}

// The record's last bytes that fit, chunk by chunk from its first.
int32_t aws_tape_io_t::read_tail(tape_io_handle_t* handle, uint8_t* into, uint64_t room, uint64_t first,
                                 uint64_t total)
{
    uint64_t wanted = std::min<uint64_t>(total, room);
    uint64_t skip = total - wanted;
    uint64_t at = 0;
    for (uint64_t offset = first; at < total;) {
        chunk_t chunk;
        int32_t read = read_chunk_header(handle, offset, &chunk);
        uint64_t from = std::max(at, skip);
        uint64_t to = at + chunk.length;
        if (read == 0 && to > from)
            read = read_exactly(handle, offset + header_size + (from - at), into + (from - skip),
                                static_cast<uint32_t>(to - from));
        if (read != 0)
            return read == -3 ? -3 : restore(handle, -1);
        at = to;
        offset += header_size + chunk.length;
    }
    return 0;
}

int32_t aws_tape_io_t::write_chunk(tape_io_handle_t* handle, uint8_t* header, uint16_t length, uint16_t previous,
                                   uint8_t flags)
{
    put_le16(header, length);
    put_le16(header + 2, previous);
    header[4] = flags;
    header[5] = 0;
    return file_write(handle, header, header_size + length);
}

int32_t aws_tape_io_t::write_block(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length)
{
    return write_chunks(handle, buffer, length, 0);
}

// Each chunk's header goes in front of its data in the caller's buffer, over bytes already
// written (or the header area for the first); those bytes are put back afterwards.
int32_t aws_tape_io_t::write_chunks(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length, uint8_t method)
{
    uint64_t last = 0;
    get_prev_offset(handle, &last);
    uint64_t at = handle->position;
    uint16_t previous = last == no_previous ? 0 : static_cast<uint16_t>(at - last - header_size);
    if (length == 0) {
        if (write_chunk(handle, buffer, 0, previous, tape_mark) != 0 || file_end_here(handle) != 0)
            return restore(handle, -1);
        set_prev_offset(handle, at);
        moved_forward(handle, at + header_size);
        return 0;
    }
    for (uint32_t done = 0; done < length;) {
        uint16_t chunk = static_cast<uint16_t>(std::min(largest_chunk, length - done));
        uint8_t flags = static_cast<uint8_t>((done == 0 ? first_chunk : 0) | (done + chunk == length ? last_chunk : 0) |
                                             method);
        uint8_t saved[header_size];
        std::memcpy(saved, buffer + done, header_size);
        int32_t written = write_chunk(handle, buffer + done, chunk, previous, flags);
        std::memcpy(buffer + done, saved, header_size);
        if (written != 0)
            return restore(handle, -1);
        last = at;
        at += header_size + chunk;
        previous = chunk;
        done += chunk;
    }
    if (file_end_here(handle) != 0)
        return restore(handle, -1);
    set_prev_offset(handle, last);
    moved_forward(handle, at);
    return static_cast<int32_t>(length);
}
