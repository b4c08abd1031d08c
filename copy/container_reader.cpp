#include "copy/container_reader.h"

static container_read_t read_header(FILE* stream, container_header_t& header)
{
    uint8_t bytes[container_header_size];
    if (fread(bytes, sizeof bytes, 1, stream) != 1)
        return feof(stream) ? container_read_t::end : container_read_t::header_failed;
    header = decode_container_header(bytes);
    return container_read_t::block;
}

static container_read_t read_data(FILE* stream, uint8_t* buffer, uint32_t length)
{
    if (fread(buffer, 1, length, stream) == length)
        return container_read_t::block;
    if (feof(stream))
        return container_read_t::data_short_at_end;
    return ferror(stream) ? container_read_t::data_failed : container_read_t::data_short;
}

container_read_t container_read_block(FILE* stream, uint8_t* buffer, uint32_t capacity,
                                      container_header_t& header)
{
    const container_read_t result = read_header(stream, header);
    if (result != container_read_t::block || header.length == 0)
        return result;
    if (header.length > capacity)
        return container_read_t::too_long;
    return read_data(stream, buffer, header.length);
}
