// One tape of records of every size class and tape marks, written through a driver and read back.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tapeio/tape_io.h"

namespace spti_test {

// Lengths of the tape's blocks in order; 0 is a tape mark. 65536 is longer than one read's data area.
inline const std::vector<uint32_t> tape_layout = {1, 100, 0, 65024, 65536, 0, 0};

// Byte i of record index: differs along a record and between records.
inline uint8_t pattern(uint32_t record, uint32_t i)
{
    return static_cast<uint8_t>(record * 31 + i * 7 + (i >> 8));
}

// From the beginning; buffer holds 65536 + 512 bytes so the longest record fits behind the block.
inline void write_tape(tape_io_t& driver, tape_io_handle_t* handle, std::vector<uint8_t>& buffer)
{
    ASSERT_GE(buffer.size(), 65536u + 512u);
    uint8_t* b = buffer.data();
    ASSERT_EQ(driver.rewind(handle, b, 65536), 1);
    for (uint32_t index = 0; index < tape_layout.size(); ++index) {
        uint32_t length = tape_layout[index];
        SCOPED_TRACE(testing::Message() << "writing block " << index);
        if (length == 0) {
            ASSERT_EQ(driver.write_tape_mark(handle, b, 65536), 0);
            continue;
        }
        for (uint32_t i = 0; i < length; ++i)
            b[512 + i] = pattern(index, i);
        ASSERT_EQ(driver.write_record(handle, b, length), static_cast<int32_t>(length));
    }
    EXPECT_EQ(handle->block_count, static_cast<int32_t>(tape_layout.size()));
}

// The data area holds at most 65024 bytes of a record, however long it was.
inline void expect_record(const std::vector<uint8_t>& buffer, uint32_t index, uint32_t length)
{
    const uint32_t delivered = length < 65024 ? length : 65024;
    const uint8_t* data = buffer.data() + 512;
    for (uint32_t i = 0; i < delivered; ++i)
        ASSERT_EQ(data[i], pattern(index, i)) << "record " << index << " byte " << i;
}

// Rewinds and reads every block with the dump's size, then the end of the recorded data. A real
// drive delivers the first 65024 bytes of a longer record; tgt delivers none of them, which the
// caller may allow: the data area then keeps what was there before.
inline void expect_read_walk(tape_io_t& driver, tape_io_handle_t* handle, std::vector<uint8_t>& buffer,
                             bool longer_record_may_be_absent = false)
{
    uint8_t* b = buffer.data();
    ASSERT_EQ(driver.rewind(handle, b, 65536), 1);
    EXPECT_EQ(handle->block_count, 0);
    for (uint32_t index = 0; index < tape_layout.size(); ++index) {
        SCOPED_TRACE(testing::Message() << "reading block " << index);
        std::fill(buffer.begin() + 512, buffer.end(), 0xEE);
        ASSERT_EQ(driver.read_forward(handle, b, 65536), static_cast<int32_t>(tape_layout[index]));
        bool absent = std::all_of(buffer.begin() + 512, buffer.begin() + 65536, [](uint8_t v) { return v == 0xEE; });
        if (!(longer_record_may_be_absent && tape_layout[index] > 65024 && absent))
            expect_record(buffer, index, tape_layout[index]);
        EXPECT_EQ(handle->block_count, static_cast<int32_t>(index + 1));
    }
    EXPECT_EQ(driver.read_forward(handle, b, 65536), -9);
    EXPECT_EQ(handle->block_count, static_cast<int32_t>(tape_layout.size()));
    uint32_t count = 0;
    EXPECT_EQ(driver.get_block_count(handle, &count), 0);
    EXPECT_EQ(count, tape_layout.size());
}

}  // namespace spti_test
