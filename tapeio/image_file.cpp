#include "tapeio/image_file.h"

#include <algorithm>
#include <cstring>

#include "tapeio/tape_io_handle.h"

namespace {

uint8_t* allocate(uint32_t size)
{
    return static_cast<uint8_t*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

void release(uint8_t*& memory)
{
    if (memory != nullptr)
        VirtualFree(memory, 0, MEM_RELEASE);
    memory = nullptr;
}

int32_t failed(tape_io_handle_t* handle, DWORD code)
{
    handle->last_error = code;
    return -1;
}

// The type and size, asked once; a file's system pointer is then at its end.
void probe(tape_io_handle_t* handle)
{
    image_file_t& file = handle->image;
    file.probed = true;
    file.seekable = GetFileType(handle->get_os_handle()) == FILE_TYPE_DISK;
    if (!file.seekable)
        return;
    LONG high = 0;
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(handle->get_os_handle(), 0, &high, FILE_END);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
        file.seekable = false;  // read as a stream from where it stands
        return;
    }
    file.size = (uint64_t{static_cast<uint32_t>(high)} << 32) | low;
    file.size_known = true;
    file.system_offset = file.size;
}

bool ready(tape_io_handle_t* handle)
{
    if (handle->image.data == nullptr && !image_buffer(handle, image_buffer_default)) {
        handle->last_error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    if (!handle->image.probed)
        probe(handle);
    return true;
}

// Up to length bytes from the system at its pointer; fewer only at the end of the file (a pipe's
// writer gone counts as its end).
int32_t system_read(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length, uint32_t* count)
{
    image_file_t& file = handle->image;
    *count = 0;
    while (*count < length) {
        DWORD got = 0;
        if (!ReadFile(handle->get_os_handle(), buffer + *count, length - *count, &got, nullptr)) {
            if (GetLastError() != ERROR_BROKEN_PIPE)
                return failed(handle, GetLastError());
            got = 0;
        }
        file.system_offset += got;
        *count += got;
        if (got == 0) {
            if (!file.seekable) {
                file.size = file.system_offset;
                file.size_known = true;
            }
            break;
        }
    }
    return 0;
}

int32_t system_write(tape_io_handle_t* handle, const uint8_t* buffer, uint32_t length)
{
    image_file_t& file = handle->image;
    DWORD written = 0;
    if (!WriteFile(handle->get_os_handle(), buffer, length, &written, nullptr))
        return failed(handle, GetLastError());
    if (written != length)
        return failed(handle, ERROR_WRITE_FAULT);
    file.system_offset += written;
    file.size = std::max(file.size, file.system_offset);
    return 0;
}

// The system's pointer to target: a seek, or on a pipe that is read a read of the bytes in between
// (the buffer's contents are given up for them).
int32_t system_move(tape_io_handle_t* handle, uint64_t target, bool writing)
{
    image_file_t& file = handle->image;
    if (file.system_offset == target)
        return 0;
    if (file.seekable) {
        LONG high = static_cast<LONG>(static_cast<uint32_t>(target >> 32));
        SetLastError(NO_ERROR);
        DWORD low = SetFilePointer(handle->get_os_handle(), static_cast<LONG>(static_cast<uint32_t>(target)), &high,
                                   FILE_BEGIN);
        if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
            return failed(handle, GetLastError());
        file.system_offset = target;
        return 0;
    }
    if (target < file.system_offset || writing)
        return failed(handle, ERROR_SEEK_ON_DEVICE);
    file.fill = 0;
    while (file.system_offset < target) {
        uint32_t count = 0;
        uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(file.capacity, target - file.system_offset));
        if (system_read(handle, file.data, length, &count) != 0)
            return -1;
        if (count == 0)
            break;  // the stream ends before the target: reads there find its end
    }
    return 0;
}

// Written bytes to the system, and the cut that the last end asked for.
int32_t flush_writes(tape_io_handle_t* handle)
{
    image_file_t& file = handle->image;
    if (!file.writing)
        return 0;
    uint64_t at = file.base;
    uint32_t pending = file.fill;
    file.writing = false;
    file.fill = 0;
    file.base = file.offset;
    if (pending > 0 && (system_move(handle, at, true) != 0 || system_write(handle, file.data, pending) != 0))
        return -1;
    if (file.cut && file.seekable) {
        file.cut = false;
        if (!SetEndOfFile(handle->get_os_handle()))
            return failed(handle, GetLastError());
        file.size = file.system_offset;
    }
    return 0;
}

// Pinned: everything from the start stays; the buffer grows towards its capacity.
int32_t read_more_pinned(tape_io_handle_t* handle, bool* more)
{
    image_file_t& file = handle->image;
    uint32_t count = 0;
    *more = false;
    if (file.fill < file.capacity) {
        if (system_move(handle, file.base + file.fill, false) != 0 ||
            system_read(handle, file.data + file.fill, file.capacity - file.fill, &count) != 0)
            return -1;
        file.fill += count;
        *more = count > 0;
    }
    if (!*more && !(file.size_known && file.offset >= file.size))
        return failed(handle, ERROR_MORE_DATA);  // there is more, but no room to keep it
    return 0;
}

// Reads at the offset: straight into into when given (a long read, which the buffer would only
// copy), else into the buffer. After a long read or a skip only a little is read ahead, so that
// records passed over or read straight are not read twice.
int32_t read_ahead(tape_io_handle_t* handle, uint8_t* into, uint32_t wanted, uint32_t* got)
{
    image_file_t& file = handle->image;
    bool skipped = file.offset != file.base + file.fill;
    if (system_move(handle, file.offset, false) != 0)
        return -1;
    file.fill = 0;
    file.base = file.offset;
    if (into != nullptr) {
        if (system_read(handle, into, wanted, got) != 0)
            return -1;
        file.offset += *got;
        file.base = file.offset;
        file.sparse = true;
        return 0;
    }
    uint32_t ahead = file.sparse || skipped ? std::max<uint32_t>(file.capacity / 16, wanted) : file.capacity;
    file.sparse = false;
    if (system_read(handle, file.data, ahead, got) != 0)
        return -1;
    file.fill = *got;
    return 0;
}

}  // namespace

image_file_t::~image_file_t()
{
    release(data);
    release(record);
}

image_file_t& image_file_t::operator=(const image_file_t& other)
{
    if (this != &other) {
        release(data);
        release(record);
        capacity = record_capacity = 0;
        reset();
    }
    return *this;
}

void image_file_t::reset()
{
    base = offset = system_offset = size = 0;
    fill = 0;
    writing = cut = probed = size_known = pinned = sparse = false;
    seekable = true;
}

bool image_buffer(tape_io_handle_t* handle, uint32_t capacity)
{
    image_file_t& file = handle->image;
    capacity = std::max<uint32_t>(capacity, 16);
    uint8_t* memory = allocate(capacity);
    if (memory == nullptr)
        return false;
    release(file.data);
    file.data = memory;
    file.capacity = capacity;
    file.fill = 0;
    file.base = file.offset;
    return true;
}

int32_t image_read(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length, uint32_t* count)
{
    image_file_t& file = handle->image;
    *count = 0;
    if (!ready(handle) || flush_writes(handle) != 0)
        return -1;
    while (*count < length) {
        uint32_t wanted = length - *count;
        if (file.offset >= file.base && file.offset < file.base + file.fill) {
            uint32_t at = static_cast<uint32_t>(file.offset - file.base);
            uint32_t take = std::min(wanted, file.fill - at);
            std::memcpy(buffer + *count, file.data + at, take);
            *count += take;
            file.offset += take;
            continue;
        }
        if (file.pinned) {
            bool more = false;
            if (read_more_pinned(handle, &more) != 0)
                return -1;
            if (!more)
                break;
            continue;
        }
        uint32_t got = 0;
        bool straight = wanted >= file.capacity / 4;
        if (read_ahead(handle, straight ? buffer + *count : nullptr, wanted, &got) != 0)
            return -1;
        *count += straight ? got : 0;
        if (got == 0 || straight)
            break;
    }
    return 0;
}

int32_t image_write(tape_io_handle_t* handle, const uint8_t* buffer, uint32_t length)
{
    image_file_t& file = handle->image;
    if (!ready(handle))
        return -1;
    if (!file.writing) {
        file.writing = true;
        file.base = file.offset;
        file.fill = 0;
    }
    bool straight = length >= file.capacity / 4;  // the buffer would only copy it
    if ((straight || file.fill + uint64_t{length} > file.capacity) && flush_writes(handle) != 0)
        return -1;
    file.writing = true;
    if (straight) {
        if (system_move(handle, file.offset, true) != 0 || system_write(handle, buffer, length) != 0)
            return -1;
        file.offset += length;
        file.base = file.offset;
        return 0;
    }
    std::memcpy(file.data + file.fill, buffer, length);
    file.fill += length;
    file.offset += length;
    return 0;
}

int32_t image_seek(tape_io_handle_t* handle, uint64_t offset)
{
    image_file_t& file = handle->image;
    if (file.writing && offset != file.offset && flush_writes(handle) != 0)
        return -1;
    file.offset = offset;
    return 0;
}

uint64_t image_tell(const tape_io_handle_t* handle) { return handle->image.offset; }

int32_t image_end_here(tape_io_handle_t* handle)
{
    image_file_t& file = handle->image;
    if (!ready(handle))
        return -1;
    if (!file.seekable)
        return 0;
    if (file.writing) {
        file.cut = file.cut || file.size > file.offset;
        return 0;
    }
    if (file.size == file.offset)
        return 0;
    if (system_move(handle, file.offset, true) != 0)
        return -1;
    if (!SetEndOfFile(handle->get_os_handle()))
        return failed(handle, GetLastError());
    file.size = file.offset;
    if (file.base + file.fill > file.offset)
        file.fill = file.offset > file.base ? static_cast<uint32_t>(file.offset - file.base) : 0;
    return 0;
}

int32_t image_flush(tape_io_handle_t* handle) { return flush_writes(handle); }

bool image_size(tape_io_handle_t* handle, uint64_t* size)
{
    if (!ready(handle))
        return false;
    *size = handle->image.size;
    return handle->image.size_known;
}

bool image_seekable(tape_io_handle_t* handle) { return ready(handle) && handle->image.seekable; }

void image_pin(tape_io_handle_t* handle, bool pinned)
{
    image_file_t& file = handle->image;
    file.pinned = pinned && file.base == 0 && !file.writing;
}

uint8_t* image_record_room(tape_io_handle_t* handle, uint32_t length)
{
    image_file_t& file = handle->image;
    if (file.record_capacity >= length && file.record != nullptr)
        return file.record;
    release(file.record);
    file.record_capacity = 0;
    file.record = allocate(std::max<uint32_t>(length, 1));
    if (file.record != nullptr)
        file.record_capacity = std::max<uint32_t>(length, 1);
    return file.record;
}
