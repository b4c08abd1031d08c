// The virtual drive's commands: attention and not-ready states, the option string and the trace;
// MODE SENSE and MODE SELECT; READ and SPACE, where the tape stops and what it says; WRITE and WRITE
// FILEMARKS, the container bytes they leave and the sense they report.
#include <gtest/gtest.h>

#include "tests/vtape/vtape_test_support.h"

namespace {

// The trace has one line per command, and a second drive appends to it.
TEST(vtape_drive, unit_attention_and_not_ready_hold_back_commands_as_the_trace_shows)
{
    scratch_directory_t dir;
    dir.write("t.dmp", medium_of({{10, 1}}));
    const std::string trace = "?trace=" + dir.file("t.log");
    auto tape = open_tape(dir.file("t.dmp") + trace + "&attention=2");
    const bytes_t attention = sense(0x6, 0x2800), not_ready = sense(0x2, 0x3A00);
    EXPECT_EQ(run(*tape, cdb6(0x12, 0, 36), 36).reply.status, 0);  // INQUIRY is never held back
    EXPECT_EQ(run(*tape, cdb6(0xEE, 0, 0)).sense, attention);      // before the opcode check
    EXPECT_EQ(run(*tape, cdb6(0x03, 0, 18), 18).data, attention);
    EXPECT_EQ(run(*tape, read6(10), 10).data, pattern(10, 1));
    run(*tape, read6(10), 9);
    run(*tape, write6(4), 0, {1, 2, 3, 4});
    tape.reset();
    tape = open_tape(dir.file("t.dmp") + trace + "&notready");
    EXPECT_EQ(run(*tape, read6(10), 10).sense, not_ready);
    EXPECT_EQ(run(*tape, cdb6(0x03, 0, 18), 18).data, not_ready);
    EXPECT_EQ(dir.read("t.log"), "12 00 00 00 24 00 | in 36 | status 00 | sense -\n"
                                 "EE 00 00 00 00 00 | none 0 | status 02 | sense 06/28/00\n"
                                 "03 00 00 00 12 00 | in 18 | status 00 | sense -\n"
                                 "08 00 00 00 0A 00 | in 10 | status 00 | sense -\n"
                                 "08 00 00 00 0A 00 | in 9 | error 87\n"
                                 "0A 00 00 00 04 00 | out 4 | status 00 | sense -\n"
                                 "08 00 00 00 0A 00 | in 10 | status 02 | sense 02/3A/00\n"
                                 "03 00 00 00 12 00 | in 18 | status 00 | sense -\n");
}

TEST(vtape_drive, bad_option_strings_and_heal_files_are_refused_with_a_reason)
{
    scratch_directory_t dir;
    const std::string heal = dir.write("h", "junk");
    const std::pair<std::string, std::string> cases[] = {
        {"t.dmp?colour=red", "unknown option 'colour=red'"},
        {"t.dmp?bad=1:", "bad value in option 'bad=1:' (bad=K or bad=K:N)"},
        {"t.dmp?ew=10", "ew needs capacity"},
        {dir.file("t.dmp") + "?bad=0:3&heal=" + heal, "the heal file '" + heal + "' holds other lines than \"block K failed F\""},
    };
    for (const auto& [text, reason] : cases) {
        SCOPED_TRACE(text);
        std::unique_ptr<vtape_t> tape;
        std::string why;
        EXPECT_EQ(vtape_t::open(text.c_str(), tape, &why), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(why, reason);
        EXPECT_EQ(tape, nullptr);
    }
}

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
    scratch_directory_t dir;
    for (const case_t& c : cases) {
        SCOPED_TRACE(testing::Message() << c.options << " page byte " << int(c.cdb[2]));
        auto tape = open_tape(dir.file("t.dmp") + c.options);
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
    scratch_directory_t dir;
    auto tape = open_tape(dir.file("t.dmp") + "?maxblock=65535");
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

bytes_t mark(int32_t residue) { return sense(0x80, 0x0001, uint32_t(residue)); }
bytes_t end_of_data(int32_t residue) { return sense(0x08, 0x0005, uint32_t(residue)); }

TEST(vtape_read, records_marks_end_of_data_bad_blocks_and_heal_files_and_nolocate)
{
    struct step_t { uint32_t requested; bytes_t sense; uint32_t moved; uint8_t seed, after; };
    const step_t steps[] = {
        {65024, sense(0x20, 0, 64924), 100, 1, 1},         // short record
        {65024, sense(0x20, 0, 0xFFFFFE00), 65024, 2, 2},  // long record
        {65024, mark(65024), 0, 0, 3},
        {100, end_of_data(100), 0, 0, 3},
    };
    scratch_directory_t dir;
    dir.write("t.dmp", medium_of({{100, 1}, {65536, 2}, {0, 0}}));
    auto tape = open_tape(dir.file("t.dmp"));
    for (const step_t& s : steps) {
        SCOPED_TRACE(s.after);
        const outcome_t o = run(*tape, read6(s.requested), s.requested);
        EXPECT_EQ(o.sense, s.sense);
        EXPECT_EQ(o.data, pattern(s.moved, s.seed));
        EXPECT_EQ(position_of(*tape), s.after);
    }
    run(*tape, locate10(1));  // SILI does not silence a long record
    EXPECT_EQ(run(*tape, cdb6(0x08, 0x02, 65024), 65024).sense, sense(0x20, 0, 0xFFFFFE00));
    for (const auto& [options, fails] : {std::pair{"bad=0", 3}, std::pair{"bad=0:2", 2}}) {
        SCOPED_TRACE(options);
        tape.reset();  // Windows refuses a second writer
        tape = open_tape(dir.file("t.dmp") + "?" + options);
        for (int attempt = 0; attempt < 3; ++attempt) {
            const outcome_t o = run(*tape, read6(100), 100);
            EXPECT_EQ(o.sense, attempt < fails ? sense(0x3, 0x1100, 100) : bytes_t{});
            EXPECT_EQ(position_of(*tape), attempt < fails ? 0u : 1u);
        }
    }
    // A heal file counts failed reads across opens.
    const std::string name = dir.file("t.dmp") + "?bad=0:3&nolocate&heal=" + dir.file("h");
    for (const auto& [fails, kept] : {std::pair{2, "block 0 failed 2\n"}, {1, "block 0 failed 3\n"}, {0, "block 0 failed 3\n"}}) {
        tape.reset();
        tape = open_tape(name);
        int failed = 0;
        while (failed < 2 && run(*tape, read6(100), 100).sense == sense(0x3, 0x1100, 100))
            ++failed;
        EXPECT_EQ(failed, fails);
        EXPECT_EQ(dir.read("h"), kept);
        EXPECT_EQ(run(*tape, locate10(0)).sense, illegal(0x2000, 0));
        EXPECT_EQ(position_of(*tape), failed < 2 ? 1u : 0u);
    }
}

TEST(vtape_space, stops_at_marks_end_of_data_and_the_beginning)
{
    struct case_t { uint8_t from, code; int32_t count; bytes_t sense; uint32_t to; };  // code 0 blocks, 1 marks
    const case_t cases[] = {
        {0, 0, 2, {}, 2},
        {0, 0, 5, mark(3), 3},
        {6, 0, 3, end_of_data(2), 7},
        {5, 0, -10, mark(-8), 2},
        {2, 0, -3, sense(0x40, 0x0004, uint32_t(-1)), 0},
        {0, 1, 1, {}, 3},
        {7, 1, -3, sense(0x40, 0x0004, uint32_t(-1)), 0},
    };
    scratch_directory_t dir;
    dir.write("t.dmp", medium_of({{10, 1}, {20, 2}, {0, 0}, {30, 3}, {40, 4}, {0, 0}, {50, 5}}));
    auto tape = open_tape(dir.file("t.dmp"));
    for (const case_t& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << int(c.from) << " code " << int(c.code) << " count " << c.count);
        ASSERT_EQ(run(*tape, locate10(c.from)).reply.status, 0);
        EXPECT_EQ(run(*tape, space6(c.code, c.count)).sense, c.sense);
        EXPECT_EQ(position_of(*tape), c.to);
    }
}

TEST(vtape_write, writes_make_the_container_bytes_end_the_medium_after_them_and_count_file_bytes_to_its_end)
{
    scratch_directory_t dir;
    const std::string path = dir.file("t.dmp");
    auto tape = open_tape(path);  // absent: created empty
    write_blocks(*tape, {{0, 0}, {80, 1}, {2048, 2}, {0, 0}, {1, 3}});
    const std::string file = dir.read("t.dmp");
    EXPECT_EQ(file, medium_of({{0, 0}, {80, 1}, {2048, 2}, {0, 0}, {1, 3}}));
    EXPECT_EQ(file.substr(0, 16), std::string("\0\0\0\0\0\0\0\1\0\0\0\x50\0\0\0\0", 16));
    run(*tape, space6(1, -1));
    write_blocks(*tape, {{100, 9}});
    const std::string truncated = medium_of({{0, 0}, {80, 1}, {2048, 2}, {100, 9}});
    EXPECT_EQ(dir.read("t.dmp"), truncated);
    EXPECT_EQ(position_of(*tape), 4u);
    EXPECT_EQ(run(*tape, filemarks6(0)).reply.status, 0);  // a flush: nothing written
    EXPECT_EQ(dir.read("t.dmp"), truncated);
    tape.reset();
    tape = open_tape(path + "?protect");
    EXPECT_EQ(run(*tape, write6(10), 0, pattern(10, 2)).sense, sense(0x7, 0x2700));
    EXPECT_EQ(run(*tape, filemarks6(1)).sense, sense(0x7, 0x2700));
    EXPECT_EQ(dir.read("t.dmp"), truncated);
    // Early warning and overflow count file bytes.
    const bytes_t warning = sense(0x40, 0x0002, 0);
    struct case_t { uint32_t length; bool written; bytes_t sense; };  // after 600 file bytes
    const case_t cases[] = {
        {192, true, {}},  // ends exactly at the warning
        {193, true, warning},
        {392, true, warning},  // ends exactly at capacity
        {393, false, sense(0x4D, 0x0002, 393)},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.length);
        tape.reset();
        dir.write("t.dmp", medium_of({{592, 1}}));
        tape = open_tape(path + "?capacity=1000&ew=200");
        run(*tape, space6(3, 0));
        EXPECT_EQ(run(*tape, write6(c.length), 0, pattern(c.length, 2)).sense, c.sense);
        const std::vector<block_spec_t> expected = {{592, 1}, {c.length, 2}};
        EXPECT_EQ(dir.read("t.dmp"), medium_of({expected.begin(), expected.end() - !c.written}));
        EXPECT_EQ(position_of(*tape), c.written ? 2u : 1u);
    }
    tape = open_tape(dir.file("m.dmp") + "?capacity=20");  // INFORMATION counts the marks not written
    EXPECT_EQ(run(*tape, filemarks6(5)).sense, sense(0x4D, 0x0002, 3));
    EXPECT_EQ(dir.read("m.dmp"), medium_of({{0, 0}, {0, 0}}));
}

}  // namespace
