// MODE SENSE and MODE SELECT: the header, block descriptor, pages, changeable values and refusals.
#include <gtest/gtest.h>

#include "tests/vtape/vtape_test_support.h"

namespace {

const bytes_t compression_page = {0x0F, 0x0E, 0xC0, 0x80, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0};
const bytes_t configuration_page = {0x10, 0x0E, 0, 0, 0, 0, 0, 0, 0x40, 0, 0x18, 0, 0, 0, 0, 0};

bytes_t join(std::initializer_list<bytes_t> parts)
{
    bytes_t out;
    for (const bytes_t& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}
bytes_t sense6(uint8_t page_byte) { return {0x1A, 0, page_byte, 0, 255, 0}; }
bytes_t select6(uint8_t length) { return cdb6(0x15, 0x10, length); }

TEST(vtape_mode, mode_sense_answers_header_descriptor_and_pages)
{
    struct case_t { const char* options; bytes_t cdb; bytes_t expected; };
    const case_t cases[] = {
        {"", sense6(0x3F), join({{43, 0, 0x10, 8}, bytes_t(8, 0), compression_page, configuration_page})},
        {"", sense6(0x7F), join({{43, 0, 0x7F, 8}, {0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF},
                                 {0x0F, 0x0E, 0x80, 0x80}, bytes_t(12, 0), {0x10, 0x0E, 0, 0, 0, 0, 0xFF, 0xFF, 0x1C},
                                 bytes_t(7, 0)})},
        {"?bufmode=2&speed=15&protect", {0x5A, 0, 0, 0, 0, 0, 0, 0, 4, 0}, {0, 14, 0, 0xAF}},
    };
    vtape_dir_t dir;
    for (const case_t& c : cases) {
        SCOPED_TRACE(testing::Message() << c.options << " page byte " << int(c.cdb[2]));
        auto tape = open_tape(dir.path("t.dmp") + c.options);
        EXPECT_EQ(run(*tape, c.cdb, 255).data, c.expected);
    }
}

TEST(vtape_mode, mode_select_stores_what_is_changeable_and_refuses_the_rest_changing_nothing)
{
    const bytes_t header_512 = {0, 0, 0x20, 8, 0, 0, 0, 0, 0, 0, 0x02, 0x00};
    bytes_t config = configuration_page;
    config[6] = 0x01;
    config[7] = 0x2C;
    config[8] = 0x50;  // AVC, BIS kept
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("t.dmp") + "?maxblock=65535");
    EXPECT_EQ(run(*tape, select6(28), 0, join({header_512, config})).reply.status, 0);
    const bytes_t stored = join({{43, 0, 0x20, 8}, bytes_t(header_512.begin() + 4, header_512.end()),
                                 compression_page, config});
    EXPECT_EQ(run(*tape, sense6(0x3F), 255).data, stored);
    bytes_t compression = compression_page;
    compression[2] = 0x80;  // DCC is not changeable
    bytes_t config_bit7 = config, config_bis = config;
    config_bit7[8] = 0xD0;  // nor is any bit outside AVC and SOCF
    config_bis[8] = 0x10;
    for (const auto& [list, field] : {std::pair{join({header_512, compression}), 14},
                                      std::pair{join({header_512, config_bit7}), 20},
                                      std::pair{join({header_512, config_bis}), 20}}) {
        SCOPED_TRACE(field);
        EXPECT_EQ(run(*tape, select6(uint8_t(list.size())), 0, list).sense, illegal(0x2600, uint16_t(field), false));
        EXPECT_EQ(run(*tape, sense6(0x3F), 255).data, stored);
    }
}

}  // namespace
