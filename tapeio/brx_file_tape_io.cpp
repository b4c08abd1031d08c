// The container-file driver's tape operations, from the handle's bookkeeping and the file calls.
//
// Results: -1 the start of the file (backward), a read that failed or came short, a write that
// failed, or a damaged block; -2 the end of the recorded data (forward), or a write that could
// not be undone; -3 a seek, skip or tell that failed. After a failure the handle is as before
// the block that failed, and the file pointer is back on position unless the result is -3
// (-2 for writes). A read into a buffer of fewer than 8 bytes is refused (-1,
// ERROR_INSUFFICIENT_BUFFER) before anything moves.
//
// Refused as damaged, with last_error ERROR_INVALID_DATA and the tape left where it was:
// - a block whose length is reported (read and step) but does not fit a positive result
//   (writing one is refused alike, with ERROR_INVALID_PARAMETER);
// - going backwards, a header whose back-pointer does not lead to an earlier header (or say
//   that there is none). Every step back thus strictly lowers the position and a backward walk
//   always ends.
// A block cut off by the end of the file is passed over by the spaces and steps without noticing
// (its data is never read); the next forward movement then meets the end of the data.
#include "tapeio/brx_file_tape_io.h"

#include "tapeio/container_header.h"

namespace {

bool no_previous_block(uint64_t offset) { return offset > 0 && offset < container_header_size; }

}  // namespace

int32_t brx_file_tape_io_t::data_offset(tape_io_handle_t*) { return header_size; }

int32_t brx_file_tape_io_t::get_block_count(tape_io_handle_t* handle, uint32_t* count)
{
    tape_io_t::get_block_count(handle, count);
    uint64_t position = 0;
    return get_position(handle, &position);
}

int32_t brx_file_tape_io_t::get_prev_offset(tape_io_handle_t* handle, uint64_t* offset)
{
    tape_io_t::get_prev_offset(handle, offset);
    return no_previous_block(*offset) ? -1 : 0;
}

void brx_file_tape_io_t::set_prev_offset(tape_io_handle_t* handle, uint64_t offset)
{
    tape_io_t::set_prev_offset(handle, offset);
}

void brx_file_tape_io_t::set_prev_from_back_pointer(tape_io_handle_t* handle, uint64_t header_offset,
                                                    uint32_t back_pointer)
{
    set_prev_offset(handle, widen_back_pointer(header_offset, back_pointer));
}

// After SetEndOfFile or FlushFileBuffers: the call's failure, or the tape at the file pointer.
int32_t brx_file_tape_io_t::settle_at_file_pointer(tape_io_handle_t* handle, BOOL done)
{
    if (!done) {
        handle->last_error = GetLastError();
        return -1;  // tape unchanged
    }
    uint64_t position = 0;
    if (file_tell(handle, &position) != 0)
        return -1;
    set_position(handle, position);
    return 0;
}

// Cuts the tape at the position; the blocks before it stay counted. Tape at the new end of the data.
int32_t brx_file_tape_io_t::erase(tape_io_handle_t* handle, uint8_t*, uint32_t)
{
    begin_operation(handle);
    return settle_at_file_pointer(handle, end_file_here(handle));
}

// Tape where it was.
int32_t brx_file_tape_io_t::flush(tape_io_handle_t* handle, uint8_t*, uint32_t)
{
    begin_operation(handle);
    return settle_at_file_pointer(handle, flush_file(handle));
}

int32_t brx_file_tape_io_t::setup(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size)
{
    return rewind(handle, buffer, size);
}

int32_t brx_file_tape_io_t::rewind(tape_io_handle_t* handle, uint8_t*, uint32_t)
{
    begin_operation(handle);
    if (file_seek(handle, 0) != 0)
        return -1;  // handle unchanged, file pointer unknown
    reset_blocks(handle);
    set_prev_offset(handle, container_no_previous);
    set_position(handle, 0);
    return 1;  // tape at the start
}

int32_t brx_file_tape_io_t::unload(tape_io_handle_t* handle, uint8_t*, uint32_t)
{
    begin_operation(handle);
    return 0;  // nothing to unload; tape where it was
}

int32_t brx_file_tape_io_t::write_record(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length)
{
    begin_operation(handle);
    return write_block(handle, buffer, length);
}

int32_t brx_file_tape_io_t::write_tape_mark(tape_io_handle_t* handle, uint8_t* buffer, uint32_t)
{
    begin_operation(handle);
    return write_block(handle, buffer, 0);
}

// Header and data in one write from the caller's buffer; the file then ends after them.
int32_t brx_file_tape_io_t::write_block(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length)
{
    if (length > largest_reported_length) {
        handle->last_error = ERROR_INVALID_PARAMETER;
        return -1;  // nothing written, tape where it was
    }
    uint64_t previous = 0;
    container_header_t header;
    header.length = length;
    header.back_pointer = get_prev_offset(handle, &previous) != 0
                              ? container_back_pointer(container_no_previous)
                              : container_back_pointer(previous);
    encode_container_header(header, buffer);
    uint32_t written = 0;
    if (file_write(handle, buffer, header_size + length, &written) != 0 || written != header_size + length)
        return restore(handle, -1, -2);  // tape where it was; the file ends after the partial write
    uint64_t next = 0;
    if (file_tell(handle, &next) != 0)
        return -2;  // block written, handle unchanged
    record_forward(handle, next);
    return static_cast<int32_t>(length);  // tape after the new block, at the end of the data
}

// The restore step: the file pointer back on position; seek_failed when even that fails.
int32_t brx_file_tape_io_t::restore(tape_io_handle_t* handle, int32_t result, int32_t seek_failed)
{
    uint64_t position = 0;
    get_position(handle, &position);
    if (file_seek(handle, position) != 0)
        return seek_failed;
    return result;
}

void brx_file_tape_io_t::record_forward(tape_io_handle_t* handle, uint64_t new_position)
{
    uint64_t position = 0;
    get_position(handle, &position);
    add_blocks(handle, 1);
    set_prev_offset(handle, position);
    set_position(handle, new_position);
}
