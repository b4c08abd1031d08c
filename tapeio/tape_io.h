// The driver interface: one stateless object per kind of medium, all state in the handle.
#pragma once

#include <cstdint>

#include "tapeio/tape_io_handle.h"

// The order of these operations is fixed; every driver keeps it.
class tape_io_t {
public:
    virtual int32_t data_offset(tape_io_handle_t* handle) = 0;
    virtual int32_t get_block_count(tape_io_handle_t* handle, uint32_t* count);
    virtual int32_t test_user_flag(tape_io_handle_t* handle);
    virtual void set_user_flag(tape_io_handle_t* handle);
    virtual int32_t erase(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) = 0;
    virtual int32_t flush(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) = 0;
    virtual int32_t setup(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) = 0;
    virtual int32_t read_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) = 0;
    virtual int32_t read_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) = 0;
    virtual int32_t rewind(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) = 0;
    virtual int32_t space_file_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) = 0;
    virtual int32_t space_file_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) = 0;
    virtual int32_t space_record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size,
                                         uint32_t count) = 0;
    virtual int32_t space_record_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size,
                                         uint32_t count) = 0;
    virtual int32_t step_record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size,
                                        uint32_t count) = 0;
    virtual int32_t step_record_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size,
                                        uint32_t count) = 0;
    virtual int32_t write_record(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length) = 0;
    virtual int32_t write_tape_mark(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) = 0;
    virtual int32_t unload(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) = 0;
    virtual void clear_error(tape_io_handle_t* handle);
    virtual void clear_user_flag(tape_io_handle_t* handle);
    virtual void add_blocks(tape_io_handle_t* handle, int32_t n);
    virtual void reset_blocks(tape_io_handle_t* handle);
    virtual void set_blocks(tape_io_handle_t* handle, int32_t n);
    virtual int32_t get_prev_offset(tape_io_handle_t* handle, uint64_t* offset);
    virtual void set_prev_offset(tape_io_handle_t* handle, uint64_t offset);
    virtual int32_t get_position(tape_io_handle_t* handle, uint64_t* position);
    virtual void set_position(tape_io_handle_t* handle, uint64_t position);

protected:
    // Every tape operation starts here: clears last_error and user_flag through the table.
    void begin_operation(tape_io_handle_t* handle);
};
