// The SCSI driver against a drive whose answers are scripted byte by byte: every rung of the
// status and sense ladder for every command operation, and the exact command each one sends.

#include <tuple>

#include "tapeio/s2pti_tape_io.h"
#include "tests/support/tape_ops.h"
#include "tests/tapeio/spti_scripted_drive_posix.h"

namespace {

using namespace spti_test;

constexpr op_t read = op_t::read_forward, sff = op_t::space_file_forward, sfr = op_t::space_file_reverse,
               srf = op_t::space_record_forward, srr = op_t::space_record_reverse, stf = op_t::step_record_forward,
               str = op_t::step_record_reverse, write = op_t::write_record, mark = op_t::write_tape_mark,
               flush = op_t::flush, rewind = op_t::rewind, erase = op_t::erase, unload = op_t::unload,
               read_reverse = op_t::read_reverse;

// n is the size for read and write, the count for record spaces.
int32_t run(op_t op, tape_io_t& d, tape_io_handle_t* h, uint8_t* b, uint32_t n) { return run_op(d, op, h, b, op == read ? n : 65536, n); }

// The operation with the size or count a ladder row runs it with.
uint32_t ladder_n(op_t op) { return op == read ? 65536 : op == write ? 100 : op == srr || op == str ? 10 : 5; }

constexpr DWORD timeout = ERROR_SEM_TIMEOUT, none = NO_ERROR, planted = planted_error;

// blocks: block_count afterwards (it starts at 100); start, end: position before (1: end of medium
// already reported) and after.
struct rung_t { op_t op; std::vector<scripted_reply_t> replies; int32_t result; DWORD last_error; int32_t blocks; uint64_t start, end; size_t commands = 1; };

// The rungs before the sense key: call failed, a status other than GOOD or CHECK CONDITION, and
// sense of a rejected format (none delivered: a zeroed area; response code 0x60).
std::vector<rung_t> early_rungs(op_t op, int32_t first, uint64_t at)
{
    return {{op, {call_fails(timeout)}, first, timeout, 100, at, at}, {op, {status(status_busy)}, first - 1, planted, 100, at, at},
            {op, {check({})}, first - 2, planted, 100, at, at},
            {op, {check(sense(no_sense, filemark | eom, true, 1, 0x60))}, first - 2, planted, 100, at, at}};
}

std::vector<rung_t> ladder()
{
    std::vector<rung_t> rows = {
        // read_forward: INFORMATION is the 65024 asked for minus the length.
        {read, {good()}, 65024, none, 101, 0, 0},
        {read, {check(sense(no_sense, filemark, true, 65024))}, 0, none, 101, 0, 0},
        {read, {check(sense(no_sense, filemark, false, 0, 0x72))}, 0, none, 101, 0, 0},
        {read, {check(sense(no_sense, ili, true, 64924))}, 100, none, 101, 0, 0},
        {read, {check(sense(no_sense, ili, true, -512))}, 65536, none, 101, 0, 0},
        {read, {check(sense(no_sense, ili))}, 0, none, 101, 0, 0},
        {read, {check(sense(no_sense, 0, true, 5))}, -6, planted, 100, 0, 0},
        {read, {check(sense(recovered_error, ili, true, 65023))}, 1, none, 101, 0, 0},
        {read, {check(sense(recovered_error))}, -7, planted, 100, 0, 0},
        {read, {check(sense(medium_error, eom, true, 65024))}, -1, none, 101, 0, 1},
        {read, {check(sense(medium_error))}, -8, planted, 100, 0, 0},
        {read, {check(sense(volume_overflow, eom))}, -9, planted, 100, 0, 0},
        // Forward spaces of 5 records (INFORMATION: those not passed) and of files.
        {srf, {good()}, 0, none, 105, 0, 0},
        {srf, {check(sense(no_sense, filemark, true, 3))}, 0, none, 103, 0, 0},
        {srf, {check(sense(no_sense, filemark))}, 0, none, 101, 0, 0},
        {srf, {check(sense(recovered_error, filemark, true, 0))}, 0, none, 106, 0, 0},
        {srf, {check(sense(no_sense, eom, true, 3))}, -6, planted, 100, 0, 0},
        {srf, {check(sense(medium_error, eom, true, 2))}, -1, none, 103, 0, 1},
        {srf, {check(sense(medium_error, filemark, true, 2))}, -8, planted, 100, 0, 0},
        {srf, {check(sense(blank_check, eom, true, 4))}, -9, planted, 100, 0, 0},
        {stf, {good()}, 1, none, 105, 0, 0},
        {stf, {check(sense(no_sense, filemark, true, 4))}, 0, none, 102, 0, 0},
        {sff, {good()}, 0, none, 100 + 8388607, 0, 0},
        {sff, {check(sense(no_sense, filemark, true, 8388600))}, 0, none, 108, 0, 0},
        {sff, {status(status_busy)}, -4, planted, 100, 0, 0},
        // Backward spaces of 10 records (INFORMATION negative), stopping at the beginning.
        {srr, {good()}, 0, none, 90, 1, 1},
        {srr, {check(sense(no_sense, filemark, true, -7))}, 0, none, 96, 1, 1},
        {srr, {check(sense(no_sense, eom, true, -4))}, -1, none, 0, 1, 0},
        {srr, {check(sense(no_sense, ili, true, -4))}, -6, planted, 100, 1, 1},
        {srr, {check(sense(volume_overflow, eom))}, -9, planted, 100, 1, 1},
        {str, {good()}, 1, none, 90, 0, 0},
        {str, {check(sense(no_sense, filemark, true, -9))}, 0, none, 98, 0, 0},
        {str, {check(sense(no_sense, eom))}, -1, none, 0, 1, 0},
        {sfr, {good()}, 0, none, 100 - 8388607, 0, 0},
        {sfr, {check(sense(no_sense, eom, true, -8388603))}, -1, none, 0, 1, 0},
        {sfr, {check({})}, -5, planted, 100, 1, 1},
        // Writes count their block; EOM marks the end of the medium.
        {write, {call_fails(timeout)}, -2, timeout, 100, 0, 0},
        {write, {check({})}, -4, planted, 100, 0, 0},
        {write, {good()}, 100, none, 101, 0, 0},
        {write, {check(sense(no_sense, eom))}, 100, none, 101, 0, 1},
        {write, {check(sense(no_sense, filemark))}, -5, planted, 100, 0, 0},
        {write, {check(sense(recovered_error))}, -6, planted, 100, 0, 0},
        {write, {check(sense(volume_overflow, eom, true, 100))}, -1, none, 101, 0, 1},
        {write, {check(sense(volume_overflow))}, -7, planted, 100, 0, 0},
        {write, {check(sense(medium_error, eom))}, -8, planted, 100, 0, 0},
        {mark, {check(sense(no_sense, eom, true, 0, 0x00))}, -4, planted, 100, 0, 0},
        {mark, {good()}, 0, none, 101, 0, 0},
        {mark, {check(sense(no_sense, eom))}, 0, none, 101, 0, 1},
        {mark, {check(sense(volume_overflow, eom))}, -1, none, 101, 0, 1},
        {mark, {check(sense(recovered_error))}, -6, planted, 100, 0, 0},
        {mark, {check(sense(not_ready))}, -8, planted, 100, 0, 0},
        // flush takes VALID alone as a usable sense; rewind repeats once after CHECK CONDITION.
        {flush, {call_fails(timeout)}, -2, timeout, 100, 0, 0},
        {flush, {good()}, 0, none, 100, 0, 0},
        {flush, {check(sense(no_sense))}, -4, planted, 100, 0, 0},
        {flush, {check(sense(no_sense, 0, true, 0, 0x00))}, 0, none, 100, 0, 0},
        {flush, {check(sense(volume_overflow, eom, true))}, -1, none, 100, 0, 0},
        {flush, {check(sense(medium_error, 0, true))}, -5, planted, 100, 0, 0},
        {rewind, {good()}, 1, none, 0, 1, 0},
        {rewind, {call_fails(timeout)}, -1, timeout, 100, 1, 1},
        {rewind, {status(status_busy)}, -2, planted, 100, 1, 1},
        {rewind, {check(sense(unit_attention)), good()}, 1, none, 0, 1, 0, 2},
        {rewind, {check(sense(unit_attention)), call_fails(timeout)}, -3, timeout, 100, 1, 1, 2},
        {rewind, {check(sense(unit_attention)), check(sense(not_ready))}, -4, planted, 100, 1, 1, 2},
        {erase, {good()}, 0, none, 100, 1, 1},
        {erase, {call_fails(timeout)}, -1, timeout, 100, 1, 1},
        {erase, {check(sense(illegal_request))}, -2, planted, 100, 1, 1},
        {unload, {good()}, 0, none, 100, 1, 1},
        {unload, {call_fails(timeout)}, 0, none, 100, 1, 1},
        {read_reverse, {}, -3, planted, 100, 1, 1, 0},
    };
    for (auto [op, first, at] : {std::tuple{read, -3, 0}, {srr, -3, 1}}) {
        std::vector<rung_t> early = early_rungs(op, first, at);
        rows.insert(rows.end(), early.begin(), early.end());
    }
    return rows;
}

TEST(spti_scripted, every_rung_of_the_status_and_sense_ladder_for_every_operation)
{
    scripted_drive_t drive("spti-ladder", 70);
    s2pti_tape_io_t driver;
    std::vector<rung_t> rows = ladder();
    for (size_t i = 0; i < rows.size(); ++i) {
        const rung_t& c = rows[i];
        SCOPED_TRACE(testing::Message() << "row " << i);
        drive.script(c.replies);
        drive.handle.block_count = 100, drive.handle.position = c.start;
        drive.handle.last_error = 0x5555, drive.handle.user_flag = 1;  // every operation clears them first
        SetLastError(planted_error);
        EXPECT_EQ(run(c.op, driver, &drive.handle, drive.buffer.data(), ladder_n(c.op)), c.result);
        EXPECT_EQ(drive.handle.last_error, c.last_error);
        EXPECT_EQ(drive.handle.block_count, c.blocks);
        EXPECT_EQ(drive.handle.position, c.end);
        EXPECT_EQ(drive.handle.user_flag, 0);
        EXPECT_EQ(drive.device->commands.size(), c.commands);
    }
}

TEST(spti_scripted, every_operation_sends_its_cdb_data_phase_time_out_and_address)
{
    constexpr uint8_t in = SCSI_IOCTL_DATA_IN, out = SCSI_IOCTL_DATA_OUT;
    constexpr uint32_t block = 60, long_move = 86400;
    const struct { op_t op; uint32_t n; std::vector<uint8_t> cdb; uint8_t direction; uint32_t length, timeout; } cases[] = {
        {read, 65536, {0x08, 0, 0, 0xFE, 0x00, 0}, in, 65024, block},
        {read, 1024, {0x08, 0, 0, 0x02, 0x00, 0}, in, 512, block},
        {write, 100, {0x0A, 0, 0, 0x00, 0x64, 0}, out, 100, block},
        {mark, 0, {0x10, 0, 0, 0, 1, 0}, out, 0, block},
        {flush, 0, {0x10, 0, 0, 0, 0, 0}, out, 0, long_move},
        {rewind, 0, {0x01, 0, 0, 0, 0, 0}, out, 0, long_move},
        {erase, 0, {0x19, 1, 0, 0, 0, 0}, out, 0, long_move},
        {unload, 0, {0x1B, 0, 0, 0, 0, 0}, out, 0, long_move},
        {sff, 0, {0x11, 0, 0x7F, 0xFF, 0xFF, 0}, out, 0, long_move},
        {sfr, 0, {0x11, 0, 0x80, 0x00, 0x01, 0}, out, 0, long_move},
        {srf, 0, {0x11, 0, 0x00, 0x00, 0x00, 0}, out, 0, block},
        {srr, 10, {0x11, 0, 0xFF, 0xFF, 0xF6, 0}, out, 0, block},
        {stf, 3, {0x11, 0, 0x00, 0x00, 0x03, 0}, out, 0, block},
        {str, 3, {0x11, 0, 0xFF, 0xFF, 0xFD, 0}, out, 0, long_move},
    };
    scripted_drive_t drive("spti-commands", 71);
    s2pti_tape_io_t driver;
    for (auto [path, target, lun] : {std::tuple{-1, -1, -1}, {0x102, 4, 0}}) {  // as attached, and as dump sets it
        for (size_t i = 0; i < std::size(cases); ++i) {
            const auto& c = cases[i];
            SCOPED_TRACE(testing::Message() << "case " << i << ", path " << path);
            drive.script({});
            drive.handle.path_id = path, drive.handle.target_id = target, drive.handle.lun = lun;
            run(c.op, driver, &drive.handle, drive.buffer.data(), c.n);
            ASSERT_EQ(drive.device->commands.size(), 1u);
            const scripted_command_t& sent = drive.device->commands[0];
            EXPECT_EQ(sent.cdb, c.cdb);
            EXPECT_EQ(sent.direction, c.direction);
            EXPECT_EQ(sent.data_length, c.length);
            EXPECT_EQ(sent.timeout_seconds, c.timeout);
            EXPECT_EQ(std::tuple(sent.path_id, sent.target_id, sent.lun), std::tuple(uint8_t(path), uint8_t(target), uint8_t(lun)));
        }
    }
    // A buffer too small for any data sends nothing.
    drive.script({});
    EXPECT_EQ(driver.read_forward(&drive.handle, drive.buffer.data(), 511), -3);
    EXPECT_EQ(drive.handle.last_error, ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(drive.device->commands.empty());
}

}  // namespace
