// The tape-API driver over the virtual drive and a scripted one (outcomes a virtual medium cannot
// give, position queries that fail), and one medium walked through all three drivers.
#include <algorithm>
#include <fstream>
#include <sstream>
#include <tuple>

#include "tapeio/tape_io_objects.h"
#include "tests/platform/temp_dir_posix.h"
#include "tests/support/register_test_schemes_posix.h"
#include "tests/tapeio/spti_scripted_drive_posix.h"

namespace {

using namespace spti_test;
using bytes_t = std::vector<uint8_t>;
constexpr uint32_t size = 65536;
constexpr int32_t planted = 1000;  // block_count where the tape must say
constexpr uint64_t untouched = 7;

bytes_t record_data(size_t block, uint32_t length)
{
    bytes_t bytes(length);
    for (uint32_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(block * 29 + i * 11 + (i >> 8) + 3);
    return bytes;
}

// A container file of blocks (a length, 0 for a tape mark) of record_data.
void write_medium(const std::string& path, const std::vector<uint32_t>& blocks)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    tape_io_handle_t handle;
    handle.attach(file);
    bytes_t buffer(size);
    brx_file_tape_io.setup(&handle, buffer.data(), size);
    for (size_t block = 0; block < blocks.size(); ++block) {
        bytes_t bytes = record_data(block, blocks[block]);
        std::copy(bytes.begin(), bytes.end(), buffer.begin() + 8);
        int32_t result = blocks[block] == 0 ? brx_file_tape_io.write_tape_mark(&handle, buffer.data(), size)
                                            : brx_file_tape_io.write_record(&handle, buffer.data(), blocks[block]);
        EXPECT_EQ(result, static_cast<int32_t>(blocks[block])) << block;
    }
    CloseHandle(file);
}

// A device string opened as \\.\Tape80 with a handle and a 64 KiB buffer.
struct vtape_drive_t {
    explicit vtape_drive_t(const std::string& device_string)
    {
        register_test_device_schemes();
        setenv("BRX_TAPE80", device_string.c_str(), 1);
        handle.attach(CreateFileA("\\\\.\\Tape80", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        unsetenv("BRX_TAPE80");
        EXPECT_NE(handle.get_os_handle(), INVALID_HANDLE_VALUE) << device_string;
    }
    ~vtape_drive_t() { CloseHandle(handle.get_os_handle()); }
    int32_t read() { return physical_tape_io.read_forward(&handle, buffer.data(), size); }
    tape_io_handle_t handle;
    bytes_t buffer = bytes_t(size);
};

enum class op_t { file_forward, file_reverse, record_forward, record_reverse, step_forward, step_reverse, read, write, mark, erase, rewind };

int32_t run(op_t op, tape_io_handle_t* h, uint8_t* b, uint32_t count)
{
    tape_io_t& d = physical_tape_io;
    switch (op) {
    case op_t::file_forward: return d.space_file_forward(h, b, size);
    case op_t::file_reverse: return d.space_file_reverse(h, b, size);
    case op_t::record_forward: return d.space_record_forward(h, b, size, count);
    case op_t::record_reverse: return d.space_record_reverse(h, b, size, count);
    case op_t::step_forward: return d.step_record_forward(h, b, size, count);
    case op_t::step_reverse: return d.step_record_reverse(h, b, size, count);
    case op_t::read: return d.read_forward(h, b, count);
    case op_t::write: return d.write_record(h, b, 64);
    case op_t::mark: return d.write_tape_mark(h, b, size);
    case op_t::erase: return d.erase(h, b, size);
    case op_t::rewind: return d.rewind(h, b, size);
    }
    return 99;
}

// Blocks 0 and 1 records, 2 a mark, 3 a record, 4 a mark, then the end of data.
const std::vector<uint32_t> two_files = {100, 200, 0, 300, 0};

// start: blocks read from the beginning first; next_read: what a read right after gives.
struct vtape_case_t { const char* what; uint32_t start; op_t op; uint32_t count; int32_t result, block_count; uint64_t position; int32_t next_read; };

TEST(physical_vtape, reads_and_spacing_results_and_block_counts_come_from_the_tape)
{
    temp_dir_t directory;
    write_medium(directory.file("tape.brx"), two_files);
    vtape_drive_t drive("vtape:" + directory.file("tape.brx"));
    tape_io_handle_t* h = &drive.handle;
    uint8_t* b = drive.buffer.data();
    const vtape_case_t cases[] = {
        {"read a record: counts one more", 1, op_t::read, size, 200, planted + 1, untouched, 0},
        {"read at the end of data", 5, op_t::read, size, -2, 5, untouched, -2},
        {"file forward", 0, op_t::file_forward, 0, 0, 3, untouched, 300},
        {"file back to the beginning", 1, op_t::file_reverse, 0, -1, 0, 0, 100},
        {"records forward into a mark", 0, op_t::record_forward, 5, 0, 3, untouched, 300},
        {"step into a mark", 0, op_t::step_forward, 5, 0, 3, untouched, 300},
        {"record back: one whatever the count", 2, op_t::record_reverse, 9, 0, 1, untouched, 200},
        {"record back at the beginning", 0, op_t::record_reverse, 1, -1, 0, 0, 100},
    };
    for (const vtape_case_t& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(physical_tape_io.rewind(h, b, size), 1);
        for (uint32_t i = 0; i < c.start; ++i)
            ASSERT_GE(drive.read(), 0);
        h->block_count = planted, h->position = untouched;
        EXPECT_EQ(run(c.op, h, b, c.count), c.result);
        EXPECT_EQ(h->block_count, c.block_count);
        EXPECT_EQ(h->position, c.position);
        EXPECT_EQ(h->last_error, 0u);
        EXPECT_EQ(drive.read(), c.next_read);
    }
    // A record longer than the buffer: its head, and the tape behind it.
    ASSERT_EQ(physical_tape_io.rewind(h, b, size), 1);
    EXPECT_EQ(physical_tape_io.read_forward(h, b, 50), -3);
    EXPECT_EQ(h->last_error, ERROR_MORE_DATA);
    EXPECT_EQ(bytes_t(b, b + 50), record_data(0, 50));
    EXPECT_EQ(drive.read(), 200);
    EXPECT_EQ(bytes_t(b, b + 200), record_data(1, 200));
    EXPECT_EQ(physical_tape_io.erase(h, b, size), 0);
    EXPECT_EQ(drive.read(), -2);
}

// A medium of 1000 bytes with the early warning 400 before its end; a block takes 8 bytes more than its data.
TEST(physical_vtape, writes_report_the_early_warning_and_a_full_medium_as_minus_1)
{
    temp_dir_t directory;
    vtape_drive_t drive("vtape:" + directory.file("tape.brx") + "?capacity=1000&ew=400");
    tape_io_handle_t* h = &drive.handle;
    // Ends at 524, then 632 and 640 in the warning zone, 1048 past the end (not written), 948.
    const struct { uint32_t length; int32_t result, block_count; uint64_t position; } steps[] = {
        {100, 100, 1, 0}, {0, 0, 2, 0}, {400, 400, 3, 0}, {100, -1, 4, 1}, {0, -1, 5, 1}, {400, -1, 5, 1}, {300, -1, 6, 1}};
    uint8_t* b = drive.buffer.data();
    ASSERT_EQ(physical_tape_io.rewind(h, b, size), 1);
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        if (steps[i].result < 0) h->block_count = planted;
        EXPECT_EQ(steps[i].length == 0 ? physical_tape_io.write_tape_mark(h, b, size)
                                       : physical_tape_io.write_record(h, b, steps[i].length),
                  steps[i].result);
        EXPECT_EQ(std::tuple(h->block_count, h->position, h->last_error), std::tuple(steps[i].block_count, steps[i].position, 0u));
    }
    ASSERT_EQ(physical_tape_io.rewind(h, b, size), 1);
    for (size_t i : {0, 1, 2, 3, 4, 6})
        EXPECT_EQ(drive.read(), static_cast<int32_t>(steps[i].length)) << i;
    EXPECT_EQ(drive.read(), -2);
}

// The MODE SELECT commands in the trace since the last call (their CDBs); empties the trace.
std::vector<std::string> selects_in(const std::string& trace)
{
    std::vector<std::string> selects;
    std::istringstream lines(read_whole(trace));
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("15 ", 0) == 0 || line.rfind("55 ", 0) == 0) selects.push_back(line.substr(0, line.find(" |")));
    std::ofstream(trace, std::ios::trunc);
    return selects;
}

// A drive that compresses, has a fixed block length and is unbuffered. Setup turns all three off; a
// buffer too small for a step's work area leaves that step out, and a second setup does only that.
TEST(physical_vtape, setup_turns_compression_off_and_selects_variable_blocks_and_buffered_mode)
{
    temp_dir_t directory;
    const std::string trace = directory.file("trace.txt");
    const std::string compression = "15 10 00 00 14 00", variable = "15 00 00 00 0C 00",
                      buffered = "55 00 00 00 00 00 00 00 08 00";
    // The buffer is the work area whatever size the caller names; once set, nothing more is sent.
    const struct { uint32_t size; std::vector<std::string> first, second; } cases[] = {
        {size, {compression, variable, buffered}, {}},
        {0, {compression, variable, buffered}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        vtape_drive_t drive("vtape:" + directory.file("tape.brx") + "?trace=" + trace + "&bufmode=0");
        TAPE_SET_MEDIA_PARAMETERS fixed{512};
        ASSERT_EQ(SetTapeParameters(drive.handle.get_os_handle(), SET_TAPE_MEDIA_INFORMATION, &fixed), NO_ERROR);
        selects_in(trace);
        EXPECT_EQ(physical_tape_io.setup(&drive.handle, drive.buffer.data(), c.size), 0);
        EXPECT_EQ(selects_in(trace), c.first);
        EXPECT_EQ(physical_tape_io.setup(&drive.handle, drive.buffer.data(), size), 0);
        EXPECT_EQ(selects_in(trace), c.second);
    }
}

scripted_reply_t position_at(uint32_t block)
{
    return good({0, 0, 0, 0, static_cast<uint8_t>(block >> 24), static_cast<uint8_t>(block >> 16),
                 static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
}

struct scripted_case_t { const char* what; op_t op; std::vector<scripted_reply_t> replies; int32_t result, block_count; uint64_t position; DWORD last_error; size_t commands; };

// Spacing 5 records, reading 100, writing 64. The position query answers block 42 or fails.
TEST(physical_scripted, each_outcome_and_a_failing_position_query_after_it)
{
    scripted_drive_t drive("physical-scripted", 81);
    const scripted_reply_t ok = position_at(42), fails = check(sense(illegal_request));
    const scripted_reply_t mark = check(sense(no_sense, filemark, true, 3)), end = check(sense(medium_error, eom, true, 1));
    const scripted_reply_t bom = check(sense(no_sense, eom, true, -1)), no_data = check(sense(blank_check, 0, true, 1));
    const scripted_reply_t full = check(sense(volume_overflow, eom, true, 64)), warning = check(sense(no_sense, eom, true, 0));
    const int32_t p = planted;
    const uint64_t u = untouched;
    const scripted_case_t cases[] = {
        {"space: passed, query fails", op_t::record_forward, {good(), fails}, -4, p, u, 1, 2},
        {"space: end of medium", op_t::record_forward, {end, ok}, -1, 42, 1, 0, 2},
        {"space: end of medium, query fails", op_t::file_forward, {end, fails}, -5, p, 1, 1, 2},
        {"space: unreadable", op_t::file_forward, {check(sense(medium_error))}, -3, p, u, ERROR_CRC, 1},
        {"space back: beginning", op_t::file_reverse, {bom, position_at(0)}, -1, 0, 0, 0, 2},
        {"space back: end of medium is a plain failure", op_t::file_reverse, {full}, -3, p, u, ERROR_END_OF_MEDIA, 1},
        {"step: mark, query fails", op_t::step_forward, {mark, fails}, -5, p, u, 1, 2},
        {"step back: passed", op_t::step_reverse, {good(), ok}, 1, 42, u, 0, 2},
        {"step back: beginning, query fails", op_t::step_reverse, {bom, fails}, -6, p, 0, 1, 2},
        {"read: short record", op_t::read, {check(sense(no_sense, ili, true, 30))}, 70, p + 1, u, 0, 1},
        {"read: end of medium", op_t::read, {check(sense(medium_error, eom, true, 100)), ok}, -1, 42, 1, 0, 2},
        {"read: end of data, query fails", op_t::read, {check(sense(blank_check)), fails}, -5, p, u, 1, 2},
        {"write: short", op_t::write, {check(sense(recovered_error, 0, true, 14))}, -1, p + 1, 1, 0, 1},
        {"write: early warning", op_t::write, {warning, ok}, -1, 42, 1, 0, 2},
        {"mark: refused", op_t::mark, {check(sense(data_protect))}, -2, p, u, ERROR_WRITE_PROTECT, 1},
        {"erase: query fails", op_t::erase, {good(), fails}, -2, p, u, 1, 2},
        {"rewind: refused", op_t::rewind, {call_fails(ERROR_SEM_TIMEOUT)}, -1, p, u, ERROR_SEM_TIMEOUT, 1},
    };
    for (const scripted_case_t& c : cases) {
        SCOPED_TRACE(c.what);
        drive.script(c.replies);
        drive.handle.block_count = planted, drive.handle.position = untouched, drive.handle.last_error = 0x5A5A;
        SetLastError(0);
        EXPECT_EQ(run(c.op, &drive.handle, drive.buffer.data(), c.op == op_t::read ? 100 : 5), c.result);
        EXPECT_EQ(drive.handle.block_count, c.block_count);
        EXPECT_EQ(drive.handle.position, c.position);
        EXPECT_EQ(drive.handle.last_error, c.last_error);
        if (c.last_error != 0) { EXPECT_EQ(GetLastError(), c.last_error); }
        ASSERT_EQ(drive.device->commands.size(), c.commands);
        if (c.commands == 2) { EXPECT_EQ(drive.device->commands[1].cdb, (bytes_t{0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0})); }
    }
}

// Each record (empty: a mark) and the block count after it, then the result and count at the end.
struct walk_t { std::vector<std::pair<bytes_t, uint32_t>> seen; int32_t end_result = 0; uint32_t end_block_count = 0; bool operator==(const walk_t&) const = default; };

// Records up to the SCSI driver's data area, an empty file between two marks, a double mark at the end.
const std::vector<uint32_t> blocks = {80, 1, 65024, 0, 0, 512, 3000, 0, 7, 0, 0};

walk_t walk(tape_io_t& driver, tape_io_handle_t* handle, uint8_t* buffer)
{
    walk_t walk;
    EXPECT_EQ(driver.rewind(handle, buffer, size), 1);
    const uint8_t* data = buffer + driver.data_offset(handle);
    for (size_t i = 0; i <= blocks.size(); ++i) {
        int32_t result = driver.read_forward(handle, buffer, size);
        uint32_t count = 0;
        EXPECT_EQ(driver.get_block_count(handle, &count), 0);
        if (result < 0) {
            walk.end_result = result, walk.end_block_count = count;
            break;
        }
        walk.seen.emplace_back(bytes_t(data, data + result), count);
    }
    return walk;
}

TEST(driver_walk, the_three_drivers_read_one_medium_alike)
{
    temp_dir_t directory;
    const std::string medium = directory.file("tape.brx");
    write_medium(medium, blocks);
    walk_t expected{{}, -2, static_cast<uint32_t>(blocks.size())};
    for (size_t block = 0; block < blocks.size(); ++block)
        expected.seen.emplace_back(record_data(block, blocks[block]), block + 1);
    {
        vtape_drive_t drive("vtape:" + medium);
        EXPECT_TRUE(walk(physical_tape_io, &drive.handle, drive.buffer.data()) == expected);
    }
    {
        vtape_drive_t drive("vtape:" + medium);
        walk_t through_scsi = walk(s2pti_tape_io, &drive.handle, drive.buffer.data());
        EXPECT_EQ(through_scsi.end_result, -9);
        through_scsi.end_result = -2;
        EXPECT_TRUE(through_scsi == expected);
    }
    {
        HANDLE file = CreateFileA(medium.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        tape_io_handle_t handle;
        handle.attach(file);
        bytes_t buffer(size);
        EXPECT_EQ(brx_file_tape_io.setup(&handle, buffer.data(), size), 1);
        EXPECT_TRUE(walk(brx_file_tape_io, &handle, buffer.data()) == expected);
        CloseHandle(file);
    }
}

}  // namespace
