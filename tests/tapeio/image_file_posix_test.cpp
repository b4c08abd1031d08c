// The image buffer at its edges: a file cut where writing or an erase in the middle ends it, and a
// pipe read forwards only, whole while pinned.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <numeric>

#include "tapeio/tape_io_handle.h"
#include "tests/support/e2e.h"

namespace {

std::vector<uint8_t> read_at(tape_io_handle_t& handle, uint64_t offset, uint32_t length, int32_t* result)
{
    std::vector<uint8_t> bytes(length);
    uint32_t count = 0;
    *result = image_seek(&handle, offset) == 0 ? image_read(&handle, bytes.data(), length, &count) : -9;
    bytes.resize(count);
    return bytes;
}

std::vector<uint8_t> counting(uint8_t from, size_t length)
{
    std::vector<uint8_t> bytes(length);
    std::iota(bytes.begin(), bytes.end(), from);
    return bytes;
}

}  // namespace

TEST(image_file, a_file_ends_where_writing_or_an_erase_in_the_middle_ends_it)
{
    const scratch_directory_t directory;
    const std::vector<uint8_t> first = counting(0, 100);
    const std::string path = directory.write("image", std::string(first.begin(), first.end()));
    tape_io_handle_t handle;
    handle.attach(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(image_buffer(&handle, 16));
    int32_t result = 0;
    EXPECT_EQ(read_at(handle, 0, 10, &result), counting(0, 10));
    const uint8_t written[5] = {200, 201, 202, 203, 204};
    ASSERT_EQ(image_seek(&handle, 50), 0);
    ASSERT_EQ(image_write(&handle, written, 5), 0);
    ASSERT_EQ(image_end_here(&handle), 0);
    EXPECT_EQ(read_at(handle, 48, 10, &result), std::vector<uint8_t>({48, 49, 200, 201, 202, 203, 204}));
    EXPECT_EQ(std::filesystem::file_size(path), 55u);
    ASSERT_EQ(image_seek(&handle, 20), 0);
    ASSERT_EQ(image_end_here(&handle), 0);
    EXPECT_EQ(read_at(handle, 10, 30, &result), counting(10, 10));
    uint64_t size = 0;
    EXPECT_TRUE(image_size(&handle, &size));
    EXPECT_EQ(size, 20u);
    EXPECT_EQ(std::filesystem::file_size(path), 20u);
    CloseHandle(handle.os_handle);
}

TEST(image_file, a_pipe_reads_forwards_only_and_whole_while_pinned)
{
    for (bool pinned : {false, true}) {
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        ASSERT_EQ(write(ends[1], counting(0, 100).data(), 100), 100);
        close(ends[1]);
        tape_io_handle_t handle;
        handle.attach(CreateFileA(("/dev/fd/" + std::to_string(ends[0])).c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(image_buffer(&handle, 64));
        EXPECT_FALSE(image_seekable(&handle));
        image_pin(&handle, pinned);
        int32_t result = 0;
        EXPECT_EQ(read_at(handle, 40, 5, &result), counting(40, 5));
        if (pinned) {  // what was read stays, and what needs more than the buffer is refused
            EXPECT_EQ(read_at(handle, 0, 3, &result), counting(0, 3));
            EXPECT_EQ(read_at(handle, 60, 10, &result), counting(60, 4));
            EXPECT_EQ(result, -1);
            EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_MORE_DATA));
        } else {  // behind what was read is out of reach; the end makes the size known
            EXPECT_EQ(read_at(handle, 0, 3, &result).size(), 0u);
            EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_SEEK_ON_DEVICE));
            EXPECT_EQ(read_at(handle, 95, 10, &result), counting(95, 5));
            uint64_t size = 0;
            EXPECT_TRUE(image_size(&handle, &size));
            EXPECT_EQ(size, 100u);
        }
        CloseHandle(handle.os_handle);
        close(ends[0]);
    }
}
