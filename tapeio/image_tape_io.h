// What the drivers of foreign tape images share: the file calls, rewind, the spaces and steps
// built on one step over a block in either direction, and the results they give.
//
// Results: a record's length (its full length, also when only its first part fitted the
// buffer), 0 for a tape mark; -1 the start of the image (backward), a failed file call or a
// damaged image (last_error ERROR_INVALID_DATA; the tape stays before the damage); -2 the end of
// the recorded data (forward); -3 a seek that failed. A record marked bad sets the handle's
// bad_record, so check bad_record before taking a result of 0 for a tape mark. A fragment at the end
// of the file shorter than the format's length word or header is the end of the data (-2), as
// SIMH's reader takes it; the tape stays before it.
// The file is read and written through the handle's image buffer (tapeio/image_file.h), whose
// offset stands on position, the offset of the next block, between operations. A pipe is read and
// written forwards; a movement that needs to go back in one fails with ERROR_SEEK_ON_DEVICE.
#pragma once

#include <cstdint>

#include "tapeio/tape_io.h"

class image_tape_io_t : public tape_io_t {
public:
    int32_t get_block_count(tape_io_handle_t* handle, uint32_t* count) override;
    int32_t erase(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t flush(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t setup(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t read_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t read_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t rewind(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t space_file_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t space_file_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t space_record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, uint32_t count) override;
    int32_t space_record_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, uint32_t count) override;
    int32_t step_record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, uint32_t count) override;
    int32_t step_record_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, uint32_t count) override;
    int32_t write_record(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length) override;
    int32_t write_tape_mark(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t unload(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;

    // The longest record the format holds.
    virtual uint32_t largest_record() = 0;
    // Whether write_record can mark a record bad.
    virtual bool marks_bad_records() = 0;

protected:
    // One step over a block from position, the file pointer there. deliver: put the record's
    // data (its first size - data_offset bytes) at data_offset, else only pass it. On success the
    // handle is after the block and the result is its length (0 for a tape mark).
    virtual int32_t step_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver) = 0;
    // The same backwards; a record too long for the buffer delivers its tail.
    virtual int32_t step_backward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver) = 0;
    // Writes a record of length bytes (at data_offset) or, with length 0, a tape mark, at position.
    virtual int32_t write_block(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length) = 0;
    // What erase leaves at the end of the data: nothing, unless the format has an end marker.
    virtual int32_t write_end_marker(tape_io_handle_t* handle, uint8_t* buffer);

    // Sequential reads and writes at the buffer's offset; 0, or -1 with the system's code.
    int32_t file_read(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length, uint32_t* count);
    int32_t file_write(tape_io_handle_t* handle, const uint8_t* buffer, uint32_t length);
    int32_t file_seek(tape_io_handle_t* handle, uint64_t offset);
    int32_t file_end_here(tape_io_handle_t* handle);
    // Reads exactly length bytes at offset: 0, -1 (damaged: the file ends first) or -3.
    int32_t read_exactly(tape_io_handle_t* handle, uint64_t offset, uint8_t* buffer, uint32_t length);
    // A damaged block: ERROR_INVALID_DATA, the file pointer back on position; result -1 (or -3).
    int32_t damaged(tape_io_handle_t* handle);
    // Back on position after a failure; result, or -3 when even that fails.
    int32_t restore(tape_io_handle_t* handle, int32_t result);
    // The block count and position after one block passed forwards (to end) or backwards (to start).
    void moved_forward(tape_io_handle_t* handle, uint64_t end);
    void moved_backward(tape_io_handle_t* handle, uint64_t start);

private:
    int32_t read_checked(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool forward);
    int32_t step_over(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool forward, uint32_t count);
    int32_t space_file(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool forward);
};
