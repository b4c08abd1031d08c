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
    int32_t step_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver) override;
    int32_t step_backward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver) override;
    int32_t write_block(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length) override;

private:
    struct chunk_t {
        uint64_t offset = 0;
        uint16_t length = 0;
        uint16_t previous = 0;
        uint8_t flags = 0;
    };
    int32_t read_chunk_header(tape_io_handle_t* handle, uint64_t offset, chunk_t* chunk);
    int32_t read_chunks_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver,
                                chunk_t* chunk);
    int32_t find_first_chunk(tape_io_handle_t* handle, chunk_t* chunk, uint64_t* total);
    int32_t read_tail(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, uint64_t first, uint64_t total);
    int32_t write_chunk(tape_io_handle_t* handle, uint8_t* header, uint16_t length, uint16_t previous,
                        uint8_t flags);
};
