// The tape driver over SCSI pass-through: six-byte sequential-access commands, one per operation.
#pragma once

#include <cstdint>

#include "tapeio/tape_io.h"

struct sense_view_t;

// Abstract: the two variants supply setup. Results of every operation are listed in its file.
class spti_tape_io_t : public tape_io_t {
public:
    int32_t data_offset(tape_io_handle_t* handle) override;
    int32_t get_block_count(tape_io_handle_t* handle, uint32_t* count) override;
    int32_t erase(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
    int32_t flush(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size) override;
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
    int32_t get_position(tape_io_handle_t* handle, uint64_t* position) override;

private:
    int32_t rewound(tape_io_handle_t* handle);
    int32_t read_sense_outcome(tape_io_handle_t* handle, const sense_view_t& sense, uint32_t requested);
    int32_t space_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t count, uint32_t timeout,
                          int32_t good_result);
    int32_t space_backward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t count, uint32_t timeout,
                           int32_t good_result);
    int32_t forward_sense_outcome(tape_io_handle_t* handle, const sense_view_t& sense, uint32_t count);
    int32_t backward_sense_outcome(tape_io_handle_t* handle, const sense_view_t& sense, uint32_t count);
    int32_t write_outcome(tape_io_handle_t* handle, uint8_t* buffer, int32_t written);
};
