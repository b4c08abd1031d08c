#include "tapeio/het_tape_io.h"

#include "tapeio/het_codec.h"

namespace {

constexpr uint32_t header_size = 6;
constexpr uint8_t chunk_flags = 0x80 | 0x40 | 0x20;
constexpr uint8_t method_bits = 0x03;
constexpr uint8_t zlib_variant = 0x80;  // in flags2
constexpr uint32_t largest_het_record = 0x00FFFFFF;
// A record's compressed bytes, with room for a chunk header before them.
constexpr uint32_t scratch_size = header_size + largest_het_record;

}  // namespace

uint32_t het_tape_io_t::largest_record() { return largest_het_record; }

bool het_tape_io_t::known_flags(const uint8_t* header)
{
    uint8_t method = header[4] & method_bits;
    bool variant = header[5] == zlib_variant && (method == het_none || method == het_zlib);
    return (header[4] & ~(chunk_flags | method_bits)) == 0 && method != method_bits && (header[5] == 0 || variant);
}

uint8_t het_tape_io_t::chunk_method(const uint8_t* header)
{
    return header[5] == zlib_variant ? het_zlib : header[4] & method_bits;
}

int32_t het_tape_io_t::record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver,
                                     chunk_t* chunk)
{
    if (chunk->method == het_none)
        return aws_tape_io_t::record_forward(handle, buffer, size, deliver, chunk);
    uint8_t* scratch = image_record_room(handle, scratch_size);
    if (scratch == nullptr) {
        handle->last_error = ERROR_NOT_ENOUGH_MEMORY;
        return restore(handle, -1);
    }
    uint8_t method = chunk->method;
    int32_t stored = read_chunks_forward(handle, scratch + header_size, largest_het_record, chunk);
    if (stored < 0)
        return stored;
    if (static_cast<uint32_t>(stored) > largest_het_record)
        return damaged(handle);
    return expand(handle, buffer, size, deliver, false, method, static_cast<uint32_t>(stored));
}

int32_t het_tape_io_t::record_backward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver,
                                      const chunk_t& first, uint64_t stored)
{
    if (first.method == het_none)
        return aws_tape_io_t::record_backward(handle, buffer, size, deliver, first, stored);
    uint8_t* scratch = image_record_room(handle, scratch_size);
    if (scratch == nullptr) {
        handle->last_error = ERROR_NOT_ENOUGH_MEMORY;
        return restore(handle, -1);
    }
    if (stored > largest_het_record)
        return damaged(handle);
    int32_t read = read_tail(handle, scratch + header_size, stored, first.offset, stored);
    if (read != 0)
        return read;
    return expand(handle, buffer, size, deliver, true, first.method, static_cast<uint32_t>(stored));
}

// The compressed record in the handle's record buffer, expanded into the caller's (or only counted).
int32_t het_tape_io_t::expand(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver, bool tail,
                              uint8_t method, uint32_t stored)
{
    uint32_t length = 0;
    het_expanded_t expanded = het_expand(method, handle->image.record + header_size, stored,
                                         deliver ? buffer + header_size : nullptr, deliver ? size - header_size : 0,
                                         tail, largest_het_record, &length);
    if (expanded == het_expanded_t::not_built) {
        handle->last_error = ERROR_NOT_SUPPORTED;
        return restore(handle, -1);
    }
    if (expanded == het_expanded_t::damaged || length == 0)
        return damaged(handle);
    return static_cast<int32_t>(length);
}

int32_t het_tape_io_t::write_block(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length)
{
    uint8_t method = handle->compression;
    if (length == 0 || method == het_none)
        return aws_tape_io_t::write_block(handle, buffer, length);
    if (!het_method_built(method)) {
        handle->last_error = ERROR_NOT_SUPPORTED;
        return -1;  // nothing written
    }
    uint8_t* scratch = image_record_room(handle, scratch_size);
    if (scratch == nullptr) {
        handle->last_error = ERROR_NOT_ENOUGH_MEMORY;
        return -1;
    }
    uint32_t stored = het_compress(method, handle->compression_level, buffer + header_size, length,
                                   scratch + header_size);
    if (stored == 0)
        return aws_tape_io_t::write_block(handle, buffer, length);  // it does not shrink: kept as it is
    int32_t written = write_chunks(handle, scratch, stored, method);
    return written < 0 ? written : static_cast<int32_t>(length);
}
