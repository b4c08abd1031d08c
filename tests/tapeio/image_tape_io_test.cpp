// The image drivers through the interface alone: records written, then read back backwards (a
// long one as its tail) and forwards, with the tape marks and a bad record where the format has one.
#include <gtest/gtest.h>

#include "tapeio/aws_tape_io.h"
#include "tapeio/e11_tape_io.h"
#include "tapeio/het_codec.h"
#include "tapeio/het_tape_io.h"
#include "tapeio/simh_tap_tape_io.h"
#include "tests/support/e2e.h"
#include "tests/support/tape_ops.h"

namespace {

std::vector<uint8_t> data_of(uint32_t length, uint32_t seed)
{
    std::vector<uint8_t> data(length);
    for (uint32_t i = 0; i < length; ++i)
        data[i] = static_cast<uint8_t>(seed * 31 + i * 7 + (i >> 9));
    return data;
}

}  // namespace

// Every driver, through its default buffer and through one far smaller than a block.
TEST(image_tape_io, writes_then_reads_backwards_and_forwards)
{
    simh_tap_tape_io_t tap;
    e11_tape_io_t e11;
    aws_tape_io_t aws;
    het_tape_io_t het;
    // length 0: a tape mark; the long record does not fit the 70,000-byte buffer used below.
    const uint32_t lengths[] = {3, 0, 65535, 65536, 100001, 0, 1};
    image_tape_io_t* const drivers[] = {&tap, &e11, &aws, &het};
    for (uint32_t run = 0; run < 2 * std::size(drivers); ++run) {
        image_tape_io_t* driver = drivers[run / 2];
        const scratch_directory_t directory;
        const std::string path = directory.file("driver.img");
        tape_io_handle_t handle;
        handle.attach(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_NE(handle.os_handle, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(image_buffer(&handle, run % 2 == 0 ? image_buffer_default : 16));
        const uint32_t at = static_cast<uint32_t>(driver->data_offset(&handle));
        std::vector<uint8_t> buffer(at + 110000);
        ASSERT_EQ(driver->setup(&handle, buffer.data(), 64), 1);
        for (uint32_t i = 0; i < std::size(lengths); ++i) {
            std::vector<uint8_t> data = data_of(lengths[i], i);
            std::copy(data.begin(), data.end(), buffer.begin() + at);
            int32_t written = lengths[i] == 0 ? driver->write_tape_mark(&handle, buffer.data(), 64)
                                              : driver->write_record(&handle, buffer.data(), lengths[i]);
            EXPECT_EQ(written, static_cast<int32_t>(lengths[i]));
        }
        handle.bad_record = true;
        EXPECT_EQ(driver->write_record(&handle, buffer.data(), 2), driver->marks_bad_records() ? 2 : -1);
        handle.bad_record = false;
        ASSERT_EQ(driver->erase(&handle, buffer.data(), 64), 0);
        const uint32_t size = at + 70000;
        const bool marked = driver->marks_bad_records();
        if (marked) {
            EXPECT_EQ(driver->read_reverse(&handle, buffer.data(), size), 2);
            EXPECT_TRUE(handle.bad_record);
        }
        const uint32_t count = std::size(lengths);
        for (uint32_t step = 0; step < 2 * count; ++step) {  // back to the start (tails), then forwards (heads)
            const bool back = step < count;
            const uint32_t i = back ? count - 1 - step : step - count, shown = std::min(lengths[i], size - at);
            const std::vector<uint8_t> data = data_of(lengths[i], i);
            const auto first = back ? data.end() - shown : data.begin();
            ASSERT_EQ(run_op(*driver, back ? op_t::read_reverse : op_t::read_forward, &handle, buffer.data(), size, 1), int32_t(lengths[i]));
            EXPECT_FALSE(handle.bad_record);
            EXPECT_TRUE(std::equal(first, first + shown, buffer.begin() + at)) << i << " " << run;
            if (i == 0 && back) {
                EXPECT_EQ(driver->read_reverse(&handle, buffer.data(), size), -1);
                EXPECT_EQ(handle.position, 0u);
            }
        }
        EXPECT_EQ(driver->space_record_forward(&handle, buffer.data(), size, marked ? 1 : 0), 0);
        EXPECT_EQ(driver->read_forward(&handle, buffer.data(), size), -2);
        EXPECT_EQ(driver->space_file_reverse(&handle, buffer.data(), size), 0);
        EXPECT_EQ(handle.block_count, 5);
        // The movements without data from the start: blocks 0 to 6 as written, then the bad record.
        ASSERT_EQ(driver->rewind(&handle, buffer.data(), size), 1);
        EXPECT_EQ(driver->read_forward(&handle, buffer.data(), at - 1), -1);  // no room: nothing moves
        const struct { op_t op; int32_t result, blocks; } moves[] = {
            {op_t::space_file_forward, 0, 2}, {op_t::step_record_forward, 65535, 3}, {op_t::space_record_reverse, 0, 2},
            {op_t::step_record_reverse, 0, 1}, {op_t::space_file_forward, 0, 2}, {op_t::space_file_forward, 0, 6},
            {op_t::space_file_forward, -2, marked ? 8 : 7},
        };
        for (const auto& m : moves) {
            EXPECT_EQ(run_op(*driver, m.op, &handle, buffer.data(), size, 1), m.result) << &m - moves;
            uint32_t blocks = 0;
            EXPECT_EQ(driver->get_block_count(&handle, &blocks), 0);
            EXPECT_EQ(blocks, static_cast<uint32_t>(m.blocks)) << m.result;
        }
        EXPECT_EQ(driver->flush(&handle, buffer.data(), 64), 0);
        EXPECT_EQ(driver->unload(&handle, buffer.data(), 64), 0);
        CloseHandle(handle.os_handle);
    }
}

// What a SIMH reader passes over on its way to a record, counted by kind; then damage.
TEST(image_tape_io, tap_reading_passes_markers_gaps_and_foreign_records_and_stops_at_damage)
{
    const auto word = [](uint32_t w) { return std::vector<uint8_t>{uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), uint8_t(w >> 24)}; };
    std::vector<uint8_t> image;
    const auto add = [&](std::vector<uint8_t> bytes) { image.insert(image.end(), bytes.begin(), bytes.end()); };
    const auto record = [&](uint32_t w, std::vector<uint8_t> data) {
        add(word(w)), add(data);
        if (data.size() % 2 != 0) add({0});
        add(word(w));
    };
    add(word(0x70000000));                  // a private marker
    record(0x30000003, {1, 2, 3});          // a private record
    add(word(0xFFFFFFFE));                  // an erase gap
    record(0xE0000002, {4, 5});             // a tape description
    record(0x90000001, {6});                // a reserved class
    record(0x00000002, {7, 8});             // the record
    add(word(0xFFFE0001));                  // an illegal marker
    const scratch_directory_t directory;
    const std::string path = directory.write("passing.tap", std::string(image.begin(), image.end()));
    simh_tap_tape_io_t tap;
    tape_io_handle_t handle;
    handle.attach(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::vector<uint8_t> buffer(64);
    ASSERT_EQ(tap.setup(&handle, buffer.data(), 64), 1);
    ASSERT_EQ(tap.read_forward(&handle, buffer.data(), 64), 2);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 4, buffer.begin() + 6), std::vector<uint8_t>({7, 8}));
    const passed_over_t& p = handle.passed_over;
    EXPECT_EQ(std::vector<uint32_t>({p.gaps, p.private_items, p.descriptions, p.reserved}), std::vector<uint32_t>({1, 2, 1, 1}));
    const uint64_t after_record = handle.position;
    EXPECT_EQ(tap.read_forward(&handle, buffer.data(), 64), -1);
    EXPECT_EQ(handle.last_error, static_cast<uint32_t>(ERROR_INVALID_DATA));
    EXPECT_EQ(handle.position, after_record);
    CloseHandle(handle.os_handle);
}

// A HET record compressed with bzip2 reads as its data, or, in a build without bzip2, fails with
// ERROR_NOT_SUPPORTED; writing one alike.
TEST(image_tape_io, het_bzip2_records_where_the_build_has_bzip2)
{
    // bzip2 at level 4 of 100 bytes 'a', in one chunk (flags: first, last, bzip2), then a tape mark.
    const std::vector<uint8_t> image = {
        37,   0,    0,    0,    0xA2, 0,    0x42, 0x5A, 0x68, 0x34, 0x31, 0x41, 0x59, 0x26, 0x53, 0x59,
        0x8A, 0x57, 0x21, 0xBD, 0x00, 0x00, 0x02, 0x01, 0x00, 0x60, 0x00, 0x20, 0x00, 0x21, 0x00, 0x82,
        0x0B, 0x17, 0x72, 0x45, 0x38, 0x50, 0x90, 0x8A, 0x57, 0x21, 0xBD, 0,    0,    37,   0,    0x40, 0};
    const scratch_directory_t directory;
    const std::string path = directory.write("bzip2.het", std::string(image.begin(), image.end()));
    het_tape_io_t het;
    tape_io_handle_t handle;
    handle.attach(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::vector<uint8_t> buffer(200, 'a');
    ASSERT_EQ(het.setup(&handle, buffer.data(), 200), 1);
    const bool built = het_method_built(het_bzip2);
    std::fill(buffer.begin(), buffer.end(), 0);
    EXPECT_EQ(het.read_forward(&handle, buffer.data(), 200), built ? 100 : -1);
    EXPECT_EQ(handle.last_error, built ? 0u : static_cast<uint32_t>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(std::count(buffer.begin() + 6, buffer.begin() + 106, 'a'), built ? 100 : 0);
    EXPECT_EQ(het.read_forward(&handle, buffer.data(), 200), built ? 0 : -1);
    handle.compression = het_bzip2;
    std::fill(buffer.begin(), buffer.end(), 'a');
    EXPECT_EQ(het.write_record(&handle, buffer.data(), 100), built ? 100 : -1);
    EXPECT_EQ(handle.last_error, built ? 0u : static_cast<uint32_t>(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(het.flush(&handle, buffer.data(), 200), 0);
    CloseHandle(handle.os_handle);
}
