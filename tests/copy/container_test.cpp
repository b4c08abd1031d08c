// The container format: exact bytes written, how the forward reader classifies every ending, and
// back-pointers widened past 4 GiB.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "copy/container_reader.h"
#include "copy/container_writer.h"

namespace {

using bytes_t = std::vector<uint8_t>;

// Writes the blocks (an empty one is a tape mark) and returns the file's bytes.
bytes_t write_blocks(const std::vector<bytes_t>& blocks)
{
    FILE* file = tmpfile();
    container_writer_t writer{file};
    for (const bytes_t& block : blocks) {
        const uint32_t length = static_cast<uint32_t>(block.size());
        EXPECT_TRUE(container_write_header(writer, length));
        EXPECT_TRUE(length == 0 || container_write_data(writer, block.data(), length));
    }
    bytes_t contents(static_cast<size_t>(ftell(file)));
    rewind(file);
    contents.resize(fread(contents.data(), 1, contents.size(), file));
    fclose(file);
    return contents;
}

using step_t = std::pair<container_read_t, uint32_t>;  // a result and the header's length

// Reads the file block by block up to the first result other than a block.
std::vector<step_t> read_all(const bytes_t& contents, uint32_t capacity, std::vector<bytes_t>* data = nullptr)
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
        if (data != nullptr && result == container_read_t::block)
            data->emplace_back(buffer.begin(), buffer.begin() + header.length);
    }
    fclose(file);
    return steps;
}

}  // namespace

TEST(container_format, worked_example_and_a_leading_tape_mark_byte_for_byte)
{
    const std::vector<bytes_t> records = {bytes_t(80, 1), bytes_t(2048, 2), {}};
    const bytes_t file = write_blocks(records);
    ASSERT_EQ(file.size(), 2152u);
    bytes_t expected = {0, 0, 0, 0x50, 0, 0, 0, 1};
    expected.insert(expected.end(), records[0].begin(), records[0].end());
    expected.insert(expected.end(), {0, 0, 0x08, 0, 0, 0, 0, 0});
    expected.insert(expected.end(), records[1].begin(), records[1].end());
    expected.insert(expected.end(), {0, 0, 0, 0, 0, 0, 0, 0x58});
    EXPECT_EQ(file, expected);
    std::vector<bytes_t> data;
    using enum container_read_t;
    EXPECT_EQ(read_all(file, 65536, &data), (std::vector<step_t>{{block, 80}, {block, 2048}, {block, 0}, {end, 0}}));
    EXPECT_EQ(data, records);
    // Each header points at the one before; after a leading tape mark that is offset 0.
    EXPECT_EQ(write_blocks({{}, bytes_t{9, 16, 23}, {}}), (bytes_t{0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 0, 9, 16, 23,
                                                               0, 0, 0, 0, 0, 0, 0, 8}));
}

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
