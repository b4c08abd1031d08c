// The drive as a whole: identification, malformed requests, attention and not-ready states, the
// option string and the trace.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/vtape/vtape_test_support.h"

namespace {

const bytes_t inquiry = cdb6(0x12, 0, 36);
const bytes_t request_sense = cdb6(0x03, 0, 18);

TEST(vtape_drive, inquiry_and_block_limits_describe_the_drive)
{
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("t.dmp"));
    const outcome_t o = run(*tape, inquiry, 96);
    ASSERT_EQ(o.data.size(), 36u);
    EXPECT_EQ(bytes_t(o.data.begin(), o.data.begin() + 8), (bytes_t{0x01, 0x80, 0x05, 0x02, 31, 0, 0, 0}));
    EXPECT_EQ(std::string(o.data.begin() + 8, o.data.end()), "BRX     VIRTUAL TAPE    1.2 ");
    EXPECT_EQ(run(*tape, cdb6(0x12, 0, 5), 96).data.size(), 5u);
    EXPECT_EQ(run(*tape, cdb6(0x12, 1, 0x0000FF), 255).data, (bytes_t{0x01, 0x00, 0, 2, 0x00, 0x80}));
    const bytes_t serial = run(*tape, cdb6(0x12, 1, 0x8000FF), 255).data;
    EXPECT_EQ(std::string(serial.begin(), serial.end()), std::string("\x01\x80\x00\x0C" "VTAPE0000001", 16));
    EXPECT_EQ(run(*tape, cdb6(0x12, 1, 0x8300FF), 255).sense, illegal(0x2400, 2));
    EXPECT_EQ(run(*tape, cdb6(0x12, 0, 0x8000FF), 255).sense, illegal(0x2400, 2));
    // READ BLOCK LIMITS into restore's whole buffer.
    EXPECT_EQ(run(*tape, cdb6(0x05, 0, 0), 65536).data, (bytes_t{0, 0xFF, 0xFF, 0xFF, 0x00, 0x01}));
    tape.reset();
    tape = open_tape(dir.path("t.dmp") + "?minblock=0&maxblock=0x10000");
    EXPECT_EQ(run(*tape, cdb6(0x05, 0, 0), 6).data, (bytes_t{0, 0x01, 0x00, 0x00, 0x00, 0x00}));
}

TEST(vtape_drive, unknown_and_malformed_requests_and_short_sense_buffers)
{
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("t.dmp"));
    EXPECT_EQ(run(*tape, cdb6(0x04, 0, 0)).sense, illegal(0x2000, 0));
    EXPECT_EQ(run(*tape, bytes_t{0x28, 0, 0, 0, 0, 0, 0, 0, 0, 0}).sense, illegal(0x2000, 0));
    EXPECT_EQ(run(*tape, cdb6(0x00, 0, 0)).reply.status, 0);
    EXPECT_EQ(run(*tape, request_sense, 18).data, sense(0, 0));
    EXPECT_EQ(run(*tape, cdb6(0x03, 0x01, 18), 18).sense, illegal(0x2400, 1));
    // Malformed calls fail and run nothing: bad CDB lengths, no CDB, data in with direction out.
    uint8_t sense_buffer[18];
    uint32_t sense_capacity = 18;
    uint8_t data[36];
    const uint8_t cdb[16] = {0x34};
    const auto call = [&](const uint8_t* command, uint32_t length, uint8_t direction, uint32_t data_length) {
        return tape->execute(command, length, direction, data_length ? data : nullptr, data_length,
                             sense_capacity ? sense_buffer : nullptr, sense_capacity);
    };
    EXPECT_EQ(call(cdb, 6, SCSI_IOCTL_DATA_IN, 0).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(call(cdb, 5, SCSI_IOCTL_DATA_IN, 0).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(call(cdb, 17, SCSI_IOCTL_DATA_IN, 0).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(call(nullptr, 6, SCSI_IOCTL_DATA_IN, 0).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(call(inquiry.data(), 6, SCSI_IOCTL_DATA_OUT, 36).error, ERROR_INVALID_PARAMETER);
    // Sense is cut to the caller's capacity, or not delivered at all.
    const bytes_t read10 = read6(10);
    sense_capacity = 8;
    std::fill(std::begin(sense_buffer), std::end(sense_buffer), 0xEE);
    EXPECT_EQ(call(read10.data(), 6, SCSI_IOCTL_DATA_IN, 10).sense_length, 8u);
    bytes_t expected = sense(0x8, 0x0005, 10);
    std::fill(expected.begin() + 8, expected.end(), 0xEE);
    EXPECT_EQ(bytes_t(std::begin(sense_buffer), std::end(sense_buffer)), expected);
    sense_capacity = 0;
    EXPECT_EQ(call(read10.data(), 6, SCSI_IOCTL_DATA_IN, 10).sense_length, 0u);
}

TEST(vtape_drive, unit_attention_and_not_ready_hold_back_commands)
{
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of({{10, 1}}));
    auto tape = open_tape(dir.path("t.dmp") + "?attention=3");
    const bytes_t attention = sense(0x6, 0x2800);
    EXPECT_EQ(run(*tape, inquiry, 36).reply.status, 0);  // never held back, not counted
    EXPECT_EQ(run(*tape, rewind6()).sense, attention);
    EXPECT_EQ(run(*tape, cdb6(0xEE, 0, 0)).sense, attention);  // before the opcode check
    EXPECT_EQ(run(*tape, request_sense, 18).data, attention);  // reported as data, and counted
    EXPECT_EQ(run(*tape, read6(10), 10).data, pattern(10, 1));
    EXPECT_EQ(run(*tape, request_sense, 18).data, sense(0, 0));

    tape.reset();
    tape = open_tape(dir.path("t.dmp") + "?notready&attention=1");
    const bytes_t not_ready = sense(0x2, 0x3A00);
    EXPECT_EQ(run(*tape, cdb6(0x00, 0, 0)).sense, attention);
    const bytes_t commands[] = {cdb6(0x00, 0, 0), rewind6(),          read6(10),          write6(10),
                                cdb6(0x05, 0, 0), cdb6(0x1A, 0, 4), cdb6(0x1B, 0, 1), read_position()};
    for (const bytes_t& cdb : commands) {
        SCOPED_TRACE(int(cdb[0]));
        EXPECT_EQ(run(*tape, cdb, cdb[0] == 0x0A ? 0 : 10).sense, not_ready);
    }
    EXPECT_EQ(run(*tape, inquiry, 36).reply.status, 0);
    EXPECT_EQ(run(*tape, request_sense, 18).data, not_ready);
}

TEST(vtape_drive, bad_option_strings_and_unopenable_files_are_refused_with_a_reason)
{
    std::string why;
    struct case_t { const char* text; const char* why; };
    const case_t cases[] = {
        {"", "no medium file named"},
        {"t.dmp?", "empty option in ''"},
        {"t.dmp?protect&&notready", "empty option in 'protect&&notready'"},
        {"t.dmp?colour=red", "unknown option 'colour=red'"},
        {"t.dmp?protect=1", "unknown option 'protect=1'"},
        {"t.dmp?bad=x", "bad value in option 'bad=x' (bad=K or bad=K:N)"},
        {"t.dmp?bad=1:", "bad value in option 'bad=1:' (bad=K or bad=K:N)"},
        {"t.dmp?bufmode=8", "bad value in option 'bufmode=8'"},
        {"t.dmp?maxblock=0x1000000", "bad value in option 'maxblock=0x1000000'"},
        {"t.dmp?capacity=18446744073709551616", "bad value in option 'capacity=18446744073709551616'"},
        {"t.dmp?attention=2x", "bad value in option 'attention=2x'"},
        {"t.dmp?trace=", "option 'trace=' needs a file name"},
        {"t.dmp?minblock=10&maxblock=9", "minblock is above maxblock"},
        {"t.dmp?ew=10", "ew needs capacity"},
        {"t.dmp?capacity=10&ew=11", "ew is above capacity"},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.text);
        std::unique_ptr<vtape_t> tape;
        EXPECT_EQ(vtape_t::open(c.text, tape, &why), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(why, c.why);
        EXPECT_EQ(tape, nullptr);
    }
    vtape_dir_t dir;
    std::unique_ptr<vtape_t> tape;
    EXPECT_EQ(vtape_t::open(dir.path("missing/t.dmp").c_str(), tape, &why), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(why, "cannot open the medium file '" + dir.path("missing/t.dmp") + "'");
    const std::string text = dir.path("t.dmp") + "?trace=" + dir.path("missing/t.log");
    EXPECT_EQ(vtape_t::open(text.c_str(), tape, &why), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(why, "cannot open the trace file '" + dir.path("missing/t.log") + "'");
    EXPECT_EQ(tape, nullptr);
}

TEST(vtape_drive, the_trace_has_one_line_per_command_and_is_appended_to)
{
    struct case_t { bytes_t cdb; uint32_t data_in; bytes_t out; const char* line; };
    const case_t first[] = {
        {rewind6(), 0, {}, "01 00 00 00 00 00 | none 0 | status 02 | sense 06/28/00"},
        {rewind6(), 0, {}, "01 00 00 00 00 00 | none 0 | status 00 | sense -"},
        {read6(65024), 65024, {}, "08 00 00 FE 00 00 | in 65024 | status 02 | sense 00/00/00"},
        {read6(65024), 65024, {}, "08 00 00 FE 00 00 | in 65024 | status 02 | sense 00/00/01"},
        {read6(100), 100, {}, "08 00 00 00 64 00 | in 100 | status 02 | sense 08/00/05"},
        {read6(100), 99, {}, "08 00 00 00 64 00 | in 99 | error 87"},
        {write6(4), 0, {1, 2, 3, 4}, "0A 00 00 00 04 00 | out 4 | status 00 | sense -"},
        {{0x5A, 0, 0x3F, 0, 0, 0, 0, 0, 255, 0}, 255, {},
         "5A 00 3F 00 00 00 00 00 FF 00 | in 255 | status 00 | sense -"},
        {cdb6(0xC1, 0, 0), 0, {}, "C1 00 00 00 00 00 | none 0 | status 02 | sense 05/20/00"},
    };
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of({{100, 1}, {0, 0}}));
    std::vector<std::string> expected;
    {
        auto tape = open_tape(dir.path("t.dmp") + "?trace=" + dir.path("t.log") + "&attention=1");
        for (const case_t& c : first) {
            run(*tape, c.cdb, c.data_in, c.out);
            expected.push_back(c.line);
        }
    }
    run(*open_tape(dir.path("t.dmp") + "?trace=" + dir.path("t.log")), cdb6(0x00, 0, 0));
    expected.push_back("00 00 00 00 00 00 | none 0 | status 00 | sense -");
    std::ifstream in(dir.path("t.log"), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    EXPECT_EQ(lines, expected);
}

}  // namespace
