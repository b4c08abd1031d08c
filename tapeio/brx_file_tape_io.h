// A container file driven as a tape: blocks are tape records, zero-length blocks tape marks,
// the end of the file is the end of the recorded data and the offset of the next header is
// the tape position. The caller opens the file, attaches it and calls setup first.
// The results, and what is refused as damaged, are listed in brx_file_tape_io.cpp.
#pragma once

#include <cstdint>

#include "tapeio/container_header.h"
#include "tapeio/tape_io.h"

class brx_file_tape_io_t : public tape_io_t {
public:
    int32_t data_offset(tape_io_handle_t* handle) override;
    int32_t get_block_count(tape_io_handle_t* handle, uint32_t* count) override;
    int32_t erase(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t flush(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t setup(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t read_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t read_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t rewind(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t space_file_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t space_file_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t space_record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size,
                                 uint32_t count) override;
    int32_t space_record_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size,
                                 uint32_t count) override;
    int32_t step_record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size,
                                uint32_t count) override;
    int32_t step_record_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size,
                                uint32_t count) override;
    int32_t write_record(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length) override;
    int32_t write_tape_mark(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t unload(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    // -1 when no block lies before the position (a stored offset of 1 to 7), else 0.
    int32_t get_prev_offset(tape_io_handle_t* handle, uint64_t* offset) override;
    void set_prev_offset(tape_io_handle_t* handle, uint64_t offset) override;

    // Stores the full offset of the previous header, widened from the 32-bit back-pointer
    // held by the header at header_offset.
    virtual void set_prev_from_back_pointer(tape_io_handle_t* handle, uint64_t header_offset,
                                            uint32_t back_pointer);

private:
    // The record header in front of the data; results are signed 32-bit, so a longer
    // block cannot be reported.
    static constexpr uint32_t header_size = container_header_size;
    static constexpr uint32_t largest_reported_length = 0x7FFFFFFF;

    // What one step over a block found.
    struct block_t {
        uint32_t length = 0;
        uint32_t back_pointer = 0;
        uint64_t header_offset = 0;
    };
    // space: pass only; step: pass and report the length; read: also deliver the data.
    enum class pass_t { space, step, read };

    // File access on os_handle: 0, or -1 with GetLastError() in last_error.
    // A short transfer is not a failure here; the caller compares the count.
    int32_t file_write(tape_io_handle_t* handle, const uint8_t* buffer, uint32_t length, uint32_t* count);
    int32_t file_read(tape_io_handle_t* handle, uint32_t skip, uint8_t* buffer, uint32_t length,
                      uint32_t* count);
    int32_t file_skip(tape_io_handle_t* handle, uint32_t distance, uint64_t* new_position);
    int32_t file_seek(tape_io_handle_t* handle, uint64_t position);
    int32_t settle_at_file_pointer(tape_io_handle_t* handle, BOOL done);
    BOOL end_file_here(tape_io_handle_t* handle);
    BOOL flush_file(tape_io_handle_t* handle);
    int32_t file_tell(tape_io_handle_t* handle, uint64_t* position);
    int32_t move_file_pointer(tape_io_handle_t* handle, uint64_t distance, DWORD method, uint64_t* result);

    int32_t restore(tape_io_handle_t* handle, int32_t result, int32_t seek_failed);
    void record_forward(tape_io_handle_t* handle, uint64_t new_position);
    int32_t write_block(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length);

    int32_t read_header(tape_io_handle_t* handle, uint8_t* buffer, block_t* block);
    int32_t pass_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, pass_t pass, block_t* block);
    bool leads_back(const block_t& block);
    int32_t pass_backward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, pass_t pass, block_t* block);
    int32_t read_tail(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, const block_t& block);
};
