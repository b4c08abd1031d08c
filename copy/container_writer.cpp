#include "copy/container_writer.h"

#include "platform/platform.h"

bool container_write_header(container_writer_t& writer, uint32_t length)
{
    const int64_t offset = _ftelli64(writer.stream);
    if (offset < 0)
        return false;
    uint8_t bytes[container_header_size];
    encode_container_header({length, container_back_pointer(writer.previous_header_offset)}, bytes);
    if (fwrite(bytes, sizeof bytes, 1, writer.stream) != 1)
        return false;
    // A header that only sits in the stream's buffer is not yet in the file.
    if (fflush(writer.stream) != 0)
        return false;
    writer.previous_header_offset = static_cast<uint64_t>(offset);
    return true;
}

bool container_write_data(container_writer_t& writer, const void* data, uint32_t length)
{
    return fwrite(data, 1, length, writer.stream) == length;
}
