// A SIMH tape image (.tap): every record a 32-bit little-endian word (class in bits 31-28,
// length in bits 23-0), the data, a pad byte after an odd length, the same word again. Word 0 is
// a tape mark and 0xFFFFFFFF the end of the medium. Class 8 marks a bad record (length 0: no
// data). Reading passes over erase gaps, half gaps and the records and markers of the private,
// reserved and description classes, counting them in the handle's passed_over; other markers
// are damage. erase leaves an end-of-medium word at the end of the data. prev_offset is not kept.
#pragma once

#include "tapeio/image_tape_io.h"

class simh_tap_tape_io_t : public image_tape_io_t {
public:
    int32_t data_offset(tape_io_handle_t* handle) override;
    uint32_t largest_record() override;
    bool marks_bad_records() override;

protected:
    // The bytes between a record's data and its trailing word.
    virtual uint32_t padding(uint32_t length);

    int32_t step_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver) override;
    int32_t step_backward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver) override;
    int32_t write_block(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length) override;
    int32_t write_end_marker(tape_io_handle_t* handle, uint8_t* buffer) override;

private:
    // What one word at a block boundary stands for.
    enum class word_kind_t { mark, end, gap, half_gap, marker, skipped_record, record, damage };
    word_kind_t classify(uint32_t word, bool forward);
    void count_passed(tape_io_handle_t* handle, uint32_t word);
    int32_t record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver, uint32_t word);
    int32_t record_backward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver, uint32_t word,
                            uint64_t* start);
};
