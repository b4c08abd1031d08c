// The compression of HET records: zlib (a stream as zlib's compress2 makes it) and bzip2 (as
// BZ2_bzBuffToBuffCompress makes it). A build without bzip2 (BRX_NO_BZIP2) has the method but
// neither reads nor writes it.
#pragma once

#include <cstdint>

constexpr uint8_t het_none = 0;
constexpr uint8_t het_zlib = 1;
constexpr uint8_t het_bzip2 = 2;

// Whether this build compresses and expands the method.
bool het_method_built(uint8_t method);
// The record compressed into out, when that takes fewer than its length bytes: the compressed
// length, else 0 (the record is kept as it is). out holds length - 1 bytes at least.
uint32_t het_compress(uint8_t method, int level, const uint8_t* record, uint32_t length, uint8_t* out);

// What expanding delivered: the record's full length, and whether the data was one whole stream.
enum class het_expanded_t { whole, damaged, not_built };
// Expands the compressed bytes: the record's first room bytes go to out (with tail, its last
// room bytes), and its full length to *length. A record longer than limit is damage.
het_expanded_t het_expand(uint8_t method, const uint8_t* data, uint32_t stored, uint8_t* out, uint32_t room,
                          bool tail, uint32_t limit, uint32_t* length);
