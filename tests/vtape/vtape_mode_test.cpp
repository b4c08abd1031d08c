// MODE SENSE and MODE SELECT: the header, block descriptor, pages, changeable values and refusals.
#include <gtest/gtest.h>

#include "tests/vtape/vtape_test_support.h"

namespace {

const bytes_t descriptor = {0, 0, 0, 0, 0, 0, 0, 0};
const bytes_t compression_page = {0x0F, 0x0E, 0xC0, 0x80, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0};
const bytes_t configuration_page = {0x10, 0x0E, 0, 0, 0, 0, 0, 0, 0x40, 0, 0x18, 0, 0, 0, 0, 0};
const bytes_t changeable = {0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF,                                    // descriptor
                            0x0F, 0x0E, 0x80, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,         // compression
                            0x10, 0x0E, 0, 0, 0, 0, 0xFF, 0xFF, 0x1C, 0, 0, 0, 0, 0, 0, 0};   // configuration

bytes_t join(std::initializer_list<bytes_t> parts)
{
    bytes_t out;
    for (const bytes_t& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

bytes_t sense6(uint8_t page_byte, uint8_t allocation, uint8_t flags = 0)
{
    return {0x1A, flags, page_byte, 0, allocation, 0};
}
bytes_t sense10(uint8_t page_byte, uint8_t allocation) { return {0x5A, 0, page_byte, 0, 0, 0, 0, 0, allocation, 0}; }
bytes_t select6(uint8_t flags, uint8_t length) { return cdb6(0x15, flags, length); }
bytes_t select10(uint8_t flags, uint8_t length) { return {0x55, flags, 0, 0, 0, 0, 0, 0, length, 0}; }

TEST(vtape_mode, mode_sense_answers_header_descriptor_and_pages)
{
    const bytes_t all = join({descriptor, compression_page, configuration_page});
    struct case_t { const char* options; bytes_t cdb; uint32_t buffer; bytes_t expected; };
    const case_t cases[] = {
        {"", sense6(0x00, 255), 255, join({{11, 0, 0x10, 8}, descriptor})},
        {"", sense6(0x00, 4), 255, {11, 0, 0x10, 8}},
        {"", sense6(0x00, 255), 4, {11, 0, 0x10, 8}},
        {"", sense6(0x3F, 255), 255, join({{43, 0, 0x10, 8}, all})},
        {"", sense6(0x7F, 255), 255, join({{43, 0, 0x7F, 8}, changeable})},
        {"", sense6(0xBF, 255), 255, join({{43, 0, 0x10, 8}, all})},
        {"", sense6(0x10, 255, 0x08), 255, join({{19, 0, 0x10, 0}, configuration_page})},
        {"", sense6(0x0F, 255), 255, join({{27, 0, 0x10, 8}, descriptor, compression_page})},
        {"", sense10(0x3F, 255), 255, join({{0, 46, 0, 0x10, 0, 0, 0, 8}, all})},
        {"?protect", sense6(0x00, 4), 4, {11, 0, 0x90, 8}},
        {"?bufmode=0&speed=3", sense6(0x00, 4), 4, {11, 0, 0x03, 8}},
        {"?bufmode=2&speed=15&protect", sense10(0x00, 4), 4, {0, 14, 0, 0xAF}},
        {"?devconfig8=0x5F&changeable8=0xFF", sense6(0x50, 255), 255,
         join({{27, 0, 0x7F, 8}, {0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF}, {0x10, 0x0E, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF},
               bytes_t(7, 0)})},
    };
    vtape_dir_t dir;
    for (const case_t& c : cases) {
        SCOPED_TRACE(testing::Message() << c.options << " page byte " << int(c.cdb[2]));
        auto tape = open_tape(dir.path("t.dmp") + c.options);
        const outcome_t o = run(*tape, c.cdb, c.buffer);
        EXPECT_EQ(o.reply.status, 0);
        EXPECT_EQ(o.data, c.expected);
    }
    auto tape = open_tape(dir.path("t.dmp"));
    EXPECT_EQ(run(*tape, sense6(0xC0, 255), 255).sense, illegal(0x3900, 2));  // saved values
    EXPECT_EQ(run(*tape, sense6(0x01, 255), 255).sense, illegal(0x2400, 2));
    EXPECT_EQ(run(*tape, bytes_t{0x1A, 0, 0x3F, 0x01, 255, 0}, 255).sense, illegal(0x2400, 3));
}

TEST(vtape_mode, mode_select_stores_what_is_changeable_and_refuses_the_rest_changing_nothing)
{
    const bytes_t header = {0, 0, 0x20, 8};
    const bytes_t block_512 = {0, 0, 0, 0, 0, 0, 0x02, 0x00};
    bytes_t config = configuration_page;
    config[6] = 0x01;
    config[7] = 0x2C;
    config[8] = 0x50;  // AVC, BIS kept
    bytes_t compression = compression_page;
    compression[2] = 0x40;  // DCE off
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("t.dmp") + "?maxblock=65535");
    const bytes_t list = join({header, block_512, config, compression});
    EXPECT_EQ(run(*tape, select6(0x10, uint8_t(list.size())), 0, list).reply.status, 0);
    const bytes_t stored = join({{43, 0, 0x20, 8}, block_512, compression, config});
    EXPECT_EQ(run(*tape, sense6(0x3F, 255), 255).data, stored);
    // A header alone (as restore sends it) changes buffered mode and speed only.
    EXPECT_EQ(run(*tape, select6(0x00, 4), 0, {0, 0, 0x11, 0}).reply.status, 0);
    EXPECT_EQ(run(*tape, sense6(0x00, 12), 12).data, join({{11, 0, 0x11, 8}, block_512}));
    EXPECT_EQ(run(*tape, select6(0x10, 0)).reply.status, 0);  // no list at all
    EXPECT_EQ(run(*tape, select6(0x10, 12), 0, bytes_t(8, 0)).reply.error, ERROR_INVALID_PARAMETER);

    bytes_t config_bit7 = config;
    config_bit7[8] = 0xD0;  // no bit outside AVC and SOCF is changeable
    config[8] = 0x10;       // BIS among them
    compression[2] = 0x80;  // nor is DCC
    const bytes_t before = run(*tape, sense6(0x3F, 255), 255).data;
    struct case_t { bytes_t cdb; bytes_t list; bytes_t sense; };
    const case_t cases[] = {
        {select6(0x11, 12), join({header, block_512}), illegal(0x2400, 1)},  // saving pages
        {select6(0x10, 3), {0, 0, 0x20}, sense(0x5, 0x1A00)},
        {select6(0x10, 20), join({{0, 0, 0x20, 16}, block_512, block_512}), illegal(0x2600, 3, false)},
        {select6(0x10, 12), join({header, {0, 0, 0, 0, 0, 0x01, 0, 0}}), illegal(0x2600, 9, false)},
        {select6(0x10, 28), join({header, block_512, config}), illegal(0x2600, 20, false)},
        {select6(0x10, 28), join({header, block_512, config_bit7}), illegal(0x2600, 20, false)},
        {select6(0x10, 28), join({header, block_512, compression}), illegal(0x2600, 14, false)},
        {select6(0x10, 20), join({header, block_512, {0x02, 0x06, 0, 0, 0, 0, 0, 0}}), illegal(0x2600, 12, false)},
        {select6(0x10, 26), join({header, block_512, {0x10, 0x0C}, bytes_t(12, 0)}), illegal(0x2600, 13, false)},
        {select6(0x10, 27), join({header, block_512, bytes_t(config.begin(), config.end() - 1)}), sense(0x5, 0x1A00)},
        {select10(0x10, 24), join({{0, 0, 0, 0x20, 0, 0, 0, 16}, block_512, block_512}), illegal(0x2600, 6, false)},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(testing::Message() << "list of " << c.list.size() << ", sense byte 17 " << int(c.sense[17]));
        EXPECT_EQ(run(*tape, c.cdb, 0, c.list).sense, c.sense);
        EXPECT_EQ(run(*tape, sense6(0x3F, 255), 255).data, before);
    }
}

}  // namespace
