#include "brxtool/check_walk.h"

#include <cinttypes>
#include <cstdio>

bool check_walk_t::read_at(uint64_t offset, uint8_t* buffer, uint32_t length)
{
    uint32_t read = 0;
    tape_io_handle_t& handle = image.handle;
    handle.last_error = NO_ERROR;
    if (image_seek(&handle, offset) == 0 && image_read(&handle, buffer, length, &read) == 0 && read == length)
        return true;
    fprintf(stderr, "brxtool: %s: cannot read %u bytes at offset %" PRIu64 ": %s\n", image.name.c_str(), length,
            offset, read != length && handle.last_error == NO_ERROR ? "the file ends" : error_text(handle.last_error).c_str());
    failed = true;
    return false;
}

void check_walk_t::fault(uint64_t offset, const std::string& text)
{
    ++faults;
    printf("%s: offset %" PRIu64 ": %s\n", image.name.c_str(), offset, text.c_str());
}

void check_walk_t::lost(uint64_t from, uint64_t to, const std::string& what)
{
    if (repair != nullptr)
        printf("repair: could not keep bytes %" PRIu64 "-%" PRIu64 " (%s)\n", from, to - 1, what.c_str());
}

bool check_walk_t::gather(uint64_t offset, uint32_t length)
{
    if (repair == nullptr)
        return true;
    if (length > record_room - fill) {
        printf("repair: the record at offset %" PRIu64 " is longer than %u bytes\n", offset, record_room);
        return false;
    }
    if (length > 0 && !read_at(offset, repair->memory + data_at + fill, length))
        return false;
    fill += length;
    return true;
}

void check_walk_t::keep_record(bool bad)
{
    if (repair != nullptr && !failed && !write_record(*repair, repair->memory + data_at, fill, bad))
        failed = true;
    fill = 0;
}

void check_walk_t::keep_mark()
{
    if (repair != nullptr && !failed && !write_mark(*repair))
        failed = true;
}
