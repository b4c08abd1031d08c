// The request block as the platform sees it, the bookkeeping overrides, and a handle with no device.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "tapeio/s1pti_tape_io.h"
#include "tapeio/s2pti_tape_io.h"
#include "tapeio/spti_request.h"
#include "tapeio/tape_io_objects.h"

namespace {

uint32_t le32(const uint8_t* bytes) { return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t{bytes[3]} << 24; }

TEST(spti_request, init_request_lays_the_platform_structure_and_sense_area_and_nothing_else)
{
    // The platform's own layout: 44 bytes where addresses are 32-bit, 56 where they are 64-bit.
    const bool narrow = sizeof(void*) == 4;
    EXPECT_EQ(sizeof(SCSI_PASS_THROUGH_DIRECT), narrow ? 44u : 56u);
    const size_t sense_offset_field = offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset);
    EXPECT_EQ(sense_offset_field, narrow ? 24u : 32u);

    std::vector<uint8_t> buffer(256, 0xEE);
    tape_io_handle_t handle;  // address -1: 0xFF travels in all three bytes
    init_request(&handle, buffer.data());
    std::vector<uint8_t> expected(192, 0);
    expected[0] = static_cast<uint8_t>(sizeof(SCSI_PASS_THROUGH_DIRECT));
    expected[3] = expected[4] = expected[5] = 0xFF;
    expected[7] = 64;
    expected[sense_offset_field] = 128;
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 192), expected);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 192, buffer.end()), std::vector<uint8_t>(64, 0xEE));
    EXPECT_EQ(le32(buffer.data() + sense_offset_field), 128u);

    handle.path_id = 0x102;
    handle.target_id = 7;
    handle.lun = 0x1FF;
    init_request(&handle, buffer.data());
    EXPECT_EQ(buffer[3], 0x02);
    EXPECT_EQ(buffer[4], 0x07);
    EXPECT_EQ(buffer[5], 0xFF);
}

TEST(spti_request, position_one_reports_the_end_of_the_medium_until_reset)
{
    s2pti_tape_io_t driver;
    struct case_t {
        uint64_t position, limit;
        int32_t blocks;
        int32_t result;
    };
    for (case_t c : {case_t{0, 0, 0, 0}, case_t{1, 0, 17, -1}, case_t{5, 0, -3, -1}, case_t{0, 10, 4, 0},
                     case_t{0, 1, 4, 0}, case_t{20, 10, 4, -1}}) {
        SCOPED_TRACE(testing::Message() << "position " << c.position << " limit " << c.limit);
        tape_io_handle_t handle;
        handle.position = c.position;
        handle.limit = c.limit;
        handle.block_count = c.blocks;
        uint64_t position = 99;
        uint32_t count = 99;
        EXPECT_EQ(driver.get_position(&handle, &position), c.result);
        EXPECT_EQ(position, c.position);
        EXPECT_EQ(driver.get_block_count(&handle, &count), c.result);
        EXPECT_EQ(count, static_cast<uint32_t>(c.blocks));
    }
    tape_io_handle_t handle;
    EXPECT_EQ(driver.data_offset(&handle), 512);
}

TEST(spti_request, without_an_open_device_every_command_fails_at_the_platform_call)
{
    s2pti_tape_io_t driver;
    s1pti_tape_io_t variant1;
    std::vector<uint8_t> buffer(65536);
    uint8_t* b = buffer.data();
    constexpr DWORD planted = 0x4242;
    struct case_t {
        const char* name;
        int32_t result;
        DWORD error;
        int32_t (*run)(tape_io_t&, tape_io_handle_t*, uint8_t*);
    };
    const case_t cases[] = {
        {"read", -3, ERROR_INVALID_HANDLE,
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* p) { return d.read_forward(h, p, 65536); }},
        {"file forward", -3, ERROR_INVALID_HANDLE,
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* p) { return d.space_file_forward(h, p, 0); }},
        {"file reverse", -3, ERROR_INVALID_HANDLE,
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* p) { return d.space_file_reverse(h, p, 0); }},
        {"records forward", -3, ERROR_INVALID_HANDLE,
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* p) { return d.space_record_forward(h, p, 0, 2); }},
        {"records reverse", -3, ERROR_INVALID_HANDLE,
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* p) { return d.space_record_reverse(h, p, 0, 2); }},
        {"step forward", -3, ERROR_INVALID_HANDLE,
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* p) { return d.step_record_forward(h, p, 0, 2); }},
        {"step reverse", -3, ERROR_INVALID_HANDLE,
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* p) { return d.step_record_reverse(h, p, 0, 2); }},
        {"write", -2, ERROR_INVALID_HANDLE,
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* p) { return d.write_record(h, p, 10); }},
        {"tape mark", -2, ERROR_INVALID_HANDLE,
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* p) { return d.write_tape_mark(h, p, 0); }},
        {"flush", -2, ERROR_INVALID_HANDLE,
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* p) { return d.flush(h, p, 0); }},
        {"rewind", -1, ERROR_INVALID_HANDLE,
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* p) { return d.rewind(h, p, 0); }},
        {"erase", -1, ERROR_INVALID_HANDLE,
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* p) { return d.erase(h, p, 0); }},
        {"unload", 0, NO_ERROR,
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* p) { return d.unload(h, p, 0); }},
        {"read reverse", -3, planted,
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* p) { return d.read_reverse(h, p, 0); }},
        {"setup, variant 2", -1, ERROR_GEN_FAILURE,
         [](tape_io_t& d, tape_io_handle_t* h, uint8_t* p) { return d.setup(h, p, 65536); }},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.name);
        tape_io_handle_t handle;
        handle.block_count = 9;
        SetLastError(planted);
        EXPECT_EQ(c.run(driver, &handle, b), c.result);
        EXPECT_EQ(handle.last_error, c.error);
        EXPECT_EQ(handle.block_count, 9);
        EXPECT_EQ(handle.position, 0u);
    }
    tape_io_handle_t handle;
    EXPECT_EQ(variant1.setup(&handle, b, 65536), 0);
    EXPECT_EQ(handle.last_error, 0u);
    // Its MODE SENSE calls were made and failed; variant 1 keeps that to itself.
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(spti_request, the_active_driver_is_the_variant_2_object)
{
    EXPECT_EQ(&active_tape_io, static_cast<tape_io_t*>(&s2pti_tape_io));
    EXPECT_NE(dynamic_cast<s2pti_tape_io_t*>(&active_tape_io), nullptr);
    EXPECT_EQ(s1pti_tape_io.data_offset(&tape_handle), 512);
}

}  // namespace
