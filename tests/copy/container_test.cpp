// The container format: exact bytes written, and how the forward reader classifies every ending.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "copy/container_reader.h"
#include "copy/container_writer.h"

namespace {

using bytes_t = std::vector<uint8_t>;

std::string temporary_name(const char* tag)
{
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    return (std::filesystem::temp_directory_path() /
            (std::string("brx-container-") + test->name() + "-" + tag))
        .string();
}

bytes_t read_file(const std::string& name)
{
    bytes_t contents;
    FILE* file = fopen(name.c_str(), "rb");
    if (file == nullptr)
        return contents;
    for (int c = fgetc(file); c != EOF; c = fgetc(file))
        contents.push_back(static_cast<uint8_t>(c));
    fclose(file);
    return contents;
}

void write_file(const std::string& name, const bytes_t& contents)
{
    FILE* file = fopen(name.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    if (!contents.empty()) {
        ASSERT_EQ(fwrite(contents.data(), 1, contents.size(), file), contents.size());
    }
    fclose(file);
}

bytes_t pattern(size_t length, uint8_t seed)
{
    bytes_t data(length);
    for (size_t i = 0; i < length; ++i)
        data[i] = static_cast<uint8_t>(seed + i * 7);
    return data;
}

// Writes blocks (an empty record is a tape mark) and returns the file's bytes.
bytes_t write_blocks(const std::string& name, const std::vector<bytes_t>& records)
{
    FILE* file = fopen(name.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    container_writer_t writer{file};
    for (const bytes_t& record : records) {
        EXPECT_TRUE(container_write_header(writer, static_cast<uint32_t>(record.size())));
        if (!record.empty()) {
            EXPECT_TRUE(container_write_data(writer, record.data(), static_cast<uint32_t>(record.size())));
        }
    }
    fclose(file);
    return read_file(name);
}

bytes_t header_bytes(const bytes_t& file, size_t offset)
{
    return bytes_t(file.begin() + static_cast<long>(offset), file.begin() + static_cast<long>(offset + 8));
}

struct read_step_t {
    container_read_t result;
    uint32_t length;
};

std::vector<read_step_t> read_all(const std::string& name, uint32_t capacity, std::vector<bytes_t>* data = nullptr)
{
    std::vector<read_step_t> steps;
    FILE* file = fopen(name.c_str(), "rb");
    EXPECT_NE(file, nullptr);
    bytes_t buffer(capacity);
    for (int guard = 0; guard < 100; ++guard) {
        container_header_t header{0xDEAD, 0xBEEF};
        const container_read_t result = container_read_block(file, buffer.data(), capacity, header);
        steps.push_back({result, result == container_read_t::end ? 0 : header.length});
        if (result != container_read_t::block)
            break;
        if (data != nullptr)
            data->emplace_back(buffer.begin(), buffer.begin() + header.length);
    }
    fclose(file);
    return steps;
}

}  // namespace

TEST(container_format, worked_example_byte_for_byte)
{
    const std::string name = temporary_name("dmp");
    const std::vector<bytes_t> records = {pattern(80, 1), pattern(2048, 2), {}};
    const bytes_t file = write_blocks(name, records);

    ASSERT_EQ(file.size(), 2152u);
    EXPECT_EQ(header_bytes(file, 0), (bytes_t{0x00, 0x00, 0x00, 0x50, 0x00, 0x00, 0x00, 0x01}));
    EXPECT_EQ(header_bytes(file, 88), (bytes_t{0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(header_bytes(file, 2144), (bytes_t{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x58}));
    EXPECT_EQ(bytes_t(file.begin() + 8, file.begin() + 88), records[0]);
    EXPECT_EQ(bytes_t(file.begin() + 96, file.begin() + 2144), records[1]);

    std::vector<bytes_t> data;
    const auto steps = read_all(name, 65536, &data);
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0].length, 80u);
    EXPECT_EQ(steps[1].length, 2048u);
    EXPECT_EQ(steps[2].length, 0u);
    EXPECT_EQ(steps[3].result, container_read_t::end);
    EXPECT_EQ(data, records);
    remove(name.c_str());
}

TEST(container_format, back_pointers_after_a_leading_tape_mark)
{
    const std::string name = temporary_name("dmp");
    const bytes_t file = write_blocks(name, {{}, pattern(3, 9), {}, {}});
    ASSERT_EQ(file.size(), 35u);
    // Offsets 0, 8, 19, 27: each header points at the one before, the first at nothing (1).
    const struct {
        size_t offset;
        bytes_t header;
    } expected[] = {
        {0, {0, 0, 0, 0, 0, 0, 0, 1}},
        {8, {0, 0, 0, 3, 0, 0, 0, 0}},
        {19, {0, 0, 0, 0, 0, 0, 0, 8}},
        {27, {0, 0, 0, 0, 0, 0, 0, 19}},
    };
    for (const auto& block : expected)
        EXPECT_EQ(header_bytes(file, block.offset), block.header) << "header at " << block.offset;
    remove(name.c_str());
}

TEST(container_format, forward_reader_classifies_every_ending)
{
    const bytes_t mark = {0, 0, 0, 0, 0, 0, 0, 1};
    const bytes_t ten_bytes_header = {0, 0, 0, 10, 0, 0, 0, 1};
    const struct {
        const char* what;
        bytes_t file;
        uint32_t capacity;
        std::vector<read_step_t> steps;
    } cases[] = {
        {"empty file", {}, 64, {{container_read_t::end, 0}}},
        {"one byte", {0}, 64, {{container_read_t::end, 0}}},
        {"seven bytes", {0, 0, 0, 9, 0, 0, 0}, 64, {{container_read_t::end, 0}}},
        {"tape mark then partial header", {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}, 64,
         {{container_read_t::block, 0}, {container_read_t::end, 0}}},
        {"two tape marks read no data", {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}, 0,
         {{container_read_t::block, 0}, {container_read_t::block, 0}, {container_read_t::end, 0}}},
        {"data short at the end", {0, 0, 0, 10, 0, 0, 0, 1, 1, 2, 3, 4}, 64,
         {{container_read_t::data_short_at_end, 10}}},
        {"header alone", ten_bytes_header, 64, {{container_read_t::data_short_at_end, 10}}},
        {"record fills the buffer", {0, 0, 0, 2, 0, 0, 0, 1, 7, 8}, 2,
         {{container_read_t::block, 2}, {container_read_t::end, 0}}},
        {"record longer than the buffer", {0, 0, 0, 3, 0, 0, 0, 1, 7, 8, 9}, 2, {{container_read_t::too_long, 3}}},
        {"length above 64 KiB", {0, 1, 0, 1, 0, 0, 0, 1}, 65536, {{container_read_t::too_long, 65537}}},
        {"back-pointers are not looked at", {0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF, 5}, 64,
         {{container_read_t::block, 1}, {container_read_t::end, 0}}},
    };
    const std::string name = temporary_name("dmp");
    for (const auto& c : cases) {
        write_file(name, c.file);
        const auto steps = read_all(name, c.capacity);
        ASSERT_EQ(steps.size(), c.steps.size()) << c.what;
        for (size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(steps[i].result, c.steps[i].result) << c.what << ", step " << i;
            EXPECT_EQ(steps[i].length, c.steps[i].length) << c.what << ", step " << i;
        }
    }
    remove(name.c_str());
}

TEST(container_format, too_long_record_reads_nothing_of_its_data)
{
    const std::string name = temporary_name("dmp");
    write_file(name, {0, 0, 0, 4, 0, 0, 0, 1, 1, 2, 3, 4});
    FILE* file = fopen(name.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    uint8_t buffer[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    container_header_t header;
    EXPECT_EQ(container_read_block(file, buffer, 3, header), container_read_t::too_long);
    EXPECT_EQ(ftell(file), 8);
    EXPECT_EQ(buffer[0], 0xAA);
    fclose(file);
    remove(name.c_str());
}

TEST(container_format, header_encoding_is_big_endian)
{
    uint8_t bytes[8];
    encode_container_header({0x12345678u, 0x9ABCDEF0u}, bytes);
    EXPECT_EQ(bytes_t(bytes, bytes + 8), (bytes_t{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0}));
    const container_header_t header = decode_container_header(bytes);
    EXPECT_EQ(header.length, 0x12345678u);
    EXPECT_EQ(header.back_pointer, 0x9ABCDEF0u);
    EXPECT_EQ(container_back_pointer(0x100000010ull), 0x10u);
    EXPECT_EQ(container_back_pointer(container_no_previous), 1u);
}

TEST(container_format, back_pointer_widening)
{
    const uint64_t gib4 = 1ull << 32;
    const struct {
        uint64_t header_offset;
        uint32_t back_pointer;
        uint64_t previous;
    } cases[] = {
        {0, 1, 1},                                  // the first block: still no previous block
        {8, 0, 0},                                  // after a leading tape mark
        {2144, 88, 88},                             // below 4 GiB the back-pointer is the offset
        {gib4 + 16, 0xFFFFFFF0u, gib4 - 16},        // previous header in the window below
        {gib4 + 16, 8, gib4 + 8},                   // same window
        {gib4, 0xFFFFFFF8u, gib4 - 8},              // header right on the boundary
        {3 * gib4 + 100, 40, 3 * gib4 + 40},        // a later window
        {3 * gib4 + 100, 100, 2 * gib4 + 100},      // equal low halves: a whole window back
        {gib4 - 8, 0xFFFFFFF0u, gib4 - 16},         // just below the boundary
    };
    for (const auto& c : cases)
        EXPECT_EQ(widen_back_pointer(c.header_offset, c.back_pointer), c.previous)
            << "P " << c.header_offset << ", B " << c.back_pointer;
}
