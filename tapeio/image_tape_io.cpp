#include "tapeio/image_tape_io.h"

namespace {

constexpr uint64_t no_previous = 1;

}  // namespace

int32_t image_tape_io_t::get_block_count(tape_io_handle_t* handle, uint32_t* count)
{
    tape_io_t::get_block_count(handle, count);
    uint64_t position = 0;
    return get_position(handle, &position);
}

int32_t image_tape_io_t::write_end_marker(tape_io_handle_t*, uint8_t*) { return 0; }

// Ends the recorded data at the position: an end marker where the format has one, then the file's end.
int32_t image_tape_io_t::erase(tape_io_handle_t* handle, uint8_t* buffer, uint32_t)
{
    begin_operation(handle);
    if (write_end_marker(handle, buffer) != 0 || file_end_here(handle) != 0)
        return restore(handle, -1);
    return restore(handle, 0);
}

// A pipe keeps nothing back once the bytes are written to it.
int32_t image_tape_io_t::flush(tape_io_handle_t* handle, uint8_t*, uint32_t)
{
    begin_operation(handle);
    if (image_flush(handle) != 0)
        return -1;
    if (image_seekable(handle) && !FlushFileBuffers(handle->get_os_handle())) {
        handle->last_error = GetLastError();
        return -1;
    }
    return 0;
}

int32_t image_tape_io_t::setup(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size)
{
    return rewind(handle, buffer, size);
}

int32_t image_tape_io_t::rewind(tape_io_handle_t* handle, uint8_t*, uint32_t)
{
    begin_operation(handle);
    if (file_seek(handle, 0) != 0)
        return -1;
    reset_blocks(handle);
    set_prev_offset(handle, no_previous);
    set_position(handle, 0);
    return 1;
}

int32_t image_tape_io_t::unload(tape_io_handle_t* handle, uint8_t*, uint32_t)
{
    begin_operation(handle);
    return 0;
}

int32_t image_tape_io_t::read_checked(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool forward)
{
    begin_operation(handle);
    if (size < static_cast<uint32_t>(data_offset(handle))) {
        handle->last_error = ERROR_INSUFFICIENT_BUFFER;
        return -1;  // nothing read, tape where it was
    }
    return forward ? step_forward(handle, buffer, size, true) : step_backward(handle, buffer, size, true);
}

int32_t image_tape_io_t::read_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size)
{
    return read_checked(handle, buffer, size, true);
}

int32_t image_tape_io_t::read_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size)
{
    return read_checked(handle, buffer, size, false);
}

// count blocks (tape marks count as blocks); the result of the last step, or the first failure.
int32_t image_tape_io_t::step_over(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool forward,
                                   uint32_t count)
{
    int32_t result = 0;
    for (uint32_t i = 0; i < count && result >= 0; ++i)
        result = forward ? step_forward(handle, buffer, size, false) : step_backward(handle, buffer, size, false);
    return result;
}

int32_t image_tape_io_t::space_file(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool forward)
{
    begin_operation(handle);
    for (;;) {
        int32_t result = step_over(handle, buffer, size, forward, 1);
        if (result < 0)
            return result;  // tape after the last block passed
        if (result == 0 && !handle->bad_record)
            return 0;  // just past the tape mark
    }
}

int32_t image_tape_io_t::space_file_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size)
{
    return space_file(handle, buffer, size, true);
}

int32_t image_tape_io_t::space_file_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size)
{
    return space_file(handle, buffer, size, false);
}

int32_t image_tape_io_t::space_record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size,
                                              uint32_t count)
{
    begin_operation(handle);
    int32_t result = step_over(handle, buffer, size, true, count);
    return result < 0 ? result : 0;
}

int32_t image_tape_io_t::space_record_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size,
                                              uint32_t count)
{
    begin_operation(handle);
    int32_t result = step_over(handle, buffer, size, false, count);
    return result < 0 ? result : 0;
}

int32_t image_tape_io_t::step_record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, uint32_t)
{
    begin_operation(handle);
    return step_over(handle, buffer, size, true, 1);
}

int32_t image_tape_io_t::step_record_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, uint32_t)
{
    begin_operation(handle);
    return step_over(handle, buffer, size, false, 1);
}

// A record of no bytes would read back as a tape mark; one marked bad needs a format that marks it.
int32_t image_tape_io_t::write_record(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length)
{
    begin_operation(handle);
    bool markable = !handle->bad_record || marks_bad_records();
    if ((length == 0 && !handle->bad_record) || length > largest_record() || !markable) {
        handle->last_error = ERROR_INVALID_PARAMETER;
        return -1;  // nothing written
    }
    return write_block(handle, buffer, length);
}

int32_t image_tape_io_t::write_tape_mark(tape_io_handle_t* handle, uint8_t* buffer, uint32_t)
{
    begin_operation(handle);
    bool bad = handle->bad_record;
    handle->bad_record = false;
    int32_t result = write_block(handle, buffer, 0);
    handle->bad_record = bad;
    return result;
}

int32_t image_tape_io_t::file_read(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length, uint32_t* count)
{
    if (!image_take(handle->image, buffer, length))
        return image_read(handle, buffer, length, count);
    *count = length;
    return 0;
}

int32_t image_tape_io_t::file_write(tape_io_handle_t* handle, const uint8_t* buffer, uint32_t length)
{
    return image_write(handle, buffer, length);
}

int32_t image_tape_io_t::file_seek(tape_io_handle_t* handle, uint64_t offset) { return image_seek(handle, offset); }

int32_t image_tape_io_t::file_end_here(tape_io_handle_t* handle) { return image_end_here(handle); }

int32_t image_tape_io_t::read_exactly(tape_io_handle_t* handle, uint64_t offset, uint8_t* buffer, uint32_t length)
{
    if (file_seek(handle, offset) != 0)
        return -3;
    uint32_t count = 0;
    if (file_read(handle, buffer, length, &count) != 0)
        return -1;
    if (count != length) {
        handle->last_error = ERROR_INVALID_DATA;
        return -1;
    }
    return 0;
}

int32_t image_tape_io_t::damaged(tape_io_handle_t* handle)
{
    handle->last_error = ERROR_INVALID_DATA;
    return restore(handle, -1);
}

int32_t image_tape_io_t::restore(tape_io_handle_t* handle, int32_t result)
{
    uint64_t position = 0;
    get_position(handle, &position);
    if (file_seek(handle, position) != 0)
        return -3;
    return result;
}

void image_tape_io_t::moved_forward(tape_io_handle_t* handle, uint64_t end)
{
    add_blocks(handle, 1);
    set_position(handle, end);
}

void image_tape_io_t::moved_backward(tape_io_handle_t* handle, uint64_t start)
{
    add_blocks(handle, -1);
    set_position(handle, start);
}
