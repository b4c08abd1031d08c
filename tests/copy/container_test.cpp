// The container format: how the forward reader classifies every ending, and back-pointers widened
// past 4 GiB. (The bytes dump writes are compared with an independent writer end to end.)
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "copy/container_reader.h"

namespace {

using bytes_t = std::vector<uint8_t>;

using step_t = std::pair<container_read_t, uint32_t>;  // a result and the header's length

// Reads the file block by block up to the first result other than a block.
std::vector<step_t> read_all(const bytes_t& contents, uint32_t capacity)
{
    FILE* file = tmpfile();
    if (!contents.empty()) fwrite(contents.data(), 1, contents.size(), file);  // no null pointer for fwrite
    rewind(file);
    std::vector<step_t> steps;
    bytes_t buffer(capacity + 1, 0xAA);
    for (container_read_t result = container_read_t::block; result == container_read_t::block;) {
        container_header_t header{0xDEAD, 0xBEEF};
        result = container_read_block(file, buffer.data(), capacity, header);
        steps.push_back({result, result == container_read_t::end ? 0 : header.length});
        EXPECT_TRUE(result != container_read_t::too_long || ftell(file) == 8);  // nothing of the data was read
    }
    fclose(file);
    return steps;
}

}  // namespace

TEST(container_format, forward_reader_classifies_every_ending)
{
    using enum container_read_t;
    const struct { bytes_t file; uint32_t capacity; std::vector<step_t> steps; } cases[] = {
        {{}, 64, {{end, 0}}},
        {{0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}, 64, {{block, 0}, {end, 0}}},  // a partial header ends the file
        {{0, 0, 0, 10, 0, 0, 0, 1, 1, 2, 3, 4}, 64, {{data_short_at_end, 10}}},
        {{0, 0, 0, 2, 0xFF, 0xFF, 0xFF, 0xFF, 7, 8}, 2, {{block, 2}, {end, 0}}},  // back-pointers not looked at
        {{0, 0, 0, 3, 0, 0, 0, 1, 7, 8, 9}, 2, {{too_long, 3}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read_all(c.file, c.capacity), c.steps) << testing::PrintToString(c.file);
}

TEST(container_format, back_pointer_widening)
{
    const uint64_t gib4 = 1ull << 32;
    const struct { uint64_t header_offset; uint32_t back_pointer; uint64_t previous; } cases[] = {
        {2144, 88, 88},                         // below 4 GiB the back-pointer is the offset
        {gib4 + 16, 0xFFFFFFF0u, gib4 - 16},    // previous header in the window below
        {gib4 + 16, 8, gib4 + 8},               // same window
        {3 * gib4 + 100, 100, 2 * gib4 + 100},  // equal low halves: a whole window back
    };
    for (const auto& c : cases)
        EXPECT_EQ(widen_back_pointer(c.header_offset, c.back_pointer), c.previous) << c.header_offset;
    EXPECT_EQ(container_back_pointer(0x100000010ull) + container_back_pointer(container_no_previous), 0x11u);
}
