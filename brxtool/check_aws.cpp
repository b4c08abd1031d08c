// check's walk over an AWS or HET image: every previous-length against the chunk before it, every
// record up to its last chunk, every length against the file's size; in HET, every chunk of a
// record compressed alike and every compressed record expanding whole.
#include "brxtool/check_walk.h"
#include "tapeio/het_codec.h"
#include "tapeio/little_endian.h"

namespace {

constexpr uint64_t header_size = 6;
constexpr uint8_t first_chunk = 0x80, last_chunk = 0x20, tape_mark = 0x40;

// HET's compression: flags1's low bits, or flags2 0x80 (zlib); -1 for flags neither format has.
int chunk_method(const uint8_t* header, bool het)
{
    uint8_t method = het ? header[4] & 0x03 : 0;
    bool variant = het && header[5] == 0x80 && method <= het_zlib;
    if ((header[4] & ~(first_chunk | last_chunk | tape_mark | method)) != 0 || method == 0x03 ||
        (header[5] != 0 && !variant))
        return -1;
    return variant ? het_zlib : method;
}

struct aws_walk_t {
    check_walk_t& walk;
    bool in_record = false;
    uint64_t record_start = 0;
    uint64_t record_bytes = 0;
    int record_method = 0;  // the record's compression
    uint32_t stored = 0;    // its compressed bytes gathered so far

    void unfinished(uint64_t end)
    {
        walk.fault(record_start, "a record without its last chunk");
        give_up(end, "a record without its last chunk");
    }

    void give_up(uint64_t end, const char* what)
    {
        walk.drop_record();
        walk.lost(record_start, end, what);
        in_record = false;
    }

    void whole(uint64_t last, uint16_t length)
    {
        ++walk.blocks;
        walk.last_header = last;
        walk.end = last + header_size + length;
    }

    // Whether a record's chunk continues the record being read (or begins one).
    bool belongs(uint64_t offset, uint16_t length, uint8_t flags, int method)
    {
        uint64_t end = offset + header_size + length;
        if ((flags & first_chunk) != 0) {
            if (in_record)
                unfinished(offset);
            in_record = true;
            record_start = offset;
            record_method = method;
            stored = 0;
            record_bytes = 0;
        } else if (!in_record) {
            walk.fault(offset, "a chunk that belongs to no record");
            walk.lost(offset, end, "a chunk without its record");
            return false;
        } else if (method != record_method) {
            walk.fault(offset, "a chunk compressed otherwise than the record's first");
            give_up(end, "a record compressed two ways");
            return false;
        }
        return true;
    }

    // One chunk whose header is sound: the tape mark, or a piece of a record.
    void chunk(uint64_t offset, uint16_t length, uint8_t flags, int method)
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
        if (!belongs(offset, length, flags, method))
            return;
        bool kept = record_method != 0 ? gather_compressed(offset + header_size, length)
                                       : walk.gather(offset + header_size, length);
        if (!kept) {
            give_up(offset + header_size + length, "a record too long to keep");
            return;
        }
        record_bytes += length;
        if ((flags & last_chunk) == 0)
            return;
        in_record = false;
        if (record_bytes == 0) {  // only the tape-mark flag makes a block of no bytes, as the driver reads it
            walk.fault(record_start, "a record of 0 bytes without the tape-mark flag");
            give_up(offset + header_size, "a record of 0 bytes");
            return;
        }
        whole(offset, length);
        if (record_method == 0 || expand(offset))
            walk.keep_record(false);
    }

    // Compressed bytes go to the image's own buffer, to be expanded at the record's last chunk.
    bool gather_compressed(uint64_t offset, uint32_t length)
    {
        if (length > record_room - stored)
            return false;
        if (length > 0 && !walk.read_at(offset, walk.image.memory + data_at + stored, length))
            return false;
        stored += length;
        return true;
    }

    // The record expanded into the repaired copy's buffer (or only counted); false when it is damaged.
    bool expand(uint64_t last)
    {
        uint8_t* into = walk.repair != nullptr ? walk.repair->memory + data_at : nullptr;
        uint32_t length = 0;
        het_expanded_t expanded = het_expand(static_cast<uint8_t>(record_method), walk.image.memory + data_at, stored,
                                             into, into != nullptr ? record_room : 0, false, record_room, &length);
        if (expanded == het_expanded_t::whole && length > 0) {
            walk.fill = length;
            return true;
        }
        walk.fault(record_start, expanded == het_expanded_t::not_built
                                     ? "a bzip2-compressed record, which this build cannot read"
                                     : "a compressed record that does not expand whole");
        give_up(last + header_size, "a record that does not expand");
        return false;
    }
};

}  // namespace

void walk_aws(check_walk_t& walk, bool het)
{
    const uint64_t size = walk.image.file_size;
    aws_walk_t records{walk};
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
        int method = chunk_method(header, het);
        if (method < 0) {
            walk.fault(offset, het ? "flags the format does not have" : "flags the format does not have (or a compressed chunk)");
            break;
        }
        if (back != previous)
            walk.fault(offset, "the previous-length " + std::to_string(back) + " does not match the chunk before (" +
                                   std::to_string(previous) + ")");
        if (length > size - offset - header_size) {
            walk.fault(offset, "a chunk of " + std::to_string(length) + " bytes cut off by the end of the file");
            break;
        }
        records.chunk(offset, length, header[4], method);
        previous = length;
        offset += header_size + length;
        walk.progress.update(offset, walk.blocks);
    }
    if (records.in_record)
        records.unfinished(offset);
    if (offset < size && !walk.failed)
        walk.lost(offset, size, "the rest of the image");
}
