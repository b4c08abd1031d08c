#include <gtest/gtest.h>

#include "tests/vtape/vtape_test_support.h"

namespace {

const bytes_t block_descriptor = {0, 0, 0, 0, 0, 0, 0, 0};
const bytes_t compression_page = {0x0F, 0x0E, 0xC0, 0x80, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0};
const bytes_t configuration_page = {0x10, 0x0E, 0, 0, 0, 0, 0, 0, 0x40, 0, 0x18, 0, 0, 0, 0, 0};
const bytes_t compression_mask = {0x0F, 0x0E, 0x80, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const bytes_t configuration_mask = {0x10, 0x0E, 0, 0, 0, 0, 0xFF, 0xFF, 0x1C, 0, 0, 0, 0, 0, 0, 0};

bytes_t join(std::initializer_list<bytes_t> parts)
{
    bytes_t out;
    for (const bytes_t& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

bytes_t sense6(uint8_t page_byte, uint8_t allocation, uint8_t flags = 0) { return {0x1A, flags, page_byte, 0, allocation, 0}; }
bytes_t sense10(uint8_t page_byte, uint16_t allocation)
{
    return {0x5A, 0, page_byte, 0, 0, 0, 0, static_cast<uint8_t>(allocation >> 8), static_cast<uint8_t>(allocation), 0};
}
bytes_t select6(uint8_t flags, uint8_t length) { return {0x15, flags, 0, 0, length, 0}; }
bytes_t select10(uint8_t flags, uint16_t length)
{
    return {0x55, flags, 0, 0, 0, 0, 0, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 0};
}

struct sense_case_t {
    const char* options;
    bytes_t cdb;
    uint32_t data_length;
    bytes_t expected;
};

TEST(vtape_mode, mode_sense_answers_header_descriptor_and_pages)
{
    const sense_case_t cases[] = {
        {"", sense6(0x00, 255), 255, join({{11, 0, 0x10, 8}, block_descriptor})},
        {"", sense6(0x00, 4), 4, {11, 0, 0x10, 8}},
        {"", sense6(0x00, 255), 4, {11, 0, 0x10, 8}},
        {"", sense6(0x3F, 255), 255, join({{43, 0, 0x10, 8}, block_descriptor, compression_page, configuration_page})},
        {"", sense6(0x7F, 255), 255,
         join({{43, 0, 0x7F, 8}, {0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF}, compression_mask, configuration_mask})},
        {"", sense6(0xBF, 255), 255, join({{43, 0, 0x10, 8}, block_descriptor, compression_page, configuration_page})},
        {"", sense6(0x10, 255, 0x08), 255, join({{19, 0, 0x10, 0}, configuration_page})},
        {"", sense6(0x0F, 255), 255, join({{27, 0, 0x10, 8}, block_descriptor, compression_page})},
        {"", sense10(0x3F, 255), 255,
         join({{0, 46, 0, 0x10, 0, 0, 0, 8}, block_descriptor, compression_page, configuration_page})},
        {"", sense10(0x00, 8), 8, {0, 14, 0, 0x10, 0, 0, 0, 8}},
        {"protect", sense6(0x00, 4), 4, {11, 0, 0x90, 8}},
        {"protect", sense6(0x40, 4), 4, {11, 0, 0x7F, 8}},
        {"bufmode=0&speed=3", sense6(0x00, 4), 4, {11, 0, 0x03, 8}},
        {"bufmode=2&speed=15&protect", sense10(0x00, 4), 4, {0, 14, 0, 0xAF}},
        {"devconfig8=0x5F&changeable8=0xFF", sense6(0x50, 255), 255,
         join({{27, 0, 0x7F, 8}, {0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF},
               {0x10, 0x0E, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0}})},
    };
    for (const sense_case_t& c : cases) {
        SCOPED_TRACE(testing::Message() << c.options << " page byte " << int(c.cdb[2]));
        vtape_dir_t dir;
        auto tape = open_tape(dir.path("t.dmp") + (*c.options ? "?" : "") + c.options);
        const outcome_t o = run(*tape, c.cdb, c.data_length);
        EXPECT_EQ(o.reply.status, 0);
        EXPECT_EQ(o.data, c.expected);
    }
}

TEST(vtape_mode, mode_sense_refuses_saved_values_and_other_pages)
{
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("t.dmp"));
    EXPECT_EQ(run(*tape, sense6(0xC0, 255), 255).sense, sense_bytes_pointer({0x5, 0x39, 0x00}, true, 2));
    EXPECT_EQ(run(*tape, sense6(0x01, 255), 255).sense, sense_bytes_pointer({0x5, 0x24, 0x00}, true, 2));
    EXPECT_EQ(run(*tape, bytes_t{0x1A, 0, 0x3F, 0x01, 255, 0}, 255).sense,
              sense_bytes_pointer({0x5, 0x24, 0x00}, true, 3));
}

TEST(vtape_mode, restore_setup_sets_buffered_mode_and_keeps_speed)
{
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("t.dmp") + "?bufmode=0&speed=3");
    bytes_t header = run(*tape, sense6(0x00, 4), 4).data;
    ASSERT_EQ(header, (bytes_t{11, 0, 0x03, 8}));
    header = {0, 0, static_cast<uint8_t>((header[2] & 0x8F) | 0x10), 0};
    EXPECT_EQ(run_out(*tape, select6(0x00, 4), header).reply.status, 0);
    EXPECT_EQ(run(*tape, sense6(0x00, 4), 4).data, (bytes_t{11, 0, 0x13, 8}));
}

// What the variant-2 setup sends: the header, the descriptor with block length 0, and the Device
// Configuration page with byte 8 edited within the changeable mask.
bytes_t variant2_list(const bytes_t& current, const bytes_t& changeable, uint32_t header_length)
{
    bytes_t list(current.begin(), current.begin() + header_length + 8);
    list[0] = 0;
    if (header_length == 8)
        list[1] = 0;
    const uint32_t dsp_at = header_length == 8 ? 3 : 2;
    if ((list[dsp_at] & 0x70) == 0)
        list[dsp_at] = 0x1F;
    list[header_length + 5] = list[header_length + 6] = list[header_length + 7] = 0;
    const uint32_t page = header_length + 8 + 16;  // after the compression page
    bytes_t config(current.begin() + page, current.begin() + page + 16);
    const uint8_t mask = changeable[page + 8];
    config[2] = config[3] = config[4] = config[5] = 0;
    config[8] = static_cast<uint8_t>((config[8] & ~mask) | (((config[8] & 0xD2) | 0x10) & mask));
    list.insert(list.end(), config.begin(), config.end());
    return list;
}

TEST(vtape_mode, variant2_setup_turns_0x5F_into_0x52_when_every_bit_is_changeable)
{
    for (const bool ten : {false, true}) {
        SCOPED_TRACE(ten ? "ten-byte" : "six-byte");
        vtape_dir_t dir;
        auto tape = open_tape(dir.path("t.dmp") + "?bufmode=0&speed=3&devconfig8=0x5F&changeable8=0xFF");
        const uint32_t header_length = ten ? 8 : 4;
        const bytes_t current = run(*tape, ten ? sense10(0x3F, 255) : sense6(0x3F, 255), 255).data;
        const bytes_t changeable = run(*tape, ten ? sense10(0x7F, 255) : sense6(0x7F, 255), 255).data;
        ASSERT_EQ(current.size(), header_length + 40);
        ASSERT_EQ(changeable.size(), header_length + 40);
        const bytes_t list = variant2_list(current, changeable, header_length);
        const uint8_t length = static_cast<uint8_t>(list.size());
        EXPECT_EQ(run_out(*tape, ten ? select10(0x10, length) : select6(0x10, length), list).reply.status, 0);
        const bytes_t after = run(*tape, sense6(0x10, 255), 255).data;
        ASSERT_EQ(after.size(), 28u);
        EXPECT_EQ(after[2], 0x1F);
        EXPECT_EQ(after[12 + 8], 0x52);
    }
}

TEST(vtape_mode, default_mask_lets_variant2_set_avc_only)
{
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("t.dmp"));
    const bytes_t current = run(*tape, sense6(0x3F, 255), 255).data;
    const bytes_t changeable = run(*tape, sense6(0x7F, 255), 255).data;
    const bytes_t list = variant2_list(current, changeable, 4);
    EXPECT_EQ(run_out(*tape, select6(0x10, static_cast<uint8_t>(list.size())), list).reply.status, 0);
    EXPECT_EQ(run(*tape, sense6(0x10, 255), 255).data[12 + 8], 0x50);
}

struct select_case_t {
    const char* what;
    bytes_t cdb;
    bytes_t list;
    bytes_t sense;
};

TEST(vtape_mode, mode_select_refuses_bad_lists_and_changes_nothing)
{
    const bytes_t header = {0, 0, 0x20, 8};
    const bytes_t descriptor = {0, 0, 0, 0, 0, 0, 0x02, 0x00};
    bytes_t config = configuration_page;
    config[8] = 0x00;  // BIS is not changeable
    bytes_t compression = compression_page;
    compression[2] = 0x80;  // DCC is not changeable
    const select_case_t cases[] = {
        {"saving pages", select6(0x11, 12), join({header, descriptor}), sense_bytes_pointer({0x5, 0x24, 0x00}, true, 1)},
        {"list shorter than the header", select6(0x10, 3), {0, 0, 0x20}, sense_bytes({0x5, 0x1A, 0x00})},
        {"two descriptors", select6(0x10, 20), join({{0, 0, 0x20, 16}, descriptor, descriptor}),
         sense_bytes_pointer({0x5, 0x26, 0x00}, false, 3)},
        {"descriptor cut off", select6(0x10, 8), join({header, {0, 0, 0, 0}}), sense_bytes({0x5, 0x1A, 0x00})},
        {"block length above the limit", select6(0x10, 12), join({header, {0, 0, 0, 0, 0, 0x01, 0, 0}}),
         sense_bytes_pointer({0x5, 0x26, 0x00}, false, 9)},
        {"unchangeable bit", select6(0x10, 28), join({header, descriptor, config}),
         sense_bytes_pointer({0x5, 0x26, 0x00}, false, 20)},
        {"unchangeable compression bit", select6(0x10, 28), join({header, descriptor, compression}),
         sense_bytes_pointer({0x5, 0x26, 0x00}, false, 14)},
        {"unknown page", select6(0x10, 20), join({header, descriptor, {0x02, 0x06, 0, 0, 0, 0, 0, 0}}),
         sense_bytes_pointer({0x5, 0x26, 0x00}, false, 12)},
        {"page length", select6(0x10, 26), join({header, descriptor, {0x10, 0x0C}, bytes_t(12, 0)}),
         sense_bytes_pointer({0x5, 0x26, 0x00}, false, 13)},
        {"page cut off", select6(0x10, 27), join({header, descriptor, bytes_t(configuration_page.begin(), configuration_page.end() - 1)}),
         sense_bytes({0x5, 0x1A, 0x00})},
        {"ten-byte, two descriptors", select10(0x10, 24), join({{0, 0, 0, 0x20, 0, 0, 0, 16}, descriptor, descriptor}),
         sense_bytes_pointer({0x5, 0x26, 0x00}, false, 6)},
    };
    for (const select_case_t& c : cases) {
        SCOPED_TRACE(c.what);
        vtape_dir_t dir;
        auto tape = open_tape(dir.path("t.dmp") + "?maxblock=65535");
        const bytes_t before = run(*tape, sense6(0x3F, 255), 255).data;
        EXPECT_EQ(run_out(*tape, c.cdb, c.list).sense, c.sense);
        EXPECT_EQ(run(*tape, sense6(0x3F, 255), 255).data, before);
    }
}

TEST(vtape_mode, mode_select_stores_block_length_compression_and_write_delay)
{
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("t.dmp"));
    bytes_t config = configuration_page;
    config[6] = 0x01;
    config[7] = 0x2C;
    config[8] = 0x50;  // AVC
    bytes_t compression = compression_page;
    compression[2] = 0x40;  // DCE off
    const bytes_t list = join({{0, 0, 0x20, 8}, {0, 0, 0, 0, 0, 0, 0x02, 0x00}, config, compression});
    EXPECT_EQ(run_out(*tape, select6(0x10, static_cast<uint8_t>(list.size())), list).reply.status, 0);
    EXPECT_EQ(run(*tape, sense6(0x3F, 255), 255).data,
              join({{43, 0, 0x20, 8}, {0, 0, 0, 0, 0, 0, 0x02, 0x00}, compression, config}));
    // A header alone (as restore sends it) changes buffered mode and speed only.
    EXPECT_EQ(run_out(*tape, select6(0x00, 4), {0, 0, 0x11, 0}).reply.status, 0);
    EXPECT_EQ(run(*tape, sense6(0x00, 12), 12).data, (bytes_t{11, 0, 0x11, 8, 0, 0, 0, 0, 0, 0, 0x02, 0x00}));
    // Length 0 is no list at all.
    EXPECT_EQ(run(*tape, select6(0x10, 0)).reply.status, 0);
    // The caller's buffer is shorter than the list: the call fails.
    EXPECT_EQ(run_out(*tape, select6(0x10, 12), bytes_t(8, 0)).reply.error, ERROR_INVALID_PARAMETER);
}

}  // namespace
