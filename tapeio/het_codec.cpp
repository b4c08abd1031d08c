#include "tapeio/het_codec.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#ifndef BRX_NO_BZIP2
#include <bzlib.h>
#endif

namespace {

// Takes the expanded bytes piece by piece: those from skip on, up to room of them, go to out.
struct sink_t {
    uint8_t* out;
    uint32_t room;
    uint64_t skip;
    uint64_t limit;
    uint64_t total = 0;

    bool put(const uint8_t* piece, uint32_t length)
    {
        uint64_t from = std::max(total, skip), to = std::min<uint64_t>(total + length, skip + room);
        if (to > from)
            std::memcpy(out + (from - skip), piece + (from - total), static_cast<size_t>(to - from));
        total += length;
        return total <= limit;
    }
};

constexpr uint32_t piece_size = 16384;

bool expand_zlib(const uint8_t* data, uint32_t stored, sink_t& sink)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return false;
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = stored;
    uint8_t piece[piece_size];
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = piece;
        stream.avail_out = piece_size;
        result = inflate(&stream, Z_NO_FLUSH);
        if ((result == Z_OK || result == Z_STREAM_END) && !sink.put(piece, piece_size - stream.avail_out))
            result = Z_DATA_ERROR;
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END && stream.avail_in == 0;
}

#ifndef BRX_NO_BZIP2
bool expand_bzip2(const uint8_t* data, uint32_t stored, sink_t& sink)
{
    bz_stream stream{};
    if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK)
        return false;
    stream.next_in = reinterpret_cast<char*>(const_cast<uint8_t*>(data));
    stream.avail_in = stored;
    char piece[piece_size];
    int result = BZ_OK;
    while (result == BZ_OK) {
        stream.next_out = piece;
        stream.avail_out = piece_size;
        uint32_t before = stream.avail_in;
        result = BZ2_bzDecompress(&stream);
        uint32_t made = piece_size - stream.avail_out;
        if ((result == BZ_OK || result == BZ_STREAM_END) && !sink.put(reinterpret_cast<uint8_t*>(piece), made))
            result = BZ_DATA_ERROR;
        if (result == BZ_OK && made == 0 && stream.avail_in == before)
            result = BZ_UNEXPECTED_EOF;  // the data ends before the stream does
    }
    BZ2_bzDecompressEnd(&stream);
    return result == BZ_STREAM_END && stream.avail_in == 0;
}
#endif

bool expand_into(uint8_t method, const uint8_t* data, uint32_t stored, sink_t& sink)
{
    bool bzip2 = method == het_bzip2;
#ifndef BRX_NO_BZIP2
    if (bzip2)
        return expand_bzip2(data, stored, sink);
#endif
    return !bzip2 && expand_zlib(data, stored, sink);
}

}  // namespace

bool het_method_built(uint8_t method)
{
#ifdef BRX_NO_BZIP2
    return method != het_bzip2;
#else
    return method <= het_bzip2;
#endif
}

uint32_t het_compress(uint8_t method, int level, const uint8_t* record, uint32_t length, uint8_t* out)
{
    if (length < 2 || !het_method_built(method) || method == het_none)
        return 0;
#ifndef BRX_NO_BZIP2
    if (method == het_bzip2) {
        unsigned int made = length - 1;
        int result = BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out), &made,
                                              reinterpret_cast<char*>(const_cast<uint8_t*>(record)), length, level, 0, 0);
        return result == BZ_OK ? made : 0;
    }
#endif
    uLongf made = length - 1;
    return compress2(out, &made, record, length, level) == Z_OK ? static_cast<uint32_t>(made) : 0;
}

het_expanded_t het_expand(uint8_t method, const uint8_t* data, uint32_t stored, uint8_t* out, uint32_t room,
                          bool tail, uint32_t limit, uint32_t* length)
{
    *length = 0;
    if (!het_method_built(method))
        return het_expanded_t::not_built;
    sink_t count{out, 0, 0, limit};
    if (tail && !expand_into(method, data, stored, count))  // the length first, to know where the tail begins
        return het_expanded_t::damaged;
    uint64_t skip = tail && count.total > room ? count.total - room : 0;
    sink_t sink{out, room, skip, limit};
    if (!expand_into(method, data, stored, sink))
        return het_expanded_t::damaged;
    *length = static_cast<uint32_t>(sink.total);
    return het_expanded_t::whole;
}
