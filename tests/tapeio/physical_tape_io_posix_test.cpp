// The tape-API driver over a scripted drive (every outcome, and position queries that fail) and over
// the virtual drive (setup's mode selects).
#include <fstream>

#include "tapeio/tape_io_objects.h"
#include "tests/support/e2e.h"
#include "tests/support/register_test_schemes_posix.h"
#include "tests/support/tape_ops.h"
#include "tests/tapeio/spti_scripted_drive_posix.h"

namespace {

using namespace spti_test;
using bytes_t = std::vector<uint8_t>;
constexpr uint32_t size = 65536;
constexpr int32_t planted = 1000;  // block_count where the tape must say
constexpr uint64_t untouched = 7;

// The MODE SELECT commands in the trace since the last call (their CDBs); empties the trace.
std::vector<std::string> selects_in(const std::string& trace)
{
    std::vector<std::string> selects;
    std::ifstream file(trace);
    for (std::string line; std::getline(file, line);)
        if (line.rfind("15 ", 0) == 0 || line.rfind("55 ", 0) == 0) selects.push_back(line.substr(0, line.find(" |")));
    std::ofstream(trace, std::ios::trunc);
    return selects;
}

// A drive that compresses, has a fixed block length and is unbuffered: setup turns all three off,
// with the buffer as its work area whatever size the caller names; once set, nothing more is sent.
TEST(physical_vtape, setup_turns_compression_off_and_selects_variable_blocks_and_buffered_mode)
{
    scratch_directory_t directory;
    const std::string trace = directory.file("trace.txt");
    const std::vector<std::string> all = {"15 10 00 00 14 00", "15 00 00 00 0C 00", "55 00 00 00 00 00 00 00 08 00"};
    register_test_device_schemes();
    for (const uint32_t named : {size, 0u}) {
        SCOPED_TRACE(named);
        tape_io_handle_t handle;
        bytes_t buffer(size);
        handle.attach(open_tape_unit(80, "vtape:" + directory.file("tape.brx") + "?trace=" + trace + "&bufmode=0"));
        TAPE_SET_MEDIA_PARAMETERS fixed{512};
        ASSERT_EQ(SetTapeParameters(handle.get_os_handle(), SET_TAPE_MEDIA_INFORMATION, &fixed), NO_ERROR);
        selects_in(trace);
        EXPECT_EQ(physical_tape_io.setup(&handle, buffer.data(), named), 0);
        EXPECT_EQ(selects_in(trace), all);
        EXPECT_EQ(physical_tape_io.setup(&handle, buffer.data(), size), 0);
        EXPECT_EQ(selects_in(trace), std::vector<std::string>{});
        CloseHandle(handle.get_os_handle());
    }
}

scripted_reply_t position_at(uint32_t block)
{
    return good({0, 0, 0, 0, static_cast<uint8_t>(block >> 24), static_cast<uint8_t>(block >> 16),
                 static_cast<uint8_t>(block >> 8), static_cast<uint8_t>(block), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
}

// Spacing 5 records, reading 100, writing 64. The position query answers block 42 or fails.
TEST(physical_scripted, each_outcome_and_a_failing_position_query_after_it)
{
    scripted_drive_t drive("physical-scripted", 81);
    const scripted_reply_t ok = position_at(42), fails = check(sense(illegal_request));
    const scripted_reply_t mark = check(sense(no_sense, filemark, true, 3)), end = check(sense(medium_error, eom, true, 1));
    const scripted_reply_t bom = check(sense(no_sense, eom, true, -1)), warning = check(sense(no_sense, eom, true, 0));
    const scripted_reply_t full = check(sense(volume_overflow, eom, true, 64));
    const int32_t p = planted;
    const uint64_t u = untouched;
    using enum op_t;
    const struct { const char* what; op_t op; std::vector<scripted_reply_t> replies; int32_t result, block_count; uint64_t position;
                   DWORD last_error; size_t commands; bytes_t first = {}; } cases[] = {
        {"space: passed", space_file_forward, {good(), ok}, 0, 42, u, 0, 2, {0x11, 1, 0, 0, 1, 0}},
        {"space: passed, query fails", space_record_forward, {good(), fails}, -4, p, u, 1, 2},
        {"space: into a mark", space_record_forward, {mark, ok}, 0, 42, u, 0, 2, {0x11, 0, 0, 0, 5, 0}},
        {"space: end of medium", space_record_forward, {end, ok}, -1, 42, 1, 0, 2},
        {"space: end of medium, query fails", space_file_forward, {end, fails}, -5, p, 1, 1, 2},
        {"space: unreadable", space_file_forward, {check(sense(medium_error))}, -3, p, u, ERROR_CRC, 1},
        {"space back: one whatever the count", space_record_reverse, {good(), ok}, 0, 42, u, 0, 2, {0x11, 0, 0xFF, 0xFF, 0xFF, 0}},
        {"space back: beginning", space_file_reverse, {bom, position_at(0)}, -1, 0, 0, 0, 2},
        {"space back: beginning under MEDIUM ERROR", space_record_reverse,
         {check(sense(medium_error, eom, true, -1)), position_at(0)}, -1, 0, 0, 0, 2},
        {"space: end of data", space_file_forward, {check(sense(blank_check, 0, true, 1)), ok}, -2, 42, u, 0, 2, {0x11, 1, 0, 0, 1, 0}},
        {"space back: end of medium is a plain failure", space_file_reverse, {full}, -3, p, u, ERROR_END_OF_MEDIA, 1},
        {"step: mark, query fails", step_record_forward, {mark, fails}, -5, p, u, 1, 2},
        {"step back: passed", step_record_reverse, {good(), ok}, 1, 42, u, 0, 2},
        {"step back: beginning, query fails", step_record_reverse, {bom, fails}, -6, p, 0, 1, 2},
        {"read: a record", read_forward, {good(bytes_t(100, 0x5A))}, 100, p + 1, u, 0, 1, {0x08, 0, 0, 0, 100, 0}},
        {"read: no medium", read_forward, {check(sense(not_ready, 0, false, 0, 0x70, 0x3A))}, -3, p, u, ERROR_NO_MEDIA_IN_DRIVE, 1},
        {"read: medium changed", read_forward, {check(sense(unit_attention, 0, false, 0, 0x70, 0x28))}, -3, p, u, ERROR_MEDIA_CHANGED, 1},
        {"read: busy", read_forward, {status(status_busy)}, -3, p, u, ERROR_BUSY, 1},
        {"read: short record", read_forward, {check(sense(no_sense, ili, true, 30))}, 70, p + 1, u, 0, 1},
        {"read: longer than the buffer", read_forward, {check(sense(no_sense, ili, true, -28))}, -3, p, u, ERROR_MORE_DATA, 1},
        {"read: tape mark", read_forward, {check(sense(no_sense, filemark, true, 100))}, 0, p + 1, u, 0, 1},
        {"read: end of medium", read_forward, {check(sense(medium_error, eom, true, 100)), ok}, -1, 42, 1, 0, 2},
        {"read: end of data", read_forward, {check(sense(blank_check)), ok}, -2, 42, u, 0, 2},
        {"read: end of data, query fails", read_forward, {check(sense(blank_check)), fails}, -5, p, u, 1, 2},
        {"read backwards: not supported", read_reverse, {}, -3, p, u, 0, 0},
        {"write: a record", write_record, {good()}, 64, p + 1, u, 0, 1, {0x0A, 0, 0, 0, 64, 0}},
        {"write: full, nothing written", write_record, {check(sense(volume_overflow, eom, true, 64)), ok}, -1, 42, 1, 0, 2},
        {"write: protected", write_record, {check(sense(data_protect))}, -2, p, u, ERROR_WRITE_PROTECT, 1},
        {"write: short", write_record, {check(sense(recovered_error, 0, true, 14))}, -1, p + 1, 1, 0, 1},
        {"write: early warning", write_record, {warning, ok}, -1, 42, 1, 0, 2},
        {"mark: early warning", write_tape_mark, {warning, ok}, -1, 42, 1, 0, 2},
        {"mark: refused", write_tape_mark, {check(sense(data_protect))}, -2, p, u, ERROR_WRITE_PROTECT, 1},
        {"erase", erase, {good(), ok}, 0, 42, u, 0, 2},
        {"erase: query fails", erase, {good(), fails}, -2, p, u, 1, 2},
        {"rewind: refused", rewind, {call_fails(ERROR_SEM_TIMEOUT)}, -1, p, u, ERROR_SEM_TIMEOUT, 1},
        {"flush: nothing to send", flush, {}, 0, p, u, 0, 0},
        {"unload", unload, {good()}, 0, 0, u, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        drive.script(c.replies);
        drive.handle.block_count = planted, drive.handle.position = untouched, drive.handle.last_error = 0x5A5A;
        SetLastError(0);
        EXPECT_EQ(run_op(physical_tape_io, c.op, &drive.handle, drive.buffer.data(), c.op == read_forward ? 100 : size,
                         c.op == write_record ? 64 : 5), c.result);
        EXPECT_EQ(drive.handle.block_count, c.block_count);
        EXPECT_EQ(drive.handle.position, c.position);
        EXPECT_EQ(drive.handle.last_error, c.last_error);
        if (c.last_error != 0) { EXPECT_EQ(GetLastError(), c.last_error); }
        ASSERT_EQ(drive.device->commands.size(), c.commands);
        if (!c.first.empty()) { EXPECT_EQ(drive.device->commands[0].cdb, c.first); }
        if (c.commands == 2) { EXPECT_EQ(drive.device->commands[1].cdb, (bytes_t{0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0})); }
    }
}

}  // namespace
