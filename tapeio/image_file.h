// An image file read and written through a buffer of the handle's own, so that a block costs a
// copy rather than system calls: reads take the file 256 KiB at a time (a read of a quarter of
// that or more goes straight into the caller's buffer, and after it, or after a skip, only a
// little is read ahead), writes gather and go out alike, and the file is asked its type and size
// once. A buffer that small stays in the processor's cache while its blocks are looked at. The system's file pointer moves only when the tape moves backwards or skips
// past what the buffer holds; a seek here only says where the next read or write happens.
//
// A pipe (or a terminal) goes forwards only: a skip forwards reads and drops the bytes, and a read
// or write before what it has passed fails with ERROR_SEEK_ON_DEVICE. While pinned, everything read
// from the start stays in the buffer so that the start can be read again (format detection); a
// read that needs more than the buffer holds then fails with ERROR_MORE_DATA.
//
// Written bytes reach the system when the buffer is full, at a seek elsewhere, before a read, and
// at image_flush: a caller that closes the file calls image_flush first.
#pragma once

#include <cstdint>
#include <cstring>

class tape_io_handle_t;

// What a buffer holds belongs to one handle: a handle copied or assigned starts without one.
struct image_file_t {
    image_file_t() = default;
    image_file_t(const image_file_t&) {}
    image_file_t& operator=(const image_file_t& other);
    ~image_file_t();
    // A newly attached file: nothing known, nothing buffered; the memory is kept.
    void reset();

    uint8_t* data = nullptr;
    uint32_t capacity = 0;
    uint64_t base = 0;           // the file offset of data[0]
    uint32_t fill = 0;           // bytes in data: read ahead, or written and not yet passed on
    uint64_t offset = 0;         // where the next read or write happens
    uint64_t system_offset = 0;  // where the system's file pointer stands
    bool writing = false;        // data holds bytes written at base
    bool cut = false;            // the file ends after the written bytes once they are out
    bool probed = false;         // type and size asked
    bool seekable = true;
    bool size_known = false;
    uint64_t size = 0;  // the file's size (a pipe's once its end was read)
    bool pinned = false;
    bool sparse = false;  // the last read went straight past the buffer: read little ahead
    // Room for a record a driver holds whole apart from the caller's buffer (HET's compressed data).
    uint8_t* record = nullptr;
    uint32_t record_capacity = 0;
};

constexpr uint32_t image_buffer_default = 256 * 1024;

// Gives the handle a buffer of capacity bytes (at least 16) before its first use; one of the
// default size is made at the first read or write otherwise. false: no memory.
bool image_buffer(tape_io_handle_t* handle, uint32_t capacity);
// Results 0, or -1 with the code in last_error. A read gives fewer bytes than asked only at the
// end of the file; a write is whole or fails.
int32_t image_read(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length, uint32_t* count);
int32_t image_write(tape_io_handle_t* handle, const uint8_t* buffer, uint32_t length);
// image_read's common case, inline: all the bytes are in the buffer. false: call image_read.
inline bool image_take(image_file_t& file, uint8_t* buffer, uint32_t length)
{
    uint64_t at = file.offset - file.base;
    if (file.writing || file.offset < file.base || at + length > file.fill)
        return false;
    std::memcpy(buffer, file.data + at, length);
    file.offset += length;
    return true;
}
// Where the next read or write happens (written bytes before it go out first when it moves).
int32_t image_seek(tape_io_handle_t* handle, uint64_t offset);
uint64_t image_tell(const tape_io_handle_t* handle);
// The file ends at the current offset (when the written bytes are out); nothing for a pipe.
int32_t image_end_here(tape_io_handle_t* handle);
// Written bytes out to the system.
int32_t image_flush(tape_io_handle_t* handle);
// The file's size, when known: a file's from the start, a pipe's once its end has been read.
bool image_size(tape_io_handle_t* handle, uint64_t* size);
// Whether the file can seek: false for a pipe or a terminal.
bool image_seekable(tape_io_handle_t* handle);
// Keeps (true) or lets go of what was read from the start; pinning only before the first read.
void image_pin(tape_io_handle_t* handle, bool pinned);
// Room for length bytes in the handle's record buffer; nullptr when there is no memory.
uint8_t* image_record_room(tape_io_handle_t* handle, uint32_t length);
