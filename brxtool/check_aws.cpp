// check's walk over an AWS image: every previous-length against the chunk before it, every
// record up to its last chunk, every length against the file's size.
#include "brxtool/check_walk.h"
#include "tapeio/little_endian.h"

namespace {

constexpr uint64_t header_size = 6;
constexpr uint8_t first_chunk = 0x80, last_chunk = 0x20, tape_mark = 0x40;

struct aws_walk_t {
    check_walk_t& walk;
    bool in_record = false;
    uint64_t record_start = 0;
    uint64_t record_bytes = 0;

    void unfinished(uint64_t end)
    {
        walk.fault(record_start, "a record without its last chunk");
        walk.drop_record();
        walk.lost(record_start, end, "a record without its last chunk");
        in_record = false;
    }

    void whole(uint64_t last, uint16_t length)
    {
        ++walk.blocks;
        walk.last_header = last;
        walk.end = last + header_size + length;
    }

    // One chunk whose header is sound: the tape mark, or a piece of a record.
    void chunk(uint64_t offset, uint16_t length, uint8_t flags)
    {
        if ((flags & tape_mark) != 0) {
            if (in_record)
                unfinished(offset);
            if (length != 0)
                walk.fault(offset, "a tape mark with a length of " + std::to_string(length));
            walk.keep_mark();
            whole(offset, length);
            return;
        }
        if ((flags & first_chunk) != 0) {
            if (in_record)
                unfinished(offset);
            in_record = true;
            record_start = offset;
            record_bytes = 0;
        } else if (!in_record) {
            walk.fault(offset, "a chunk that belongs to no record");
            walk.lost(offset, offset + header_size + length, "a chunk without its record");
            return;
        }
        if (!walk.gather(offset + header_size, length)) {
            walk.drop_record();
            walk.lost(record_start, offset + header_size + length, "a record too long to keep");
            in_record = false;
            return;
        }
        record_bytes += length;
        if ((flags & last_chunk) == 0)
            return;
        in_record = false;
        if (record_bytes == 0) {  // only the tape-mark flag makes a block of no bytes, as the driver reads it
            walk.fault(record_start, "a record of 0 bytes without the tape-mark flag");
            walk.drop_record();
            walk.lost(record_start, offset + header_size, "a record of 0 bytes");
            return;
        }
        walk.keep_record(false);
        whole(offset, length);
    }
};

}  // namespace

void walk_aws(check_walk_t& walk)
{
    const uint64_t size = walk.image.file_size;
    aws_walk_t records{walk, false, 0};
    uint64_t offset = 0;
    uint16_t previous = 0;
    uint8_t header[header_size];
    while (offset < size && !walk.failed) {
        if (size - offset < header_size) {
            walk.fault(offset, "a chunk header cut off by the end of the file");
            break;
        }
        if (!walk.read_at(offset, header, header_size))
            return;
        uint16_t length = get_le16(header), back = get_le16(header + 2);
        if (header[5] != 0 || (header[4] & ~(first_chunk | last_chunk | tape_mark)) != 0) {
            walk.fault(offset, "flags the format does not have (or a compressed chunk)");
            break;
        }
        if (back != previous)
            walk.fault(offset, "the previous-length " + std::to_string(back) + " does not match the chunk before (" +
                                   std::to_string(previous) + ")");
        if (length > size - offset - header_size) {
            walk.fault(offset, "a chunk of " + std::to_string(length) + " bytes cut off by the end of the file");
            break;
        }
        records.chunk(offset, length, header[4]);
        previous = length;
        offset += header_size + length;
        walk.progress.update(offset, walk.blocks);
    }
    if (records.in_record)
        records.unfinished(offset);
    if (offset < size && !walk.failed)
        walk.lost(offset, size, "the rest of the image");
}
