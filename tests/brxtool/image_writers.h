// Tape images written straight from the formats' definitions, apart from the program's drivers.
#pragma once

#include <bzlib.h>
#include <zlib.h>

#include <cstdint>

#include "tests/support/e2e.h"

namespace brxtool_test {

struct block_t { enum kind_t { record, mark, bad } kind; std::string data; };

inline block_t rec(size_t length, unsigned seed) { return {block_t::record, record_of(length, seed)}; }
// Bytes of a small alphabet compress to about half: 200,000 of them need several chunks.
inline block_t compressible(size_t length, unsigned seed)
{
    block_t block = rec(length, seed);
    for (char& c : block.data)
        c = static_cast<char>('a' + (static_cast<unsigned char>(c) & 15));
    return block;
}
inline block_t text(const std::string& data) { return {block_t::record, data}; }
inline block_t mark() { return {block_t::mark, ""}; }
inline block_t bad(size_t length = 0) { return {block_t::bad, record_of(length, 99)}; }

inline std::string le(uint32_t value, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i));
    return out;
}

inline std::string brx_image(const std::vector<block_t>& blocks)
{
    std::vector<std::string> parts;
    for (const block_t& block : blocks)
        parts.push_back(block.data);
    return container_of(parts);
}

// Word, data, a pad byte after an odd length (padded), the word again; an end-of-medium word last.
inline std::string simh_image(const std::vector<block_t>& blocks, bool padded, bool end = true)
{
    std::string image;
    for (const block_t& block : blocks) {
        uint32_t word = static_cast<uint32_t>(block.data.size()) | (block.kind == block_t::bad ? 0x80000000u : 0);
        image += le(word, 4);
        if (word == 0)
            continue;
        image += block.data + (padded && block.data.size() % 2 ? std::string(1, '\0') : "") + le(word, 4);
    }
    return end ? image + le(0xFFFFFFFF, 4) : image;
}

// 6-byte headers: this chunk's length, the previous chunk's, flags, 0; each record's bytes
// (compressed ones in HET) cut into chunks of at most chunk bytes.
inline std::string chunked_image(const std::vector<block_t>& blocks, std::string (*stored)(const std::string&, int&),
                                 size_t chunk_size = 65535)
{
    std::string image;
    uint32_t previous = 0;
    for (const block_t& block : blocks) {
        if (block.kind == block_t::mark) {
            image += le(0, 2) + le(previous, 2) + le(0x40, 1) + le(0, 1);
            previous = 0;
            continue;
        }
        int method = 0;
        const std::string data = stored(block.data, method);
        for (size_t done = 0; done < data.size();) {
            uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(chunk_size, data.size() - done));
            uint32_t flags = (done == 0 ? 0x80 : 0) | (done + chunk == data.size() ? 0x20 : 0) | method;
            image += le(chunk, 2) + le(previous, 2) + le(flags, 1) + le(0, 1) + data.substr(done, chunk);
            previous = chunk;
            done += chunk;
        }
    }
    return image;
}

inline std::string as_it_is(const std::string& data, int& method) { return method = 0, data; }

// HET keeps a record compressed (zlib or bzip2, at level 4) only when that makes it shorter.
template <int compression>
std::string compressed(const std::string& data, int& method)
{
    std::string out(data.size() + data.size() / 50 + 1024, '\0');
    bool made = false;
    if (compression == 1) {
        uLongf length = out.size();
        made = compress2(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(data.data()),
                         data.size(), 4) == Z_OK;
        out.resize(length);
    } else {
        unsigned int length = static_cast<unsigned int>(out.size());
        made = BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char*>(data.data()),
                                        static_cast<unsigned int>(data.size()), 4, 0, 0) == BZ_OK;
        out.resize(length);
    }
    method = made && out.size() < data.size() ? compression : 0;
    return method != 0 ? out : data;
}

inline std::string aws_image(const std::vector<block_t>& blocks) { return chunked_image(blocks, as_it_is); }

inline std::string het_image(const std::vector<block_t>& blocks, bool bzip2 = false, size_t chunk_size = 65535)
{
    return chunked_image(blocks, bzip2 ? compressed<2> : compressed<1>, chunk_size);
}

inline std::string image_of(const std::string& format, const std::vector<block_t>& blocks)
{
    if (format == "tap" || format == "e11")
        return simh_image(blocks, format == "tap");
    return format == "aws" ? aws_image(blocks) : format == "het" ? het_image(blocks) : brx_image(blocks);
}

inline brx_run_t brxtool(const scratch_directory_t& directory, const std::vector<std::string>& arguments)
{
    return run_program(BRXTOOL_EXECUTABLE, arguments, directory.path());
}

}  // namespace brxtool_test
