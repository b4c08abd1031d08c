// The container-file driver across 4 GiB boundaries, on sparse files (only Linux makes them
// cheaply: the big records are holes, only headers and small records hold data).

#include "tests/tapeio/container_file_fixture.h"

namespace brx_test {
namespace {

using large_file_test = container_file_test;
using op = op_t;

constexpr uint64_t gib4 = 1ull << 32;

// Read calls this process has made so far.
uint64_t read_calls()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value)
        if (key == "syscr:")
            return value;
    return 0;
}

// Read calls made by what runs between two looks, less those of a look itself.
const uint64_t look_calls = [] { uint64_t first = read_calls(); return read_calls() - first; }();
uint64_t read_calls_since(uint64_t before) { return read_calls() - before - look_calls; }

TEST_F(large_file_test, SpacingReadsHeadersOnlyAndALongRecordsRestIsSkipped)
{
    create({50000, 0, 70000, 40000});
    open();
    const uint64_t before = read_calls();
    run_script({{op::space_file_forward, 0, 50016, 50008, 2}, {op::step_record_forward, 70000, 120024, 50016, 3},
                {op::space_record_forward, 0, 160032, 120024, 4}});
    EXPECT_EQ(read_calls_since(before), 4u);  // one per header
    run_script({{op::rewind, 1, 0, 1, 0}, {op::space_record_forward, 0, 50008, 0, 1},
                {op::space_record_forward, 0, 50016, 50008, 2}});
    const uint64_t at_long = read_calls();
    run_script({{op::read_forward, 70000, 120024, 50016, 3}});
    EXPECT_EQ(read_calls_since(at_long), 2u);  // the header, then what fits the buffer
}
constexpr uint32_t big = 0x7FFFFFF0u;  // two of them bring the next header to 4 GiB - 16

TEST_F(large_file_test, RecordSpanningFourGibIsReadAndWalkedBothWays)
{
    // Headers at 0, 2 GiB - 8, 4 GiB - 16 (its 100 bytes span the boundary), 4 GiB + 92, 4 GiB + 100.
    std::vector<uint64_t> offsets = create({big, big, 100, 0, 50});
    ASSERT_EQ(offsets[2], gib4 - 16);
    open();
    run_script({{op::space_record_forward, 0, 0x7FFFFFF8, 0, 1}, {op::space_record_forward, 0, gib4 - 16, 0x7FFFFFF8, 2},
                {op::read_forward, 100, gib4 + 0x5C, gib4 - 16, 3}, {op::read_forward, 0, gib4 + 0x64, gib4 + 0x5C, 4},
                {op::read_forward, 50, gib4 + 0x9E, gib4 + 0x64, 5}, {op::read_forward, -2, gib4 + 0x9E, gib4 + 0x64, 5},
                {op::read_reverse, 50, gib4 + 0x64, gib4 + 0x5C, 4},
                // The tape mark's back-pointer FFFFFFF0 lies in the window below.
                {op::read_reverse, 0, gib4 + 0x5C, gib4 - 16, 3}, {op::read_reverse, 100, gib4 - 16, 0x7FFFFFF8, 2},
                {op::space_record_reverse, 0, 0x7FFFFFF8, 0, 1}, {op::step_record_reverse, int32_t(big), 0, 1, 0},
                {op::space_file_forward, 0, gib4 + 0x64, gib4 + 0x5C, 4}, {op::space_file_reverse, 0, gib4 + 0x5C, gib4 - 16, 3},
                {op::space_file_reverse, -1, 0, 1, 0}, {op::space_file_forward, 0, gib4 + 0x64, gib4 + 0x5C, 4},
                {op::space_record_forward, 0, gib4 + 0x9E, gib4 + 0x64, 5}, {op::write_tape_mark, 0, gib4 + 0xA6, gib4 + 0x9E, 6},
                {op::step_record_reverse, 0, gib4 + 0x9E, gib4 + 0x64, 5}, {op::step_record_reverse, 50, gib4 + 0x64, gib4 + 0x5C, 4}},
               &offsets);
    // The file ends after the new tape mark, whose back-pointer holds the low half of the header before it.
    EXPECT_EQ(std::filesystem::file_size(path()), gib4 + 0xA6);
    std::vector<uint8_t> mark(8);
    std::ifstream in(path(), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(gib4 + 0x9E));
    in.read(reinterpret_cast<char*>(mark.data()), 8);
    EXPECT_EQ(mark, header_bytes(0, 0x64));
}

}  // namespace
}  // namespace brx_test
