#include "copy/container_writer.h"

#include "platform/platform.h"

bool container_write_header(container_writer_t& writer, uint32_t length)
{
    uint8_t bytes[container_header_size];
    encode_container_header({length, container_back_pointer(writer.previous_header_offset)}, bytes);
    if (fwrite(bytes, sizeof bytes, 1, writer.stream) != 1)
        return false;
    const uint64_t offset = writer.bytes_written;
    writer.bytes_written += sizeof bytes;
    // A header that only sits in the stream's buffer is not yet in the file.
    if (fflush(writer.stream) != 0)
        return false;
    writer.previous_header_offset = offset;
    return true;
}

bool container_write_data(container_writer_t& writer, const void* data, uint32_t length)
{
    if (fwrite(data, 1, length, writer.stream) != length)
        return false;
    writer.bytes_written += length;
    return true;
}

bool container_write_block(container_writer_t& writer, uint8_t* data, uint32_t length)
{
    uint8_t* block = data - container_header_size;
    encode_container_header({length, container_back_pointer(writer.previous_header_offset)}, block);
    const size_t size = container_header_size + size_t{length};
    if (fwrite(block, 1, size, writer.stream) != size)
        return false;
    writer.previous_header_offset = writer.bytes_written;
    writer.bytes_written += size;
    return true;
}
