#include "tapeio/tape_io.h"

HANDLE tape_io_handle_t::attach(HANDLE handle)
{
    clear_error();
    path_id = -1;
    target_id = -1;
    lun = -1;
    os_handle = handle;
    image.reset();
    return handle;
}

int32_t tape_io_t::get_block_count(tape_io_handle_t* handle, uint32_t* count)
{
    *count = static_cast<uint32_t>(handle->block_count);
    return 0;
}

int32_t tape_io_t::test_user_flag(tape_io_handle_t* handle) { return handle->user_flag > 0 ? 1 : 0; }
void tape_io_t::set_user_flag(tape_io_handle_t* handle) { handle->user_flag = 1; }
void tape_io_t::clear_error(tape_io_handle_t* handle) { handle->clear_error(); }
void tape_io_t::clear_user_flag(tape_io_handle_t* handle) { handle->user_flag = 0; }
// Counts wrap as 32-bit numbers do on the drive's side; no overflow trap.
void tape_io_t::add_blocks(tape_io_handle_t* handle, int32_t n)
{
    handle->block_count = static_cast<int32_t>(static_cast<uint32_t>(handle->block_count) + static_cast<uint32_t>(n));
}
void tape_io_t::reset_blocks(tape_io_handle_t* handle) { handle->block_count = 0; }
void tape_io_t::set_blocks(tape_io_handle_t* handle, int32_t n) { handle->block_count = n; }

int32_t tape_io_t::get_prev_offset(tape_io_handle_t* handle, uint64_t* offset)
{
    *offset = handle->prev_offset;
    return 0;
}

void tape_io_t::set_prev_offset(tape_io_handle_t* handle, uint64_t offset) { handle->prev_offset = offset; }

int32_t tape_io_t::get_position(tape_io_handle_t* handle, uint64_t* position)
{
    *position = handle->position;
    if (handle->limit == 0)
        return 0;
    return handle->position >= handle->limit ? -1 : 0;
}

void tape_io_t::set_position(tape_io_handle_t* handle, uint64_t position) { handle->position = position; }

void tape_io_t::begin_operation(tape_io_handle_t* handle)
{
    clear_error(handle);
    clear_user_flag(handle);
}
