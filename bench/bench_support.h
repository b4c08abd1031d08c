// What the benchmarks share: options, a container file of mixed records written independently of
// the program's own writer, timing and the medians of interleaved rounds.
#pragma once

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace bench {

struct options_t {
    uint64_t mib = 256;
    int rounds = 0;          // 0: the benchmark's own default
    std::string dir;         // empty: the system's temporary directory
    std::string positional;  // the one argument that is not an option
};

// --mib=N, --rounds=N, --dir=PATH and at most one positional argument; false after printing why.
inline bool parse_options(int argc, char** argv, options_t& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        char* end = nullptr;
        if (arg.rfind("--mib=", 0) == 0) {
            options.mib = std::strtoull(arg.c_str() + 6, &end, 10);
            if (*end != '\0' || options.mib == 0 || options.mib > 65536)
                return std::fprintf(stderr, "bad --mib: %s\n", arg.c_str()), false;
        } else if (arg.rfind("--rounds=", 0) == 0) {
            options.rounds = static_cast<int>(std::strtol(arg.c_str() + 9, &end, 10));
            if (*end != '\0' || options.rounds < 1 || options.rounds > 1000)
                return std::fprintf(stderr, "bad --rounds: %s\n", arg.c_str()), false;
        } else if (arg.rfind("--dir=", 0) == 0) {
            options.dir = arg.substr(6);
        } else if (arg.rfind("--", 0) != 0 && options.positional.empty()) {
            options.positional = arg;
        } else {
            return std::fprintf(stderr, "unknown argument: %s\n", arg.c_str()), false;
        }
    }
    return true;
}

// The same, for benchmarks whose one argument is the brx to run: their usage line when it fails.
inline bool parse_brx_options(int argc, char** argv, options_t& options)
{
    if (parse_options(argc, argv, options))
        return true;
    std::fprintf(stderr, "usage: %s [BRX] [--mib=N] [--rounds=N] [--dir=PATH]\n", argv[0]);
    return false;
}

// Where scratch files go: --dir, else $TMPDIR, else /tmp.
inline std::string scratch_parent(const options_t& options)
{
    const char* tmp = std::getenv("TMPDIR");
    return !options.dir.empty() ? options.dir : tmp != nullptr && *tmp ? tmp : "/tmp";
}

// Mixed record sizes as tapes carry them: labels, small and large blocks, the largest a SCSI dump
// can hold; a tape mark every 64th block.
constexpr uint32_t record_sizes[] = {512, 4096, 32768, 65024};
constexpr uint64_t mark_every = 64;

struct layout_t {
    uint64_t file_bytes = 0;
    uint64_t records = 0;
    uint64_t marks = 0;
    uint64_t data_bytes = 0;
    uint64_t data_hash = 0;  // hash_words over every record's data, in order
};

inline uint64_t next_random(uint64_t& state)
{
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

constexpr uint64_t hash_start = 0xCBF29CE484222325ull;

// Record sizes are multiples of 8, so the data is hashed and filled by 64-bit words.
inline uint64_t hash_words(uint64_t hash, const uint8_t* data, uint32_t length)
{
    for (uint32_t at = 0; at + 8 <= length; at += 8) {
        uint64_t word;
        std::memcpy(&word, data + at, 8);
        hash = (hash ^ word) * 0x100000001B3ull;
    }
    return hash;
}

inline void fill_record(uint8_t* data, uint32_t length, uint64_t block)
{
    uint64_t state = block * 0x9E3779B97F4A7C15ull + 1;
    for (uint32_t at = 0; at + 8 <= length; at += 8) {
        const uint64_t word = next_random(state);
        std::memcpy(data + at, &word, 8);
    }
}

inline void put_be32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// Blocks until the file holds at least target_bytes: 8-byte big-endian length and back-pointer
// (1 for the first block, else the low 32 bits of the previous header's offset), then the data.
inline bool write_container(const std::string& path, uint64_t target_bytes, layout_t& layout)
{
    std::FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return std::perror(path.c_str()), false;
    std::vector<uint8_t> block(8 + 65536);
    uint64_t previous = 1;
    uint64_t state = 0x2545F4914F6CDD1Dull;
    bool ok = true;
    layout = layout_t{};
    layout.data_hash = hash_start;
    for (uint64_t index = 0; ok && layout.file_bytes < target_bytes; ++index) {
        const bool mark = index % mark_every == mark_every - 1;
        const uint32_t length = mark ? 0 : record_sizes[next_random(state) % 4];
        put_be32(block.data(), length);
        put_be32(block.data() + 4, static_cast<uint32_t>(previous));
        fill_record(block.data() + 8, length, index);
        ok = std::fwrite(block.data(), 1, 8 + length, file) == 8 + length;
        previous = layout.file_bytes;
        layout.file_bytes += 8 + length;
        layout.data_hash = hash_words(layout.data_hash, block.data() + 8, length);
        layout.data_bytes += length;
        (mark ? layout.marks : layout.records) += 1;
    }
    if (std::fclose(file) != 0)
        ok = false;
    if (!ok)
        std::perror(path.c_str());
    return ok;
}

// Whether two files hold the same bytes; says where they differ when they do not.
inline bool same_files(const std::string& expected, const std::string& actual)
{
    std::FILE* a = fopen(expected.c_str(), "rb");
    std::FILE* b = fopen(actual.c_str(), "rb");
    bool same = a != nullptr && b != nullptr;
    std::vector<uint8_t> x(1 << 20), y(1 << 20);
    uint64_t offset = 0;
    while (same) {
        const size_t got_a = std::fread(x.data(), 1, x.size(), a);
        const size_t got_b = std::fread(y.data(), 1, y.size(), b);
        if (got_a != got_b || std::memcmp(x.data(), y.data(), got_a) != 0) {
            const size_t n = std::min(got_a, got_b);
            size_t at = 0;
            while (at < n && x[at] == y[at])
                ++at;
            std::fprintf(stderr, "%s differs from %s at byte %" PRIu64 "\n", actual.c_str(), expected.c_str(),
                         offset + at);
            same = false;
        }
        if (got_a == 0)
            break;
        offset += got_a;
    }
    if (a == nullptr || b == nullptr)
        std::fprintf(stderr, "cannot open %s or %s for comparing\n", expected.c_str(), actual.c_str());
    if (a != nullptr)
        std::fclose(a);
    if (b != nullptr)
        std::fclose(b);
    return same;
}

using steady_clock = std::chrono::steady_clock;

inline double seconds_since(steady_clock::time_point start)
{
    return std::chrono::duration<double>(steady_clock::now() - start).count();
}

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The median over rounds of time(a) / time(b) measured in the same round: the load of a shared
// machine moves both alike, so the ratio holds steadier than either time.
inline double median_ratio(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        ratios.push_back(a[i] / b[i]);
    return median(ratios);
}

inline void print_layout(const layout_t& layout)
{
    std::printf("container: %" PRIu64 " bytes, %" PRIu64 " records (%" PRIu64
                " data bytes, sizes 512/4096/32768/65024), %" PRIu64 " tape marks\n",
                layout.file_bytes, layout.records, layout.data_bytes, layout.marks);
}

}  // namespace bench
