// One medium read through all three drivers: the tape-API driver and the SCSI driver on the
// virtual drive, the container-file driver on the medium file itself. They must agree on every
// record, every tape mark and every block count; and the tape-API driver must write the medium
// that the container-file driver writes.
#include <cstring>
#include <fstream>
#include <iterator>

#include "tapeio/tape_io_objects.h"
#include "tests/tapeio/physical_tape_io_fixture_posix.h"

namespace {

using physical_test::record_data;

constexpr uint32_t size = 65536;
// Records up to the SCSI driver's data area, an empty file between two marks, a double mark at the end.
const std::vector<uint32_t> blocks = {80, 1, 65024, 0, 0, 512, 3000, 0, 7, 0, 0};

struct seen_t {
    int32_t result;  // the record's length, 0 for a mark
    std::vector<uint8_t> data;
    uint32_t block_count;
    bool operator==(const seen_t&) const = default;
};

struct walk_t {
    std::vector<seen_t> seen;
    int32_t end_result = 0;  // what each driver says at the end of the data
    uint32_t end_block_count = 0;
};

// Reads until the first negative result; rewinds first through the driver.
walk_t walk(tape_io_t& driver, tape_io_handle_t& handle, std::vector<uint8_t>& buffer)
{
    walk_t walk;
    EXPECT_EQ(driver.rewind(&handle, buffer.data(), size), 1);
    const uint8_t* data = buffer.data() + driver.data_offset(&handle);
    for (size_t i = 0; i <= blocks.size(); ++i) {
        int32_t result = driver.read_forward(&handle, buffer.data(), size);
        uint32_t count = 0;
        EXPECT_EQ(driver.get_block_count(&handle, &count), 0);
        if (result < 0) {
            walk.end_result = result;
            walk.end_block_count = count;
            break;
        }
        walk.seen.push_back({result, std::vector<uint8_t>(data, data + result), count});
    }
    return walk;
}

std::vector<seen_t> expected_walk()
{
    std::vector<seen_t> seen;
    for (size_t block = 0; block < blocks.size(); ++block)
        seen.push_back({static_cast<int32_t>(blocks[block]), record_data(block, blocks[block]),
                        static_cast<uint32_t>(block + 1)});
    return seen;
}

std::vector<uint8_t> file_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(driver_walk, the_three_drivers_read_one_medium_alike)
{
    physical_test::scratch_directory_t directory;
    const std::string medium = directory.file("tape.brx");
    physical_test::write_medium(medium, blocks);
    walk_t through_api, through_scsi, through_file;
    {
        physical_test::tape_drive_t drive("vtape:" + medium, 88);
        through_api = walk(physical_tape_io, drive.handle, drive.buffer);
    }
    {
        physical_test::tape_drive_t drive("vtape:" + medium, 88);
        through_scsi = walk(s2pti_tape_io, drive.handle, drive.buffer);
    }
    {
        HANDLE file = CreateFileA(medium.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        tape_io_handle_t handle;
        handle.attach(file);
        std::vector<uint8_t> buffer(size);
        EXPECT_EQ(brx_file_tape_io.setup(&handle, buffer.data(), size), 1);
        through_file = walk(brx_file_tape_io, handle, buffer);
        CloseHandle(file);
    }
    const std::vector<seen_t> expected = expected_walk();
    EXPECT_TRUE(through_api.seen == expected);
    EXPECT_TRUE(through_scsi.seen == expected);
    EXPECT_TRUE(through_file.seen == expected);
    EXPECT_EQ(through_api.end_result, -2);
    EXPECT_EQ(through_scsi.end_result, -9);
    EXPECT_EQ(through_file.end_result, -2);
    EXPECT_EQ(through_api.end_block_count, blocks.size());
    EXPECT_EQ(through_scsi.end_block_count, blocks.size());
    EXPECT_EQ(through_file.end_block_count, blocks.size());
}

TEST(driver_walk, the_tape_api_driver_writes_the_medium_the_container_file_driver_writes)
{
    physical_test::scratch_directory_t directory;
    physical_test::write_medium(directory.file("by-file-driver.brx"), blocks);
    {
        physical_test::tape_drive_t drive("vtape:" + directory.file("by-tape-api.brx"), 89);
        tape_io_handle_t* handle = &drive.handle;
        uint8_t* buffer = drive.buffer.data();
        ASSERT_EQ(physical_tape_io.rewind(handle, buffer, size), 1);
        for (size_t block = 0; block < blocks.size(); ++block) {
            if (blocks[block] == 0) {
                EXPECT_EQ(physical_tape_io.write_tape_mark(handle, buffer, size), 0);
                continue;
            }
            std::vector<uint8_t> data = record_data(block, blocks[block]);
            std::memcpy(buffer, data.data(), data.size());
            EXPECT_EQ(physical_tape_io.write_record(handle, buffer, blocks[block]), static_cast<int32_t>(blocks[block]));
        }
        EXPECT_EQ(handle->block_count, static_cast<int32_t>(blocks.size()));
    }
    std::vector<uint8_t> by_tape_api = file_bytes(directory.file("by-tape-api.brx"));
    std::vector<uint8_t> by_file_driver = file_bytes(directory.file("by-file-driver.brx"));
    EXPECT_EQ(by_tape_api.size(), by_file_driver.size());
    EXPECT_TRUE(by_tape_api == by_file_driver);
}

}  // namespace
