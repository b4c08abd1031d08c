#include "brxtool/detect.h"

namespace {

// Blocks read before a format is taken to fit (tap and e11 read on to their first odd record).
constexpr int blocks_to_try = 64;

bool starts_as_brx(tape_t& tape)
{
    uint8_t header[8] = {};
    DWORD read = 0;
    if (SetFilePointer(tape.handle.os_handle, 0, nullptr, FILE_BEGIN) != 0 ||
        !ReadFile(tape.handle.os_handle, header, sizeof header, &read, nullptr) || read != sizeof header)
        return false;
    // The first block's back-pointer says "no previous block".
    return header[4] == 0 && header[5] == 0 && header[6] == 0 && header[7] == 1;
}

bool fits(tape_t& tape, format_t format)
{
    if (format == format_t::brx && !starts_as_brx(tape))
        return false;
    tape_io_t& driver = format_driver(format);
    tape_io_handle_t& handle = tape.handle;
    const uint32_t size = 4096;  // steps deliver no data
    if (driver.setup(&handle, tape.memory, size) != 1)
        return false;
    bool simh = format == format_t::tap || format == format_t::e11;
    for (int blocks = 0;; ++blocks) {
        if (blocks >= blocks_to_try && !simh)
            return true;
        int32_t result = driver.step_record_forward(&handle, tape.memory, size, 1);
        if (result == -2 && handle.last_error == 0)  // the end: where the file ends (or at an end marker)
            return simh ? handle.position <= tape.file_size : handle.position == tape.file_size;
        if (result < 0)
            return false;
        if (simh && result % 2 == 1)
            return true;  // the pad byte was where this format has it
    }
}

}  // namespace

format_t detect_format(tape_t& tape)
{
    if (tape.file_size == 0)
        return format_t::brx;  // an empty tape, in any format
    for (format_t format : {format_t::brx, format_t::aws, format_t::tap, format_t::e11})
        if (fits(tape, format))
            return format;
    return format_t::unknown;
}
