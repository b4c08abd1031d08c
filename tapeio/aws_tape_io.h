// An AWS tape image: every chunk a 6-byte header (16-bit little-endian length of this chunk and
// of the chunk before it, flags, a zero byte) and its data. Flags: 0x80 the first chunk of a
// record, 0x20 its last, 0x40 a tape mark. A record longer than 65,535 bytes spans chunks.
// prev_offset is the header of the last chunk before the position (1: none), which is how a
// step backwards finds its way and a write knows the previous chunk's length. The link to the
// previous chunk is not checked going forwards; compressed (HET) chunks are damage here.
#pragma once

#include "tapeio/image_tape_io.h"

class aws_tape_io_t : public image_tape_io_t {
public:
    int32_t data_offset(tape_io_handle_t* handle) override;
    uint32_t largest_record() override;
    bool marks_bad_records() override;

protected:
    struct chunk_t {
        uint64_t offset = 0;
        uint16_t length = 0;
        uint16_t previous = 0;
        uint8_t flags = 0;
        uint8_t method = 0;  // HET's compression, 0 in AWS
    };

    int32_t step_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver) override;
    int32_t step_backward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver) override;
    int32_t write_block(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length) override;

    // What HET changes: the flags a chunk may carry, the compression they name, and records
    // whose chunks hold compressed data.
    virtual bool known_flags(const uint8_t* header);
    virtual uint8_t chunk_method(const uint8_t* header);
    // The record whose first chunk was just read, delivered (its first bytes) or passed; its
    // length. chunk ends as its last.
    virtual int32_t record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver,
                                   chunk_t* chunk);
    // The record of stored bytes from its first chunk, delivered (its last bytes) or passed; its length.
    virtual int32_t record_backward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver,
                                    const chunk_t& first, uint64_t stored);

    // The chunks' data from the first, whose header was just read: as much as fits into room
    // bytes at into; the bytes they hold, or a failure. chunk ends as the record's last.
    int32_t read_chunks_forward(tape_io_handle_t* handle, uint8_t* into, uint64_t room, chunk_t* chunk);
    // The last room bytes of the record whose first chunk is at first, into into.
    int32_t read_tail(tape_io_handle_t* handle, uint8_t* into, uint64_t room, uint64_t first, uint64_t total);
    // Writes length bytes (with room for a header before them) as a record's chunks, each
    // flagged with method.
    int32_t write_chunks(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length, uint8_t method);

private:
    chunk_t chunk_of(uint64_t offset, const uint8_t* header);
    int32_t read_chunk_header(tape_io_handle_t* handle, uint64_t offset, chunk_t* chunk);
    int32_t find_first_chunk(tape_io_handle_t* handle, chunk_t* chunk, uint64_t* total);
    int32_t write_chunk(tape_io_handle_t* handle, uint8_t* header, uint16_t length, uint16_t previous,
                        uint8_t flags);
};
