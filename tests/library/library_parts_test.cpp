// The library's parts that decide alone: which device is which drive, the slot lists, the names
// and digests of images.
#include <gtest/gtest.h>

#include "brxtool/library_drives.h"
#include "brxtool/library_plan.h"
#include "copy/sha256.h"

TEST(library_parts, drives_are_matched_by_serial_numbers_cut_identifiers_by_elimination)
{
    const auto drive = [](const std::string& identifier, bool cut = false) {
        element_t element;
        element.identifier = identifier;
        element.cut = cut;
        return element;
    };
    const drive_identity_t a{"IET", "VIRTUAL-TAPE", "", "beaf11"}, b{"IET", "VIRTUAL-TAPE", "", "beaf12"},
        c{"IBM", "ULT3580-TD5", "", "1068001234"};
    const struct {
        std::vector<element_t> drives;
        std::vector<drive_identity_t> devices;
        std::vector<int> matched;
    } cases[] = {
        {{drive("IET     VIRTUAL-TAPE    beaf11"), drive("IET     VIRTUAL-TAPE    be", true)}, {b, a}, {1, 0}},
        {{drive("IET     VIRTUAL-TAPE    be", true), drive("IET     VIRTUAL-TAPE    beaf11")}, {a, b}, {1, 0}},
        {{drive("IET     VIRTUAL-TAPE    be", true), drive("IET     VIRTUAL-TAPE    b", true)}, {a, b}, {-1, -1}},
        {{drive("1068001234"), drive("")}, {c}, {0}},
        {{drive("IBM     ULT3580-TD5     1068001234"), drive("beaf1")}, {a, c}, {-1, 0}},  // whole: no prefix
        {{drive("beaf11"), drive("beaf11")}, {a}, {-1}},  // two drives claim one serial: neither is sure
    };
    for (const auto& c : cases)
        EXPECT_EQ(match_drives(c.drives, c.devices), c.matched) << &c - cases;
}

TEST(library_parts, slot_lists_names_and_digests)
{
    const struct {
        const char* text;
        std::vector<std::pair<long, long>> ranges;  // empty: refused
    } lists[] = {{"3-40,45", {{3, 40}, {45, 45}}}, {"7", {{7, 7}}}, {"3x", {}}, {"5-3", {}}, {"4,", {}}, {"", {}}, {"-2", {}}};
    for (const auto& list : lists) {
        std::vector<std::pair<long, long>> ranges;
        EXPECT_EQ(parse_slot_ranges(list.text, ranges), !list.ranges.empty()) << list.text;
        if (!list.ranges.empty()) {
            EXPECT_EQ(ranges, list.ranges) << list.text;
        }
    }
    EXPECT_EQ(safe_name("A0/../B C.d"), "A0____B_C_d");
    sha256_t empty, two_blocks;  // the padding of the second spills into a block of its own
    const std::string text = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    two_blocks.add(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    EXPECT_EQ(empty.finish(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(two_blocks.finish(), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}
