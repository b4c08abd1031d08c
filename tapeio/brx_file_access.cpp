// The container-file driver's file calls: each returns 0, or -1 with the system's code in last_error.
// A handle given an image buffer (tapeio/image_file.h) reads and writes through it instead, with
// the same results; the system's file pointer then lags behind the position.
#include "tapeio/brx_file_tape_io.h"

namespace {

bool buffered(const tape_io_handle_t* handle) { return handle->image.data != nullptr; }

// A buffered call's failure as the system call's would be, for the callers that ask GetLastError.
BOOL buffered_result(tape_io_handle_t* handle, int32_t result)
{
    if (result == 0)
        return TRUE;
    SetLastError(handle->last_error);
    return FALSE;
}

}  // namespace

BOOL brx_file_tape_io_t::end_file_here(tape_io_handle_t* handle)
{
    return buffered(handle) ? buffered_result(handle, image_end_here(handle)) : SetEndOfFile(handle->get_os_handle());
}

BOOL brx_file_tape_io_t::flush_file(tape_io_handle_t* handle)
{
    if (!buffered(handle))
        return FlushFileBuffers(handle->get_os_handle());
    if (image_flush(handle) != 0)
        return buffered_result(handle, -1);
    return !image_seekable(handle) || FlushFileBuffers(handle->get_os_handle());
}

int32_t brx_file_tape_io_t::file_write(tape_io_handle_t* handle, const uint8_t* buffer, uint32_t length,
                                       uint32_t* count)
{
    *count = 0;
    if (buffered(handle)) {
        if (image_write(handle, buffer, length) != 0 || image_end_here(handle) != 0)
            return -1;
        *count = length;
        return 0;
    }
    DWORD written = 0;
    if (!WriteFile(handle->get_os_handle(), buffer, length, &written, nullptr)) {
        handle->last_error = GetLastError();
        return -1;
    }
    // A write is the new end of the tape: whatever followed it is gone.
    if (!SetEndOfFile(handle->get_os_handle())) {
        handle->last_error = GetLastError();
        return -1;
    }
    *count = written;
    return 0;
}

int32_t brx_file_tape_io_t::file_read(tape_io_handle_t* handle, uint32_t skip, uint8_t* buffer, uint32_t length,
                                      uint32_t* count)
{
    *count = 0;
    uint64_t ignored = 0;
    if (skip != 0 && file_skip(handle, skip, &ignored) != 0)
        return -1;
    if (buffered(handle))
        return image_read(handle, buffer, length, count);
    DWORD read = 0;
    if (!ReadFile(handle->get_os_handle(), buffer, length, &read, nullptr)) {
        handle->last_error = GetLastError();
        return -1;
    }
    *count = read;
    return 0;
}

int32_t brx_file_tape_io_t::file_skip(tape_io_handle_t* handle, uint32_t distance, uint64_t* new_position)
{
    return move_file_pointer(handle, distance, FILE_CURRENT, new_position);
}

int32_t brx_file_tape_io_t::file_seek(tape_io_handle_t* handle, uint64_t position)
{
    uint64_t ignored = 0;
    return move_file_pointer(handle, position, FILE_BEGIN, &ignored);
}

int32_t brx_file_tape_io_t::file_tell(tape_io_handle_t* handle, uint64_t* position)
{
    return move_file_pointer(handle, 0, FILE_CURRENT, position);
}

// SetFilePointer with both halves: 0xFFFFFFFF is also the low half of a valid offset, so only
// a non-zero last error makes it a failure, and a stale one must not count.
int32_t brx_file_tape_io_t::move_file_pointer(tape_io_handle_t* handle, uint64_t distance, DWORD method,
                                              uint64_t* result)
{
    if (buffered(handle)) {
        *result = method == FILE_BEGIN ? distance : image_tell(handle) + distance;
        return image_seek(handle, *result);
    }
    LONG high = static_cast<LONG>(static_cast<uint32_t>(distance >> 32));
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(handle->get_os_handle(), static_cast<LONG>(static_cast<uint32_t>(distance)), &high,
                               method);
    if (low == INVALID_SET_FILE_POINTER) {
        DWORD code = GetLastError();
        if (code != NO_ERROR) {
            handle->last_error = code;
            return -1;
        }
    }
    *result = (uint64_t{static_cast<uint32_t>(high)} << 32) | low;
    return 0;
}
