// The request block as the platform sees it, and the SCSI driver's bookkeeping.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "tapeio/s1pti_tape_io.h"
#include "tapeio/s2pti_tape_io.h"
#include "tapeio/spti_request.h"
#include "tapeio/tape_io_objects.h"

namespace {

TEST(spti_request, init_request_lays_the_platform_structure_and_sense_area_and_nothing_else)
{
    // The platform's own layout: 44 bytes where addresses are 32-bit, 56 where they are 64-bit.
    const bool narrow = sizeof(void*) == 4;
    const size_t sense_offset_field = offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset);
    EXPECT_EQ(sizeof(SCSI_PASS_THROUGH_DIRECT), narrow ? 44u : 56u);
    EXPECT_EQ(sense_offset_field, narrow ? 24u : 32u);
    std::vector<uint8_t> buffer(256, 0xEE);
    tape_io_handle_t handle;
    handle.path_id = 0x102;  // only the low bytes travel
    handle.lun = 0x1FF;
    init_request(&handle, buffer.data());
    std::vector<uint8_t> expected(192, 0);
    expected[0] = static_cast<uint8_t>(sizeof(SCSI_PASS_THROUGH_DIRECT));
    expected[3] = 0x02;
    expected[4] = expected[5] = 0xFF;
    expected[7] = 64;  // sense length, at offset 128
    expected[sense_offset_field] = 128;
    expected.resize(256, 0xEE);
    EXPECT_EQ(buffer, expected);
    EXPECT_EQ(&active_tape_io, static_cast<tape_io_t*>(&s2pti_tape_io));
    EXPECT_EQ(s1pti_tape_io.data_offset(&tape_handle), 512);
}

}  // namespace
