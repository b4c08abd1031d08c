// check's walk over a brx dump file: every back-pointer against the header before it, every
// length against the file's size.
#include "brxtool/check_walk.h"
#include "tapeio/container_header.h"

void walk_brx(check_walk_t& walk)
{
    const uint64_t size = walk.image.file_size;
    uint64_t offset = 0;
    uint64_t previous = container_no_previous;
    uint8_t bytes[container_header_size];
    while (offset < size && !walk.failed) {
        if (size - offset < container_header_size) {
            walk.fault(offset, "a header cut off by the end of the file");
            walk.lost(offset, size, "a header cut off");
            return;
        }
        if (!walk.read_at(offset, bytes, container_header_size))
            return;
        container_header_t header = decode_container_header(bytes);
        uint32_t expected = container_back_pointer(previous);
        if (header.back_pointer != expected)
            walk.fault(offset, "the back-pointer " + std::to_string(header.back_pointer) +
                                   " does not lead to the previous header (" + std::to_string(expected) + ")");
        uint64_t data = offset + container_header_size;
        if (header.length > size - data) {
            walk.fault(offset, "a record of " + std::to_string(header.length) + " bytes cut off by the end of the file (" +
                                   std::to_string(size - data) + " bytes there)");
            walk.lost(offset, size, "a record cut off");
            return;
        }
        if (header.length == 0)
            walk.keep_mark();
        else if (walk.gather(data, header.length))
            walk.keep_record(false);
        else {
            walk.drop_record();
            walk.lost(offset, data + header.length, "a record too long to keep");
        }
        previous = offset;
        offset = data + header.length;
        walk.end = offset;
        walk.last_header = previous;
        ++walk.blocks;
        walk.progress.update(offset, walk.blocks);
    }
}
