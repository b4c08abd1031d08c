// Container streams that fail: read errors in a header or in data, and a full disk while writing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "copy/container_reader.h"
#include "copy/container_writer.h"

namespace {

// A stream that delivers `good` bytes and then fails every read.
struct failing_source_t {
    const uint8_t* bytes;
    size_t good;
    size_t position = 0;
};

ssize_t read_then_fail(void* cookie, char* buffer, size_t size)
{
    auto* source = static_cast<failing_source_t*>(cookie);
    if (source->position >= source->good) {
        errno = EIO;
        return -1;
    }
    const size_t n = std::min(size, source->good - source->position);
    memcpy(buffer, source->bytes + source->position, n);
    source->position += n;
    return static_cast<ssize_t>(n);
}

}  // namespace

TEST(container_streams, read_errors_are_told_apart_from_the_end_of_the_file)
{
    const uint8_t block[] = {0, 0, 0, 6, 0, 0, 0, 1, 'a', 'b', 'c', 'd', 'e', 'f'};
    const struct {
        size_t good;
        container_read_t result;
    } cases[] = {{0, container_read_t::header_failed}, {5, container_read_t::header_failed},
                 {8, container_read_t::data_failed},   {11, container_read_t::data_failed},
                 {sizeof block, container_read_t::block}};
    for (const auto& c : cases) {
        failing_source_t source{block, c.good};
        cookie_io_functions_t functions{};
        functions.read = read_then_fail;
        FILE* stream = fopencookie(&source, "r", functions);
        ASSERT_NE(stream, nullptr);
        uint8_t buffer[16];
        container_header_t header;
        EXPECT_EQ(container_read_block(stream, buffer, sizeof buffer, header), c.result) << c.good;
        fclose(stream);
    }
}

TEST(container_streams, a_full_disk_fails_the_header_and_the_data)
{
    FILE* stream = fopen("/dev/full", "wb");
    ASSERT_NE(stream, nullptr);
    container_writer_t writer{stream};
    errno = 0;
    EXPECT_FALSE(container_write_header(writer, 80));
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(writer.previous_header_offset, container_no_previous);
    // Data larger than the stream's buffer goes straight to the file and fails at once.
    std::string data(1 << 20, 'x');
    clearerr(stream);
    EXPECT_FALSE(container_write_data(writer, data.data(), static_cast<uint32_t>(data.size())));
    fclose(stream);
}
