#include "fuzz/image_writer_posix.h"

#include <bzlib.h>
#include <zlib.h>

#include <algorithm>

namespace {

void put_le(bytes_t& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// HET keeps a record compressed only when that is shorter; method 1 zlib, 2 bzip2.
bytes_t stored(const bytes_t& record, int method, int& kept)
{
    bytes_t out(record.size() + 1024);
    unsigned int length = static_cast<unsigned int>(out.size());
    uLongf zlength = out.size();
    bool made = method == 1 ? compress2(out.data(), &zlength, record.data(), record.size(), 4) == Z_OK
                            : BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &length,
                                                       reinterpret_cast<char*>(const_cast<uint8_t*>(record.data())),
                                                       static_cast<unsigned int>(record.size()), 4, 0, 0) == BZ_OK;
    out.resize(method == 1 ? zlength : length);
    kept = made && out.size() < record.size() ? method : 0;
    return kept != 0 ? out : record;
}

}  // namespace

bytes_t foreign_image(fuzz_format_t format, const std::vector<bytes_t>& records, uint32_t chunk_size, int method)
{
    bytes_t image;
    uint32_t previous = 0;
    for (const bytes_t& record : records) {
        const uint32_t length = static_cast<uint32_t>(record.size());
        if (format == fuzz_format_t::tap || format == fuzz_format_t::e11) {
            put_le(image, length, 4);
            image.insert(image.end(), record.begin(), record.end());
            if (length % 2 == 1 && format == fuzz_format_t::tap)
                image.push_back(0);
            if (length != 0)
                put_le(image, length, 4);
            continue;
        }
        int kept = 0;
        const bytes_t data = length == 0 || format == fuzz_format_t::aws ? record : stored(record, method, kept);
        for (size_t done = 0; done < data.size() || length == 0;) {
            uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(chunk_size, data.size() - done));
            uint32_t flags = length == 0 ? 0x40 : (done == 0 ? 0x80 : 0) | (done + chunk == data.size() ? 0x20 : 0) | kept;
            put_le(image, chunk, 2), put_le(image, previous, 2), put_le(image, flags, 1), put_le(image, 0, 1);
            image.insert(image.end(), data.begin() + static_cast<long>(done), data.begin() + static_cast<long>(done + chunk));
            previous = length == 0 ? 0 : chunk;
            done += chunk;
            if (length == 0)
                break;
        }
    }
    return image;
}

