// The container-file driver's movements over blocks, forwards and backwards.
// What is refused as damaged is listed at the top of brx_file_tape_io.cpp.
#include <algorithm>

#include "tapeio/brx_file_tape_io.h"
#include "tapeio/container_header.h"

int32_t brx_file_tape_io_t::read_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size)
{
    begin_operation(handle);
    if (size < header_size) {
        handle->last_error = ERROR_INSUFFICIENT_BUFFER;
        return -1;  // nothing read, tape where it was
    }
    block_t block;
    int32_t result = pass_forward(handle, buffer, size, pass_t::read, &block);
    return result < 0 ? result : static_cast<int32_t>(block.length);  // tape after the block
}

int32_t brx_file_tape_io_t::space_file_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size)
{
    begin_operation(handle);
    for (;;) {
        block_t block;
        int32_t result = pass_forward(handle, buffer, size, pass_t::space, &block);
        if (result < 0)
            return result;  // tape after the last block passed
        if (block.length == 0)
            return 0;  // tape just after the tape mark
    }
}

int32_t brx_file_tape_io_t::space_record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size,
                                                 uint32_t)
{
    begin_operation(handle);
    block_t block;
    int32_t result = pass_forward(handle, buffer, size, pass_t::space, &block);
    return result < 0 ? result : 0;  // one block, whatever the count; tape after it
}

int32_t brx_file_tape_io_t::step_record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size,
                                                uint32_t)
{
    begin_operation(handle);
    block_t block;
    int32_t result = pass_forward(handle, buffer, size, pass_t::step, &block);
    return result < 0 ? result : static_cast<int32_t>(block.length);  // tape after the block
}

int32_t brx_file_tape_io_t::read_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size)
{
    begin_operation(handle);
    if (size < header_size) {
        handle->last_error = ERROR_INSUFFICIENT_BUFFER;
        return -1;  // nothing read, tape where it was
    }
    block_t block;
    int32_t result = pass_backward(handle, buffer, size, pass_t::read, &block);
    return result < 0 ? result : static_cast<int32_t>(block.length);  // tape before the block
}

int32_t brx_file_tape_io_t::space_file_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size)
{
    begin_operation(handle);
    for (;;) {
        block_t block;
        int32_t result = pass_backward(handle, buffer, size, pass_t::space, &block);
        if (result < 0)
            return result;  // tape before the last block passed (at the start for -1 there)
        if (block.length == 0)
            return 0;  // tape just before the tape mark
    }
}

int32_t brx_file_tape_io_t::space_record_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size,
                                                 uint32_t)
{
    begin_operation(handle);
    block_t block;
    int32_t result = pass_backward(handle, buffer, size, pass_t::space, &block);
    return result < 0 ? result : 0;  // one block, whatever the count; tape before it
}

int32_t brx_file_tape_io_t::step_record_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size,
                                                uint32_t)
{
    begin_operation(handle);
    block_t block;
    int32_t result = pass_backward(handle, buffer, size, pass_t::step, &block);
    return result < 0 ? result : static_cast<int32_t>(block.length);  // tape before the block
}

int32_t brx_file_tape_io_t::read_header(tape_io_handle_t* handle, uint8_t* buffer, block_t* block)
{
    uint32_t count = 0;
    if (file_read(handle, 0, buffer, header_size, &count) != 0 || count < header_size)
        return -1;
    container_header_t header = decode_container_header(buffer);
    block->length = header.length;
    block->back_pointer = header.back_pointer;
    return 0;
}

// One block forwards from the file pointer, which is on position. The data is passed with one
// relative seek and never read, so a block cut off by the end of the file is passed without
// noticing: the next forward movement meets the end of the data. On success the handle is
// after the block; on failure as before it.
int32_t brx_file_tape_io_t::pass_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, pass_t pass,
                                         block_t* block)
{
    get_position(handle, &block->header_offset);
    if (read_header(handle, buffer, block) != 0)
        return restore(handle, -2, -3);  // end of the data (or the read failed)
    if (pass != pass_t::space && block->length > largest_reported_length) {
        handle->last_error = ERROR_INVALID_DATA;
        return restore(handle, pass == pass_t::read ? -1 : -2, -3);
    }
    uint32_t rest = block->length;
    if (pass == pass_t::read && block->length > 0) {
        uint32_t wanted = std::min(block->length, size - header_size);
        uint32_t count = 0;
        if (file_read(handle, 0, buffer + header_size, wanted, &count) != 0 || count < wanted)
            return restore(handle, -1, -3);  // the file ends inside the record
        rest -= wanted;  // a record longer than the buffer: the rest is passed over
    }
    uint64_t next = 0;
    if (file_skip(handle, rest, &next) != 0)  // a move by 0 for a tape mark or a record that fit
        return -3;
    record_forward(handle, next);
    return 0;
}

// Whether the back-pointer of the header at block.header_offset leads to an earlier header, or
// says that there is none. Each step back thus strictly lowers the position.
bool brx_file_tape_io_t::leads_back(const block_t& block)
{
    uint64_t previous = widen_back_pointer(block.header_offset, block.back_pointer);
    if (previous > 0 && previous < header_size)
        return true;
    return previous + header_size <= block.header_offset;
}

// One block backwards from position. On success the handle is before the block, with the
// file pointer on its header; on failure as it was.
int32_t brx_file_tape_io_t::pass_backward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, pass_t pass,
                                          block_t* block)
{
    if (get_prev_offset(handle, &block->header_offset) != 0)
        return -1;  // at the start of the file; last_error stays 0
    if (file_seek(handle, block->header_offset) != 0)
        return -3;
    if (read_header(handle, buffer, block) != 0)
        return restore(handle, -1, -3);
    bool reportable = pass == pass_t::space || block->length <= largest_reported_length;
    if (!reportable || !leads_back(*block)) {
        handle->last_error = ERROR_INVALID_DATA;
        return restore(handle, -1, -3);
    }
    if (pass == pass_t::read && block->length > 0 && read_tail(handle, buffer, size, *block) != 0)
        return restore(handle, -1, -3);
    if (file_seek(handle, block->header_offset) != 0)
        return -3;
    add_blocks(handle, -1);
    set_prev_from_back_pointer(handle, block->header_offset, block->back_pointer);
    set_position(handle, block->header_offset);
    return 0;
}

// The last bytes of the record that fit behind the header bytes: its tail when it is too long.
int32_t brx_file_tape_io_t::read_tail(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size,
                                      const block_t& block)
{
    uint32_t wanted = std::min(block.length, size - header_size);
    uint32_t count = 0;
    if (file_read(handle, block.length - wanted, buffer + header_size, wanted, &count) != 0 || count < wanted)
        return -1;
    return 0;
}
