// The driver over the operating system's tape API: ReadFile and WriteFile per record, the tape
// calls for everything else; block_count is read back from the tape after every movement.
#pragma once

#include "tapeio/tape_io.h"

class physical_tape_io_t : public tape_io_t {
public:
    int32_t data_offset(tape_io_handle_t* handle) override;
    int32_t get_block_count(tape_io_handle_t* handle, uint32_t* count) override;
    int32_t erase(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t flush(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    // Compression off, padding on, setmarks unreported, variable blocks, buffered mode; never fails.
    // Works in the buffer: parameter structures, then a request block and mode data (4351 bytes).
    int32_t setup(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t read_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t read_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t rewind(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t space_file_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t space_file_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t space_record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, uint32_t count) override;
    // The reverse movements pass one record whatever the count.
    int32_t space_record_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, uint32_t count) override;
    int32_t step_record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, uint32_t count) override;
    int32_t step_record_reverse(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, uint32_t count) override;
    int32_t write_record(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length) override;
    int32_t write_tape_mark(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t unload(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;

    // block_count := the tape's logical block and on_success; or on_failure with the query's code
    // in last_error and in the thread's last error, block_count unchanged.
    int32_t sync_block_count(tape_io_handle_t* handle, int32_t on_success, int32_t on_failure);

private:
    // What a spacing call returns per outcome; the _failed values when the position query fails.
    // space_*: a tape mark met counts as success; step_*: it answers 0 where a passed record answers 1.
    struct move_results_t {
        int32_t done, done_failed, mark, mark_failed, edge_failed, no_data_failed;
    };
    static constexpr move_results_t space_results{0, -4, 0, -4, -5, -6};
    static constexpr move_results_t step_results{1, -4, 0, -5, -6, -7};
    int32_t move(tape_io_handle_t* handle, DWORD method, bool forward, uint32_t count, const move_results_t& results);
    int32_t tape_failure(tape_io_handle_t* handle, DWORD code, int32_t result);

    void adjust_drive_switches(tape_io_handle_t* handle, uint8_t* buffer);
    void select_variable_blocks(tape_io_handle_t* handle, uint8_t* buffer);
    void select_buffered_mode(tape_io_handle_t* handle, uint8_t* buffer);
};
