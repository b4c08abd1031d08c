#include "tapeio/physical_tape_io.h"

namespace {

constexpr int32_t end_or_beginning = -1;
constexpr int32_t no_data = -2;
constexpr int32_t plain_failure = -3;

}  // namespace

int32_t physical_tape_io_t::data_offset(tape_io_handle_t*) { return 0; }

// Only a set limit shows here, not the end-of-medium marker.
int32_t physical_tape_io_t::get_block_count(tape_io_handle_t* handle, uint32_t* count)
{
    tape_io_t::get_block_count(handle, count);
    uint64_t scratch = 0;
    return get_position(handle, &scratch);
}

int32_t physical_tape_io_t::tape_failure(tape_io_handle_t* handle, DWORD code, int32_t result)
{
    handle->last_error = code;
    SetLastError(code);
    return result;
}

int32_t physical_tape_io_t::sync_block_count(tape_io_handle_t* handle, int32_t on_success, int32_t on_failure)
{
    DWORD partition = 0, low = 0, high = 0;
    DWORD code = GetTapePosition(handle->get_os_handle(), TAPE_LOGICAL_POSITION, &partition, &low, &high);
    if (code != NO_ERROR)
        return tape_failure(handle, code, on_failure);
    set_blocks(handle, static_cast<int32_t>(low));
    return on_success;
}

int32_t physical_tape_io_t::erase(tape_io_handle_t* handle, uint8_t*, uint32_t)
{
    begin_operation(handle);
    DWORD code = EraseTape(handle->get_os_handle(), TAPE_ERASE_LONG, FALSE);
    if (code != NO_ERROR)
        return tape_failure(handle, code, -1);  // tape where the drive stopped
    return sync_block_count(handle, 0, -2);       // tape at the new end of data
}

// Records reach the drive with every WriteFile; nothing is held back here.
int32_t physical_tape_io_t::flush(tape_io_handle_t* handle, uint8_t*, uint32_t)
{
    begin_operation(handle);
    return 0;
}

int32_t physical_tape_io_t::read_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size)
{
    begin_operation(handle);
    DWORD count = 0;
    if (ReadFile(handle->get_os_handle(), buffer, size, &count, nullptr)) {
        add_blocks(handle, 1);  // tape behind the record
        return static_cast<int32_t>(count);
    }
    DWORD code = GetLastError();
    switch (code) {
    case ERROR_FILEMARK_DETECTED: add_blocks(handle, 1); return 0;  // tape behind the mark
    case ERROR_END_OF_MEDIA: set_position(handle, 1); return sync_block_count(handle, end_or_beginning, -4);
    case ERROR_NO_DATA_DETECTED: return sync_block_count(handle, no_data, -5);  // tape at the end of data
    default: handle->last_error = code; return plain_failure;  // tape where the drive stopped
    }
}

int32_t physical_tape_io_t::read_reverse(tape_io_handle_t* handle, uint8_t*, uint32_t)
{
    begin_operation(handle);
    return -3;  // not supported; the tape does not move
}

int32_t physical_tape_io_t::rewind(tape_io_handle_t* handle, uint8_t*, uint32_t)
{
    begin_operation(handle);
    DWORD code = SetTapePosition(handle->get_os_handle(), TAPE_REWIND, 0, 0, 0, FALSE);
    if (code != NO_ERROR)
        return tape_failure(handle, code, -1);
    set_position(handle, 0);  // tape at its beginning
    reset_blocks(handle);
    return 1;
}

int32_t physical_tape_io_t::move(tape_io_handle_t* handle, DWORD method, bool forward, uint32_t count,
                                 const move_results_t& results)
{
    begin_operation(handle);
    DWORD low = forward ? count : 0xFFFFFFFFu;
    DWORD high = forward ? 0 : 0xFFFFFFFFu;
    DWORD code = SetTapePosition(handle->get_os_handle(), method, 0, low, high, FALSE);
    switch (code) {
    case NO_ERROR: return sync_block_count(handle, results.done, results.done_failed);
    case ERROR_FILEMARK_DETECTED: return sync_block_count(handle, results.mark, results.mark_failed);
    case ERROR_NO_DATA_DETECTED: return sync_block_count(handle, no_data, results.no_data_failed);
    case ERROR_END_OF_MEDIA:
        if (!forward)
            break;
        set_position(handle, 1);  // tape at the end of the medium
        return sync_block_count(handle, end_or_beginning, results.edge_failed);
    case ERROR_BEGINNING_OF_MEDIA:
        if (forward)
            break;
        set_position(handle, 0);  // tape at its beginning
        return sync_block_count(handle, end_or_beginning, results.edge_failed);
    default: break;
    }
    return tape_failure(handle, code, plain_failure);  // tape where the drive stopped
}

int32_t physical_tape_io_t::space_file_forward(tape_io_handle_t* handle, uint8_t*, uint32_t)
{
    return move(handle, TAPE_SPACE_FILEMARKS, true, 1,
                space_results);
}

int32_t physical_tape_io_t::space_file_reverse(tape_io_handle_t* handle, uint8_t*, uint32_t)
{
    return move(handle, TAPE_SPACE_FILEMARKS, false, 1,
                space_results);
}

int32_t physical_tape_io_t::space_record_forward(tape_io_handle_t* handle, uint8_t*, uint32_t, uint32_t count)
{
    return move(handle, TAPE_SPACE_RELATIVE_BLOCKS, true, count,
                space_results);
}

int32_t physical_tape_io_t::space_record_reverse(tape_io_handle_t* handle, uint8_t*, uint32_t, uint32_t)
{
    return move(handle, TAPE_SPACE_RELATIVE_BLOCKS, false, 1,
                space_results);
}

int32_t physical_tape_io_t::step_record_forward(tape_io_handle_t* handle, uint8_t*, uint32_t, uint32_t count)
{
    return move(handle, TAPE_SPACE_RELATIVE_BLOCKS, true, count,
                step_results);
}

int32_t physical_tape_io_t::step_record_reverse(tape_io_handle_t* handle, uint8_t*, uint32_t, uint32_t)
{
    return move(handle, TAPE_SPACE_RELATIVE_BLOCKS, false, 1,
                step_results);
}

int32_t physical_tape_io_t::write_record(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length)
{
    begin_operation(handle);
    DWORD written = 0;
    if (WriteFile(handle->get_os_handle(), buffer, length, &written, nullptr)) {
        add_blocks(handle, 1);  // tape behind the record
        if (written == length)
            return static_cast<int32_t>(length);
        set_position(handle, 1);  // a short write: the medium is at its end
        return -1;
    }
    DWORD code = GetLastError();
    if (code == ERROR_END_OF_MEDIA) {
        set_position(handle, 1);  // tape behind what the drive took
        return sync_block_count(handle, -1, -3);
    }
    handle->last_error = code;
    return -2;  // tape where the drive stopped
}

int32_t physical_tape_io_t::write_tape_mark(tape_io_handle_t* handle, uint8_t*, uint32_t)
{
    begin_operation(handle);
    DWORD code = WriteTapemark(handle->get_os_handle(), TAPE_FILEMARKS, 1, FALSE);
    if (code == NO_ERROR) {
        add_blocks(handle, 1);  // tape behind the mark
        return 0;
    }
    if (code == ERROR_END_OF_MEDIA) {
        set_position(handle, 1);
        return sync_block_count(handle, -1, -3);
    }
    return tape_failure(handle, code, -2);
}

int32_t physical_tape_io_t::unload(tape_io_handle_t* handle, uint8_t*, uint32_t)
{
    begin_operation(handle);
    DWORD code = PrepareTape(handle->get_os_handle(), TAPE_UNLOAD, FALSE);
    if (code != NO_ERROR)
        return tape_failure(handle, code, -1);
    reset_blocks(handle);  // tape out of the drive
    return 0;
}
