#include "tapeio/simh_tap_tape_io.h"

#include <algorithm>

#include "tapeio/little_endian.h"

namespace {

constexpr uint32_t word_size = 4;
constexpr uint32_t end_of_medium = 0xFFFFFFFF;
constexpr uint32_t erase_gap = 0xFFFFFFFE;
constexpr uint32_t half_gap = 0xFFFEFFFF;
constexpr uint32_t bad_flag = 0x80000000;
constexpr uint32_t standard_length = 0x00FFFFFF;

uint32_t word_class(uint32_t word) { return word >> 28; }

// Classes 0 and 8 hold their length in bits 23-0; the others in bits 27-0.
uint32_t record_length(uint32_t word)
{
    return word_class(word) == 0 || word_class(word) == 8 ? word & standard_length : word & 0x0FFFFFFF;
}

}  // namespace

int32_t simh_tap_tape_io_t::data_offset(tape_io_handle_t*) { return word_size; }
uint32_t simh_tap_tape_io_t::largest_record() { return standard_length; }
bool simh_tap_tape_io_t::marks_bad_records() { return true; }
uint32_t simh_tap_tape_io_t::padding(uint32_t length) { return length & 1; }

simh_tap_tape_io_t::word_kind_t simh_tap_tape_io_t::classify(uint32_t word, bool forward)
{
    if (word == 0)
        return word_kind_t::mark;
    if (word == erase_gap)
        return word_kind_t::gap;
    if (forward && word == end_of_medium)
        return word_kind_t::end;
    // Going backwards, a half gap is its first two bytes, 0xFFFF, on top of the two before it,
    // whatever they are (the end of a gap makes 0xFFFFFFFF: no reader stands behind an end marker).
    if (forward ? word == half_gap : (word >> 16) == 0xFFFF)
        return word_kind_t::half_gap;
    switch (word_class(word)) {
    case 0xF:
        return word_kind_t::damage;  // illegal and reserved markers
    case 7:
        return word_kind_t::marker;
    case 0:
    case 8:
        return (word & 0x7F000000) != 0 ? word_kind_t::damage : word_kind_t::record;
    default:
        return word_kind_t::skipped_record;
    }
}

void simh_tap_tape_io_t::count_passed(tape_io_handle_t* handle, uint32_t word)
{
    passed_over_t& passed = handle->passed_over;
    uint32_t kind = word_class(word);
    if (kind == 0xF)
        ++passed.gaps;
    else if (kind <= 7)
        ++passed.private_items;
    else if (kind == 0xE)
        ++passed.descriptions;
    else
        ++passed.reserved;
}

int32_t simh_tap_tape_io_t::step_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver)
{
    handle->bad_record = false;
    handle->passed_over = passed_over_t{};
    for (;;) {
        uint64_t start = handle->position;
        uint8_t bytes[word_size];
        uint32_t count = 0;
        if (file_read(handle, bytes, word_size, &count) != 0)
            return restore(handle, -1);
        if (count < word_size)
            return restore(handle, -2);  // the end of the file (a stray tail too): the end of the data
        uint32_t word = get_le32(bytes);
        word_kind_t kind = classify(word, true);
        switch (kind) {
        case word_kind_t::mark:
            moved_forward(handle, start + word_size);
            return 0;
        case word_kind_t::end:
            return restore(handle, -2);
        case word_kind_t::damage:
            return damaged(handle);
        case word_kind_t::half_gap:
            set_position(handle, start + 2);
            if (file_seek(handle, start + 2) != 0)
                return -3;
            break;
        case word_kind_t::gap:
        case word_kind_t::marker:
            set_position(handle, start + word_size);
            break;
        case word_kind_t::record:
        case word_kind_t::skipped_record: {
            bool data = kind == word_kind_t::record;
            int32_t result = record_forward(handle, buffer, size, deliver && data, word);
            if (result < 0)
                return result;
            uint64_t end = start + 2 * word_size + record_length(word) + padding(record_length(word));
            if (data) {
                moved_forward(handle, end);
                handle->bad_record = word_class(word) == 8;
                return result;
            }
            set_position(handle, end);
            break;
        }
        }
        count_passed(handle, word);
    }
}

// The data and trailing word after a leading word just read; the file pointer ends after them.
int32_t simh_tap_tape_io_t::record_forward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver,
                                           uint32_t word)
{
    uint32_t length = record_length(word);
    uint32_t pad = padding(length);
    uint32_t room = deliver ? size - word_size : 0;
    uint8_t trailer[word_size];
    uint32_t count = 0;
    if (deliver && length <= room && room - length >= pad + word_size) {
        uint32_t wanted = length + pad + word_size;  // data, pad and trailing word in one read
        if (file_read(handle, buffer + word_size, wanted, &count) != 0)
            return restore(handle, -1);
        if (count != wanted)
            return damaged(handle);
        std::copy_n(buffer + word_size + length + pad, word_size, trailer);
    } else {
        uint32_t wanted = std::min(length, room);
        if (wanted > 0 && file_read(handle, buffer + word_size, wanted, &count) != 0)
            return restore(handle, -1);
        if (count != wanted)
            return damaged(handle);
        int32_t read = read_exactly(handle, handle->position + word_size + length + pad, trailer, word_size);
        if (read != 0)
            return read == -3 ? -3 : restore(handle, -1);
    }
    if (get_le32(trailer) != word)
        return damaged(handle);
    return static_cast<int32_t>(length);
}

int32_t simh_tap_tape_io_t::step_backward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver)
{
    handle->bad_record = false;
    handle->passed_over = passed_over_t{};
    for (;;) {
        uint64_t end = handle->position;
        if (end == 0)
            return restore(handle, -1);  // the start of the tape
        // A half gap may stand at the very start, two bytes from it.
        uint32_t got = end < word_size ? static_cast<uint32_t>(end) : word_size;
        uint8_t bytes[word_size] = {};
        int32_t read = read_exactly(handle, end - got, bytes + word_size - got, got);
        if (read != 0)
            return read == -3 ? -3 : restore(handle, -1);
        uint32_t word = get_le32(bytes);
        word_kind_t kind = classify(word, false);
        if (kind == word_kind_t::damage || (got < word_size && kind != word_kind_t::half_gap))
            return damaged(handle);
        uint64_t start = end - got;
        if (kind == word_kind_t::half_gap)
            start = end - 2;
        if (kind == word_kind_t::record || kind == word_kind_t::skipped_record) {
            bool data = kind == word_kind_t::record;
            int32_t result = record_backward(handle, buffer, size, deliver && data, word, &start);
            if (result < 0)
                return result;
            if (data) {
                if (file_seek(handle, start) != 0)
                    return -3;
                moved_backward(handle, start);
                handle->bad_record = word_class(word) == 8;
                return result;
            }
        }
        if (kind == word_kind_t::mark) {
            if (file_seek(handle, start) != 0)
                return -3;
            moved_backward(handle, start);
            return 0;
        }
        set_position(handle, start);
        count_passed(handle, word);
    }
}

// The record whose trailing word ends at position: its leading word must match. Gives its start.
int32_t simh_tap_tape_io_t::record_backward(tape_io_handle_t* handle, uint8_t* buffer, uint32_t size, bool deliver,
                                            uint32_t word, uint64_t* start)
{
    uint64_t end = handle->position;
    uint32_t length = record_length(word);
    uint64_t span = uint64_t{2} * word_size + length + padding(length);
    if (end < span)
        return damaged(handle);
    *start = end - span;
    uint8_t leading[word_size];
    int32_t read = read_exactly(handle, *start, leading, word_size);
    if (read != 0)
        return read == -3 ? -3 : restore(handle, -1);
    if (get_le32(leading) != word)
        return damaged(handle);
    uint32_t wanted = deliver ? std::min(length, size - word_size) : 0;
    if (wanted > 0) {
        read = read_exactly(handle, *start + word_size + length - wanted, buffer + word_size, wanted);
        if (read != 0)
            return read == -3 ? -3 : restore(handle, -1);
    }
    return static_cast<int32_t>(length);
}

int32_t simh_tap_tape_io_t::write_block(tape_io_handle_t* handle, uint8_t* buffer, uint32_t length)
{
    bool bad = handle->bad_record;
    uint32_t word = length | (bad ? bad_flag : 0);
    put_le32(buffer, word);
    uint32_t pad = word == 0 ? 0 : padding(length);
    uint8_t trailer[1 + word_size] = {};
    put_le32(trailer + pad, word);
    bool written = file_write(handle, buffer, word_size + length) == 0 &&
                   (word == 0 || file_write(handle, trailer, pad + word_size) == 0) && file_end_here(handle) == 0;
    if (!written)
        return restore(handle, -1);
    moved_forward(handle, handle->position + word_size + (word == 0 ? 0 : length + pad + word_size));
    return static_cast<int32_t>(length);
}

int32_t simh_tap_tape_io_t::write_end_marker(tape_io_handle_t* handle, uint8_t*)
{
    uint8_t bytes[word_size];
    put_le32(bytes, end_of_medium);
    return file_write(handle, bytes, word_size);
}
