// check's walk over a SIMH (tap) or E11 image: every trailing word against its leading word, the
// pad byte after odd lengths, every length against the file's size.
#include <cinttypes>
#include <cstdio>

#include "brxtool/check_walk.h"
#include "tapeio/little_endian.h"

namespace {

std::string hex(uint32_t word)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08X", word);
    return text;
}

// What a word at a block boundary is, beyond marks, gaps and records.
bool walk_marker(check_walk_t& walk, uint64_t& offset, uint32_t word)
{
    if (word == 0xFFFFFFFE || (word >> 28) == 7) {
        offset += 4;  // an erase gap, a private marker
    } else if (word == 0xFFFEFFFF) {
        offset += 2;  // a half gap
    } else {
        walk.fault(offset, (word >= 0xFFFE0000 && word <= 0xFFFEFFFE ? "an illegal marker " : "a reserved marker ") +
                               hex(word));
        return false;
    }
    return true;
}

// A record from its leading word; false when the walk cannot go on.
bool walk_record(check_walk_t& walk, uint64_t& offset, uint32_t word, bool padded)
{
    const uint64_t size = walk.image.file_size;
    uint32_t kind = word >> 28;
    bool data = kind == 0 || kind == 8;
    if (data && (word & 0x7F000000) != 0) {
        walk.fault(offset, "the word " + hex(word) + " is no standard record length");
        return false;
    }
    uint32_t length = data ? word & 0x00FFFFFF : word & 0x0FFFFFFF;
    uint32_t pad = padded ? length & 1 : 0;
    uint64_t span = 8 + uint64_t{length} + pad;
    if (span > size - offset) {
        walk.fault(offset, "a record of " + std::to_string(length) + " bytes runs past the end of the file");
        return false;
    }
    uint8_t bytes[4];
    if (!walk.read_at(offset + 4 + length + pad, bytes, 4))
        return false;
    uint32_t trailer = get_le32(bytes);
    if (trailer != word && pad == 1 && walk.read_at(offset + 4 + length, bytes, 4) && get_le32(bytes) == word) {
        walk.fault(offset, "a record of " + std::to_string(length) + " bytes without its pad byte");
        span -= 1;
    } else if (trailer != word) {
        walk.fault(offset, "the trailing word " + hex(trailer) + " differs from the leading word " + hex(word));
    }
    if (data && walk.gather(offset + 4, length))
        walk.keep_record(kind == 8);
    else if (data) {
        walk.drop_record();
        walk.lost(offset, offset + span, "a record too long to keep");
    }
    offset += span;
    return true;
}

}  // namespace

void walk_simh(check_walk_t& walk, bool padded)
{
    const uint64_t size = walk.image.file_size;
    uint64_t offset = 0;
    while (offset < size && !walk.failed) {
        uint8_t bytes[4];
        if (size - offset < 4) {
            walk.fault(offset, "a word cut off by the end of the file");
            walk.lost(offset, size, "a word cut off");
            return;
        }
        if (!walk.read_at(offset, bytes, 4))
            return;
        uint32_t word = get_le32(bytes);
        uint64_t start = offset;
        if (word == 0xFFFFFFFF) {
            if (size - offset > 4)
                printf("%s: offset %" PRIu64 ": %" PRIu64 " bytes after the end-of-medium word, not read\n",
                       walk.image.name.c_str(), offset, size - offset - 4);
            return;
        }
        uint32_t kind = word >> 28;
        bool marker = word != 0 && (kind == 0xF || kind == 7);
        bool going = true;
        if (word == 0) {
            walk.keep_mark();
            offset += 4;
        } else {
            going = marker ? walk_marker(walk, offset, word) : walk_record(walk, offset, word, padded);
        }
        if (!going) {
            walk.lost(start, size, "the rest of the image");
            return;
        }
        walk.end = offset;
        walk.blocks += word == 0 || kind == 0 || kind == 8 ? 1 : 0;
        walk.progress.update(offset, walk.blocks);
    }
}
