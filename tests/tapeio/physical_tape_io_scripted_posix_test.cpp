// The tape-API driver on a scripted drive: the outcomes a virtual medium cannot produce (the end
// of the medium while spacing or reading, short writes) and a position query that fails after
// each condition, with the value each table row gives for that case.
#include "tapeio/tape_io_objects.h"
#include "tests/tapeio/spti_scripted_drive_posix.h"

namespace {

using namespace spti_test;

constexpr uint32_t size = 65536;
constexpr int32_t planted_count = 1000;
constexpr uint64_t untouched = 7;
constexpr int32_t tape_block = 42;

scripted_reply_t position_at(uint32_t block)
{
    std::vector<uint8_t> data(20, 0);
    data[4] = static_cast<uint8_t>(block >> 24);
    data[5] = static_cast<uint8_t>(block >> 16);
    data[6] = static_cast<uint8_t>(block >> 8);
    data[7] = static_cast<uint8_t>(block);
    return good(data);
}
const scripted_reply_t position_ok = position_at(tape_block);
const scripted_reply_t query_fails = check(sense(illegal_request));  // ERROR_INVALID_FUNCTION

enum class op_t { space_file_forward, space_file_reverse, space_record_forward, space_record_reverse,
                  step_record_forward, step_record_reverse, read, write, mark, erase, rewind, unload };

int32_t run(op_t op, scripted_drive_t& drive)
{
    tape_io_handle_t* h = &drive.handle;
    uint8_t* b = drive.buffer.data();
    switch (op) {
    case op_t::space_file_forward: return physical_tape_io.space_file_forward(h, b, size);
    case op_t::space_file_reverse: return physical_tape_io.space_file_reverse(h, b, size);
    case op_t::space_record_forward: return physical_tape_io.space_record_forward(h, b, size, 5);
    case op_t::space_record_reverse: return physical_tape_io.space_record_reverse(h, b, size, 9);
    case op_t::step_record_forward: return physical_tape_io.step_record_forward(h, b, size, 5);
    case op_t::step_record_reverse: return physical_tape_io.step_record_reverse(h, b, size, 9);
    case op_t::read: return physical_tape_io.read_forward(h, b, 100);
    case op_t::write: return physical_tape_io.write_record(h, b, 64);
    case op_t::mark: return physical_tape_io.write_tape_mark(h, b, size);
    case op_t::erase: return physical_tape_io.erase(h, b, size);
    case op_t::rewind: return physical_tape_io.rewind(h, b, size);
    case op_t::unload: return physical_tape_io.unload(h, b, size);
    }
    return 99;
}

struct outcome_case_t {
    const char* what;
    op_t op;
    std::vector<scripted_reply_t> replies;
    int32_t result;
    int32_t block_count;
    uint64_t position;
    DWORD last_error;
    size_t commands;
};

void run_cases(scripted_drive_t& drive, const std::vector<outcome_case_t>& cases)
{
    for (const outcome_case_t& c : cases) {
        SCOPED_TRACE(c.what);
        drive.script(c.replies);
        drive.handle.block_count = planted_count;
        drive.handle.position = untouched;
        drive.handle.last_error = 0x5A5A;
        drive.handle.user_flag = 1;
        SetLastError(0);
        EXPECT_EQ(run(c.op, drive), c.result);
        EXPECT_EQ(drive.handle.user_flag, 0);
        EXPECT_EQ(drive.handle.block_count, c.block_count);
        EXPECT_EQ(drive.handle.position, c.position);
        EXPECT_EQ(drive.handle.last_error, c.last_error);
        if (c.last_error != 0) {
            EXPECT_EQ(GetLastError(), c.last_error);
        }
        EXPECT_EQ(drive.device->commands.size(), c.commands);
    }
}

TEST(physical_scripted, spacing_outcomes_and_a_failing_position_query_after_each)
{
    scripted_drive_t drive("physical-spacing", 81);
    const scripted_reply_t mark = check(sense(no_sense, filemark, true, 3));
    const scripted_reply_t end = check(sense(medium_error, eom, true, 1));
    const scripted_reply_t beginning = check(sense(no_sense, eom, true, -1));
    const scripted_reply_t no_data = check(sense(blank_check, 0, true, 1));
    const scripted_reply_t full = check(sense(volume_overflow, eom));
    const int32_t p = planted_count;
    run_cases(drive, {
        {"space: passed", op_t::space_record_forward, {good(), position_ok}, 0, tape_block, untouched, 0, 2},
        {"space: passed, query fails", op_t::space_record_forward, {good(), query_fails}, -4, p, untouched, 1, 2},
        {"space: mark, query fails", op_t::space_file_forward, {mark, query_fails}, -4, p, untouched, 1, 2},
        {"space: end of medium", op_t::space_record_forward, {end, position_ok}, -1, tape_block, 1, 0, 2},
        {"space: end of medium, query fails", op_t::space_file_forward, {end, query_fails}, -5, p, 1, 1, 2},
        {"space: end of data, query fails", op_t::space_record_forward, {no_data, query_fails}, -6, p, untouched, 1,
         2},
        {"space: unreadable", op_t::space_file_forward, {check(sense(medium_error))}, -3, p, untouched, ERROR_CRC, 1},
        {"space back: beginning", op_t::space_file_reverse, {beginning, position_at(0)}, -1, 0, 0, 0, 2},
        {"space back: beginning, query fails", op_t::space_record_reverse, {beginning, query_fails}, -5, p, 0, 1, 2},
        {"space back: end of medium is a plain failure", op_t::space_file_reverse, {full}, -3, p, untouched,
         ERROR_END_OF_MEDIA, 1},
        {"space back: mark, query fails", op_t::space_record_reverse, {mark, query_fails}, -4, p, untouched, 1, 2},
        {"step: passed, query fails", op_t::step_record_forward, {good(), query_fails}, -4, p, untouched, 1, 2},
        {"step: mark", op_t::step_record_forward, {mark, position_ok}, 0, tape_block, untouched, 0, 2},
        {"step: mark, query fails", op_t::step_record_forward, {mark, query_fails}, -5, p, untouched, 1, 2},
        {"step: end of medium", op_t::step_record_forward, {end, position_ok}, -1, tape_block, 1, 0, 2},
        {"step: end of medium, query fails", op_t::step_record_forward, {end, query_fails}, -6, p, 1, 1, 2},
        {"step: end of data, query fails", op_t::step_record_forward, {no_data, query_fails}, -7, p, untouched, 1, 2},
        {"step back: passed", op_t::step_record_reverse, {good(), position_ok}, 1, tape_block, untouched, 0, 2},
        {"step back: mark, query fails", op_t::step_record_reverse, {mark, query_fails}, -5, p, untouched, 1, 2},
        {"step back: beginning, query fails", op_t::step_record_reverse, {beginning, query_fails}, -6, p, 0, 1, 2},
        {"step back: end of data, query fails", op_t::step_record_reverse, {no_data, query_fails}, -7, p, untouched,
         1, 2},
        {"step back: end of medium is a plain failure", op_t::step_record_reverse, {full}, -3, p, untouched,
         ERROR_END_OF_MEDIA, 1},
    });
}

TEST(physical_scripted, each_movement_sends_its_space_then_reads_the_position)
{
    scripted_drive_t drive("physical-cdbs", 82);
    const std::vector<uint8_t> read_position = {0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::pair<op_t, std::vector<uint8_t>> cases[] = {
        {op_t::space_file_forward, {0x11, 1, 0, 0, 1, 0}},
        {op_t::space_file_reverse, {0x11, 1, 0xFF, 0xFF, 0xFF, 0}},
        {op_t::space_record_forward, {0x11, 0, 0, 0, 5, 0}},
        {op_t::space_record_reverse, {0x11, 0, 0xFF, 0xFF, 0xFF, 0}},  // one record, not nine
        {op_t::step_record_forward, {0x11, 0, 0, 0, 5, 0}},
        {op_t::step_record_reverse, {0x11, 0, 0xFF, 0xFF, 0xFF, 0}},
        {op_t::erase, {0x19, 1, 0, 0, 0, 0}},
    };
    for (const auto& [op, cdb] : cases) {
        SCOPED_TRACE(static_cast<int>(op));
        drive.script({good(), position_ok});
        run(op, drive);
        ASSERT_EQ(drive.device->commands.size(), 2u);
        EXPECT_EQ(drive.device->commands[0].cdb, cdb);
        EXPECT_EQ(drive.device->commands[1].cdb, read_position);
    }
}

TEST(physical_scripted, reads_writes_and_marks_at_the_end_of_the_medium)
{
    scripted_drive_t drive("physical-records", 83);
    const int32_t p = planted_count;
    const scripted_reply_t end = check(sense(medium_error, eom, true, 100));
    const scripted_reply_t warning = check(sense(no_sense, eom, true, 0));
    const scripted_reply_t full = check(sense(volume_overflow, eom, true, 64));
    run_cases(drive, {
        {"read: record", op_t::read, {good(std::vector<uint8_t>(100, 1))}, 100, p + 1, untouched, 0, 1},
        {"read: short record", op_t::read, {check(sense(no_sense, ili, true, 30))}, 70, p + 1, untouched, 0, 1},
        {"read: mark", op_t::read, {check(sense(no_sense, filemark, true, 100))}, 0, p + 1, untouched, 0, 1},
        {"read: end of medium", op_t::read, {end, position_ok}, -1, tape_block, 1, 0, 2},
        {"read: end of medium, query fails", op_t::read, {end, query_fails}, -4, p, 1, 1, 2},
        {"read: end of data", op_t::read, {check(sense(blank_check)), position_ok}, -2, tape_block, untouched, 0, 2},
        {"read: end of data, query fails", op_t::read, {check(sense(blank_check)), query_fails}, -5, p, untouched, 1,
         2},
        {"read: long record", op_t::read, {check(sense(no_sense, ili, true, -1))}, -3, p, untouched, ERROR_MORE_DATA,
         1},
        {"read: unreadable", op_t::read, {check(sense(medium_error))}, -3, p, untouched, ERROR_CRC, 1},
        {"write: record", op_t::write, {good()}, 64, p + 1, untouched, 0, 1},
        {"write: short", op_t::write, {check(sense(recovered_error, 0, true, 14))}, -1, p + 1, 1, 0, 1},
        {"write: early warning", op_t::write, {warning, position_ok}, -1, tape_block, 1, 0, 2},
        {"write: full, query fails", op_t::write, {full, query_fails}, -3, p, 1, 1, 2},
        {"write: protected", op_t::write, {check(sense(data_protect))}, -2, p, untouched, ERROR_WRITE_PROTECT, 1},
        {"mark", op_t::mark, {good()}, 0, p + 1, untouched, 0, 1},
        {"mark: early warning", op_t::mark, {warning, position_ok}, -1, tape_block, 1, 0, 2},
        {"mark: full, query fails", op_t::mark, {full, query_fails}, -3, p, 1, 1, 2},
        {"mark: refused", op_t::mark, {check(sense(data_protect))}, -2, p, untouched, ERROR_WRITE_PROTECT, 1},
        {"erase", op_t::erase, {good(), position_ok}, 0, tape_block, untouched, 0, 2},
        {"erase: query fails", op_t::erase, {good(), query_fails}, -2, p, untouched, 1, 2},
        {"erase: refused", op_t::erase, {check(sense(data_protect))}, -1, p, untouched, ERROR_WRITE_PROTECT, 1},
        {"rewind", op_t::rewind, {good()}, 1, 0, 0, 0, 1},
        {"rewind: refused", op_t::rewind, {call_fails(ERROR_SEM_TIMEOUT)}, -1, p, untouched, ERROR_SEM_TIMEOUT, 1},
        {"unload", op_t::unload, {good()}, 0, 0, untouched, 0, 1},
        {"unload: refused", op_t::unload, {check(sense(not_ready))}, -1, p, untouched, ERROR_NOT_READY, 1},
    });
}

}  // namespace
