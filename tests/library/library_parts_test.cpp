// The library's parts that decide alone: which device is which drive, the slot lists, the names
// and digests of images, the journal's lines.
#include <gtest/gtest.h>

#include "brxtool/library_drives.h"
#include "brxtool/library_journal.h"
#include "brxtool/library_plan.h"
#include "brxtool/sha256.h"

namespace {

element_t drive(const std::string& identifier, bool cut = false)
{
    element_t element;
    element.identifier = identifier;
    element.cut = cut;
    return element;
}

}  // namespace

TEST(library_parts, drives_are_matched_by_serial_numbers_cut_identifiers_by_elimination)
{
    const device_identity_t a{"IET", "VIRTUAL-TAPE", "beaf11"}, b{"IET", "VIRTUAL-TAPE", "beaf12"},
        c{"IBM", "ULT3580-TD5", "1068001234"};
    const struct {
        std::vector<element_t> drives;
        std::vector<device_identity_t> devices;
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
    sha256_t empty, abc, million;
    abc.add(reinterpret_cast<const uint8_t*>("abc"), 3);
    const std::string a(1000, 'a');
    for (int i = 0; i < 1000; ++i)
        million.add(reinterpret_cast<const uint8_t*>(a.data()), a.size());
    EXPECT_EQ(empty.finish(), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(abc.finish(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(million.finish(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(library_parts, the_journal_keeps_the_last_complete_image_of_each_name)
{
    const std::string digest(64, 'f');
    journal_history_t history;
    for (const std::string& line : std::vector<std::string>{"brxtool library journal", "load A slot 4 drive 1", "loaded A slot 4 drive 1",
                                    "imaged A file A.dmp records 3 bytes 90 skipped 1 size 130 sha256 " + digest,
                                    "returned A slot 4", "load B slot 5 drive 2",
                                    "imaged B file B.dmp records 1 bytes 5 skipped 0 size 13 sha256 ff",
                                    "failed C cannot load it", "imaged D file D.dmp records 1 bytes 5 skipped 0 size 13",
                                    "unknown E slot 9"})
        apply_journal_line(line, history);
    ASSERT_EQ(history.images.size(), 1u);
    const journal_image_t& a = history.images["A"];
    EXPECT_EQ(std::vector<std::string>({a.file, std::to_string(a.size), a.sha256, std::to_string(a.records),
                                        std::to_string(a.bytes), std::to_string(a.skipped)}),
              std::vector<std::string>({"A.dmp", "130", digest, "3", "90", "1"}));
    EXPECT_EQ((std::map<std::string, uint16_t>{{"A", 4}, {"B", 5}}), history.slots);
    EXPECT_EQ(history.known.size(), 4u);  // A, B, C, D
}
