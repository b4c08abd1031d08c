// Every rung of the status and sense ladder, for every command operation of the SCSI driver,
// against a drive whose answers are scripted byte by byte.
#include <gtest/gtest.h>

#include "tapeio/s2pti_tape_io.h"
#include "tests/tapeio/spti_scripted_drive_posix.h"

namespace {

using namespace spti_test;

enum class op_t {
    read,
    space_file_forward,
    space_file_reverse,
    space_record_forward,  // count 5
    space_record_reverse,  // count 10
    step_record_forward,   // count 5
    step_record_reverse,   // count 10
    write_record,          // 100 bytes
    write_tape_mark,
    flush,
    rewind,
    erase,
    unload,
    read_reverse,
};

int32_t run(op_t op, tape_io_t& driver, tape_io_handle_t* handle, uint8_t* buffer)
{
    switch (op) {
    case op_t::read: return driver.read_forward(handle, buffer, 65536);
    case op_t::space_file_forward: return driver.space_file_forward(handle, buffer, 65536);
    case op_t::space_file_reverse: return driver.space_file_reverse(handle, buffer, 65536);
    case op_t::space_record_forward: return driver.space_record_forward(handle, buffer, 65536, 5);
    case op_t::space_record_reverse: return driver.space_record_reverse(handle, buffer, 65536, 10);
    case op_t::step_record_forward: return driver.step_record_forward(handle, buffer, 65536, 5);
    case op_t::step_record_reverse: return driver.step_record_reverse(handle, buffer, 65536, 10);
    case op_t::write_record: return driver.write_record(handle, buffer, 100);
    case op_t::write_tape_mark: return driver.write_tape_mark(handle, buffer, 65536);
    case op_t::flush: return driver.flush(handle, buffer, 65536);
    case op_t::rewind: return driver.rewind(handle, buffer, 65536);
    case op_t::erase: return driver.erase(handle, buffer, 65536);
    case op_t::unload: return driver.unload(handle, buffer, 65536);
    case op_t::read_reverse: return driver.read_reverse(handle, buffer, 65536);
    }
    return 0x7FFFFFFF;
}

constexpr DWORD transport_error = ERROR_SEM_TIMEOUT;
constexpr DWORD none = NO_ERROR;
constexpr DWORD planted = planted_error;
constexpr int32_t start_blocks = 100;

struct ladder_case_t {
    const char* name;
    op_t op;
    std::vector<scripted_reply_t> replies;
    int32_t result;
    DWORD last_error;
    int32_t blocks;          // block_count afterwards; it starts at 100
    uint64_t start_position; // 0 or 1 (end of the medium already reported)
    uint64_t position;       // position afterwards
    size_t commands = 1;
};

void run_cases(const std::vector<ladder_case_t>& cases)
{
    scripted_drive_t drive("spti-ladder", 70);
    s2pti_tape_io_t driver;
    for (const ladder_case_t& c : cases) {
        SCOPED_TRACE(c.name);
        drive.script(c.replies);
        drive.handle.block_count = start_blocks;
        drive.handle.position = c.start_position;
        drive.handle.last_error = 0x5555;  // every operation clears it first
        drive.handle.user_flag = 1;
        SetLastError(planted_error);
        EXPECT_EQ(run(c.op, driver, &drive.handle, drive.buffer.data()), c.result);
        EXPECT_EQ(drive.handle.last_error, c.last_error);
        EXPECT_EQ(drive.handle.block_count, c.blocks);
        EXPECT_EQ(drive.handle.position, c.position);
        EXPECT_EQ(drive.handle.user_flag, 0);
        EXPECT_EQ(drive.device->commands.size(), c.commands);
    }
}

// The rungs before the sense key, shared by the data and space operations: call failed, a status
// other than GOOD or CHECK CONDITION, and sense data of a rejected format (a zeroed area among them).
std::vector<ladder_case_t> early_rungs(op_t op, int32_t first, uint64_t position)
{
    return {
        {"call failed", op, {call_fails(transport_error)}, first, transport_error, 100, position, position},
        {"busy", op, {status(status_busy)}, first - 1, planted, 100, position, position},
        {"reservation conflict", op, {status(status_reservation_conflict)}, first - 1, planted, 100, position,
         position},
        {"sense not delivered", op, {check({})}, first - 2, planted, 100, position, position},
        {"response code 0x60", op, {check(sense(no_sense, filemark | eom, true, 1, 0x60))}, first - 2, planted, 100,
         position, position},
    };
}

TEST(spti_ladder, read_forward_decodes_every_rung_and_key)
{
    std::vector<ladder_case_t> cases = early_rungs(op_t::read, -3, 0);
    std::vector<ladder_case_t> keys = {
        {"record of 65024 bytes", op_t::read, {good()}, 65024, none, 101, 0, 0},
        {"tape mark", op_t::read, {check(sense(no_sense, filemark, true, 65024))}, 0, none, 101, 0, 0},
        {"tape mark, descriptor response code 0x72", op_t::read, {check(sense(no_sense, filemark, false, 0, 0x72))},
         0, none, 101, 0, 0},
        {"record of 100 bytes", op_t::read, {check(sense(no_sense, ili, true, 64924))}, 100, none, 101, 0, 0},
        {"record of 65536 bytes", op_t::read, {check(sense(no_sense, ili, true, -512))}, 65536, none, 101, 0, 0},
        {"short record without VALID", op_t::read, {check(sense(no_sense, ili))}, 0, none, 101, 0, 0},
        {"mark and ILI together", op_t::read, {check(sense(no_sense, filemark | ili, true, 7))}, 0, none, 101, 0, 0},
        {"no sense without a bit", op_t::read, {check(sense(no_sense, 0, true, 5))}, -6, planted, 100, 0, 0},
        {"no sense with EOM only", op_t::read, {check(sense(no_sense, eom, true, 65024))}, -6, planted, 100, 0, 0},
        {"recovered tape mark", op_t::read, {check(sense(recovered_error, filemark))}, 0, none, 101, 0, 0},
        {"recovered record of 1 byte", op_t::read, {check(sense(recovered_error, ili, true, 65023))}, 1, none, 101,
         0, 0},
        {"recovered without a bit", op_t::read, {check(sense(recovered_error))}, -7, planted, 100, 0, 0},
        {"end of medium", op_t::read, {check(sense(medium_error, eom, true, 65024))}, -1, none, 101, 0, 1},
        {"end of medium already reported", op_t::read, {check(sense(medium_error, eom))}, -1, none, 101, 1, 1},
        {"unreadable block", op_t::read, {check(sense(medium_error))}, -8, planted, 100, 0, 0},
        {"medium error at a mark", op_t::read, {check(sense(medium_error, filemark))}, -8, planted, 100, 0, 0},
        {"volume overflow", op_t::read, {check(sense(volume_overflow, eom))}, -9, planted, 100, 0, 0},
        {"end of data", op_t::read, {check(sense(blank_check, eom, true, 65024))}, -9, planted, 100, 0, 0},
        {"end of data at a mark", op_t::read, {check(sense(blank_check, filemark))}, -9, planted, 100, 0, 0},
        {"not ready", op_t::read, {check(sense(not_ready))}, -9, planted, 100, 0, 0},
        {"unit attention", op_t::read, {check(sense(unit_attention))}, -9, planted, 100, 0, 0},
    };
    cases.insert(cases.end(), keys.begin(), keys.end());
    run_cases(cases);
}

TEST(spti_ladder, forward_spaces_count_blocks_up_to_a_mark_or_the_end)
{
    std::vector<ladder_case_t> cases = early_rungs(op_t::space_record_forward, -3, 0);
    const op_t srf = op_t::space_record_forward;
    std::vector<ladder_case_t> keys = {
        {"five records", srf, {good()}, 0, none, 105, 0, 0},
        {"mark after two records", srf, {check(sense(no_sense, filemark, true, 3))}, 0, none, 103, 0, 0},
        {"mark without VALID", srf, {check(sense(no_sense, filemark))}, 0, none, 101, 0, 0},
        {"recovered mark after five", srf, {check(sense(recovered_error, filemark, true, 0))}, 0, none, 106, 0, 0},
        {"no sense without a mark", srf, {check(sense(no_sense, 0, true, 3))}, -6, planted, 100, 0, 0},
        {"no sense with EOM", srf, {check(sense(no_sense, eom, true, 3))}, -6, planted, 100, 0, 0},
        {"recovered without a mark", srf, {check(sense(recovered_error, ili))}, -7, planted, 100, 0, 0},
        {"end of medium after three", srf, {check(sense(medium_error, eom, true, 2))}, -1, none, 103, 0, 1},
        {"end of medium without VALID", srf, {check(sense(medium_error, eom))}, -1, none, 105, 0, 1},
        {"medium error", srf, {check(sense(medium_error, 0, true, 2))}, -8, planted, 100, 0, 0},
        {"medium error at a mark", srf, {check(sense(medium_error, filemark, true, 2))}, -8, planted, 100, 0, 0},
        {"volume overflow", srf, {check(sense(volume_overflow, eom))}, -9, planted, 100, 0, 0},
        {"end of data", srf, {check(sense(blank_check, eom, true, 4))}, -9, planted, 100, 0, 0},
        {"illegal request", srf, {check(sense(illegal_request))}, -9, planted, 100, 0, 0},
        {"step over five", op_t::step_record_forward, {good()}, 1, none, 105, 0, 0},
        {"step stopped by a mark", op_t::step_record_forward, {check(sense(no_sense, filemark, true, 4))}, 0, none,
         102, 0, 0},
        {"step to the end of medium", op_t::step_record_forward, {check(sense(medium_error, eom, true, 5))}, -1,
         none, 100, 0, 1},
        {"step, call failed", op_t::step_record_forward, {call_fails(transport_error)}, -3, transport_error, 100, 0,
         0},
        {"file without a mark", op_t::space_file_forward, {good()}, 0, none, 100 + 8388607, 0, 0},
        {"file of seven records", op_t::space_file_forward, {check(sense(no_sense, filemark, true, 8388600))}, 0,
         none, 108, 0, 0},
        {"file to the end of data", op_t::space_file_forward, {check(sense(blank_check, eom, true, 8388600))}, -9,
         planted, 100, 0, 0},
        {"file, bad status", op_t::space_file_forward, {status(status_busy)}, -4, planted, 100, 0, 0},
    };
    cases.insert(cases.end(), keys.begin(), keys.end());
    run_cases(cases);
}

TEST(spti_ladder, backward_spaces_count_down_and_stop_at_the_beginning)
{
    std::vector<ladder_case_t> cases = early_rungs(op_t::space_record_reverse, -3, 1);
    const op_t srr = op_t::space_record_reverse;
    std::vector<ladder_case_t> keys = {
        {"ten records", srr, {good()}, 0, none, 90, 1, 1},
        {"mark after three records", srr, {check(sense(no_sense, filemark, true, -7))}, 0, none, 96, 1, 1},
        {"mark without VALID", srr, {check(sense(no_sense, filemark))}, 0, none, 99, 1, 1},
        {"recovered mark at once", srr, {check(sense(recovered_error, filemark, true, -10))}, 0, none, 99, 1, 1},
        {"beginning of medium", srr, {check(sense(no_sense, eom, true, -4))}, -1, none, 0, 1, 0},
        {"recovered, beginning of medium", srr, {check(sense(recovered_error, eom))}, -1, none, 0, 1, 0},
        {"medium error at the beginning", srr, {check(sense(medium_error, eom))}, -1, none, 0, 1, 0},
        {"no sense without a bit", srr, {check(sense(no_sense, ili, true, -4))}, -6, planted, 100, 1, 1},
        {"recovered without a bit", srr, {check(sense(recovered_error))}, -7, planted, 100, 1, 1},
        {"medium error", srr, {check(sense(medium_error, filemark))}, -8, planted, 100, 1, 1},
        {"volume overflow", srr, {check(sense(volume_overflow, eom))}, -9, planted, 100, 1, 1},
        {"blank check", srr, {check(sense(blank_check, eom))}, -9, planted, 100, 1, 1},
        {"step back over ten", op_t::step_record_reverse, {good()}, 1, none, 90, 0, 0},
        {"step back to a mark", op_t::step_record_reverse, {check(sense(no_sense, filemark, true, -9))}, 0, none, 98,
         0, 0},
        {"step back to the beginning", op_t::step_record_reverse, {check(sense(no_sense, eom))}, -1, none, 0, 1, 0},
        {"file without a mark", op_t::space_file_reverse, {good()}, 0, none, 100 - 8388607, 0, 0},
        {"file of seven records", op_t::space_file_reverse, {check(sense(no_sense, filemark, true, -8388600))}, 0,
         none, 92, 0, 0},
        {"first file: the beginning", op_t::space_file_reverse, {check(sense(no_sense, eom, true, -8388603))}, -1,
         none, 0, 1, 0},
        {"file, sense rejected", op_t::space_file_reverse, {check({})}, -5, planted, 100, 1, 1},
    };
    cases.insert(cases.end(), keys.begin(), keys.end());
    run_cases(cases);
}

TEST(spti_ladder, writes_count_their_block_and_mark_the_end_of_medium)
{
    const op_t wr = op_t::write_record;
    const op_t wtm = op_t::write_tape_mark;
    run_cases({
        {"call failed", wr, {call_fails(transport_error)}, -2, transport_error, 100, 0, 0},
        {"busy", wr, {status(status_busy)}, -3, planted, 100, 0, 0},
        {"sense not delivered", wr, {check({})}, -4, planted, 100, 0, 0},
        {"written", wr, {good()}, 100, none, 101, 0, 0},
        {"early warning", wr, {check(sense(no_sense, eom))}, 100, none, 101, 0, 1},
        {"early warning, response code 0x72", wr, {check(sense(no_sense, eom, false, 0, 0x72))}, 100, none, 101, 0,
         1},
        {"recovered early warning", wr, {check(sense(recovered_error, eom, true, 0))}, 100, none, 101, 0, 1},
        {"no sense without EOM", wr, {check(sense(no_sense, filemark))}, -5, planted, 100, 0, 0},
        {"recovered without EOM", wr, {check(sense(recovered_error))}, -6, planted, 100, 0, 0},
        {"medium full", wr, {check(sense(volume_overflow, eom, true, 100))}, -1, none, 101, 0, 1},
        {"overflow without EOM", wr, {check(sense(volume_overflow))}, -7, planted, 100, 0, 0},
        {"medium error at the end", wr, {check(sense(medium_error, eom))}, -8, planted, 100, 0, 0},
        {"write protected", wr, {check(sense(data_protect))}, -8, planted, 100, 0, 0},
        {"mark, call failed", wtm, {call_fails(transport_error)}, -2, transport_error, 100, 0, 0},
        {"mark, reservation conflict", wtm, {status(status_reservation_conflict)}, -3, planted, 100, 0, 0},
        {"mark, response code 0x00", wtm, {check(sense(no_sense, eom, true, 0, 0x00))}, -4, planted, 100, 0, 0},
        {"mark written", wtm, {good()}, 0, none, 101, 0, 0},
        {"mark in the early warning zone", wtm, {check(sense(no_sense, eom))}, 0, none, 101, 0, 1},
        {"mark on a full medium", wtm, {check(sense(volume_overflow, eom))}, -1, none, 101, 0, 1},
        {"mark, recovered without EOM", wtm, {check(sense(recovered_error))}, -6, planted, 100, 0, 0},
        {"mark, not ready", wtm, {check(sense(not_ready))}, -8, planted, 100, 0, 0},
    });
}

TEST(spti_ladder, flush_rewind_erase_unload_and_read_reverse)
{
    const op_t fl = op_t::flush;
    const op_t rw = op_t::rewind;
    const op_t er = op_t::erase;
    const op_t ul = op_t::unload;
    run_cases({
        {"flush, call failed", fl, {call_fails(transport_error)}, -2, transport_error, 100, 0, 0},
        {"flushed", fl, {good()}, 0, none, 100, 0, 0},
        {"flush, busy", fl, {status(status_busy)}, -3, planted, 100, 0, 0},
        {"flush, sense not delivered", fl, {check({})}, -4, planted, 100, 0, 0},
        {"flush, VALID clear", fl, {check(sense(no_sense))}, -4, planted, 100, 0, 0},
        {"flush, no sense", fl, {check(sense(no_sense, 0, true))}, 0, none, 100, 0, 0},
        {"flush, VALID alone is enough", fl, {check(sense(no_sense, 0, true, 0, 0x00))}, 0, none, 100, 0, 0},
        {"flush, recovered", fl, {check(sense(recovered_error, eom, true))}, 0, none, 100, 0, 0},
        {"flush, medium full", fl, {check(sense(volume_overflow, eom, true))}, -1, none, 100, 0, 0},
        {"flush, medium error", fl, {check(sense(medium_error, 0, true))}, -5, planted, 100, 0, 0},
        {"flush, illegal request", fl, {check(sense(illegal_request, 0, true))}, -5, planted, 100, 0, 0},
        {"rewound", rw, {good()}, 1, none, 0, 1, 0},
        {"rewind, call failed", rw, {call_fails(transport_error)}, -1, transport_error, 100, 1, 1},
        {"rewind, busy", rw, {status(status_busy)}, -2, planted, 100, 1, 1},
        {"rewind after a new medium", rw, {check(sense(unit_attention)), good()}, 1, none, 0, 1, 0, 2},
        {"rewind after missing sense", rw, {check({}), good()}, 1, none, 0, 1, 0, 2},
        {"rewind repeated, call failed", rw, {check(sense(unit_attention)), call_fails(transport_error)}, -3,
         transport_error, 100, 1, 1, 2},
        {"rewind repeated, check condition", rw, {check(sense(unit_attention)), check(sense(not_ready))}, -4,
         planted, 100, 1, 1, 2},
        {"rewind repeated, busy", rw, {check(sense(unit_attention)), status(status_busy)}, -4, planted, 100, 1, 1, 2},
        {"erased", er, {good()}, 0, none, 100, 1, 1},
        {"erase, call failed", er, {call_fails(transport_error)}, -1, transport_error, 100, 1, 1},
        {"erase, check condition", er, {check(sense(illegal_request))}, -2, planted, 100, 1, 1},
        {"erase, busy", er, {status(status_busy)}, -2, planted, 100, 1, 1},
        {"unloaded", ul, {good()}, 0, none, 100, 1, 1},
        {"unload, call failed", ul, {call_fails(transport_error)}, 0, none, 100, 1, 1},
        {"unload, check condition", ul, {check(sense(not_ready))}, 0, none, 100, 1, 1},
        {"read reverse", op_t::read_reverse, {}, -3, planted, 100, 1, 1, 0},
    });
}

}  // namespace
