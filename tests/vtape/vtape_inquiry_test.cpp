#include <gtest/gtest.h>

#include <cstring>

#include "tests/vtape/vtape_test_support.h"

namespace {

const bytes_t test_unit_ready = {0x00, 0, 0, 0, 0, 0};
const bytes_t request_sense = {0x03, 0, 0, 0, 18, 0};
const bytes_t inquiry = {0x12, 0, 0, 0, 36, 0};

// The first n bytes of expected, then the 0xEE filler the caller's buffer held.
bytes_t join_prefix(const bytes_t& expected, size_t n)
{
    bytes_t out(expected.size(), 0xEE);
    for (size_t i = 0; i < n && i < expected.size(); ++i)
        out[i] = expected[i];
    return out;
}

TEST(vtape_inquiry, inquiry_names_a_removable_sequential_access_device)
{
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("t.dmp"));
    outcome_t o = run(*tape, inquiry, 96);
    ASSERT_EQ(o.data.size(), 36u);
    EXPECT_EQ(bytes_t(o.data.begin(), o.data.begin() + 8), (bytes_t{0x01, 0x80, 0x05, 0x02, 31, 0, 0, 0}));
    EXPECT_EQ(std::string(o.data.begin() + 8, o.data.end()), "BRX     VIRTUAL TAPE    1.2 ");
    EXPECT_EQ(run(*tape, bytes_t{0x12, 0, 0, 0, 5, 0}, 96).data.size(), 5u);
    // Vital product data: the list of pages and the serial number.
    EXPECT_EQ(run(*tape, bytes_t{0x12, 0x01, 0x00, 0, 255, 0}, 255).data, (bytes_t{0x01, 0x00, 0, 2, 0x00, 0x80}));
    o = run(*tape, bytes_t{0x12, 0x01, 0x80, 0, 255, 0}, 255);
    EXPECT_EQ(std::string(o.data.begin() + 4, o.data.end()), "VTAPE0000001");
    EXPECT_EQ(o.data[3], 12);
    EXPECT_EQ(run(*tape, bytes_t{0x12, 0x01, 0x83, 0, 255, 0}, 255).sense, sense_bytes_pointer({0x5, 0x24, 0x00}, true, 2));
    EXPECT_EQ(run(*tape, bytes_t{0x12, 0x00, 0x80, 0, 255, 0}, 255).sense, sense_bytes_pointer({0x5, 0x24, 0x00}, true, 2));
}

TEST(vtape_inquiry, read_block_limits_reports_the_options)
{
    struct case_t {
        const char* options;
        bytes_t expected;
    };
    const case_t cases[] = {
        {"", {0, 0xFF, 0xFF, 0xFF, 0x00, 0x01}},
        {"?minblock=4&maxblock=1048575", {0, 0x0F, 0xFF, 0xFF, 0x00, 0x04}},
        {"?minblock=0&maxblock=0x10000", {0, 0x01, 0x00, 0x00, 0x00, 0x00}},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.options);
        vtape_dir_t dir;
        auto tape = open_tape(dir.path("t.dmp") + c.options);
        const outcome_t o = run(*tape, bytes_t{0x05, 0, 0, 0, 0, 0}, 65536);  // restore's whole buffer
        EXPECT_EQ(o.reply.status, 0);
        EXPECT_EQ(o.data, c.expected);
    }
}

TEST(vtape_inquiry, unknown_commands_are_illegal_requests)
{
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("t.dmp"));
    for (const uint8_t opcode : {uint8_t{0x04}, uint8_t{0x1E}, uint8_t{0x28}, uint8_t{0xA0}, uint8_t{0xFF}}) {
        SCOPED_TRACE(int(opcode));
        bytes_t cdb(opcode >= 0x20 ? 10 : 6, 0);
        cdb[0] = opcode;
        const outcome_t o = run(*tape, cdb);
        EXPECT_EQ(o.reply.status, 2);
        EXPECT_EQ(o.sense, sense_bytes_pointer({0x5, 0x20, 0x00}, true, 0));
    }
    EXPECT_EQ(run(*tape, test_unit_ready).reply.status, 0);
    EXPECT_EQ(run(*tape, request_sense, 18).data, sense_bytes({}));
}

TEST(vtape_inquiry, malformed_requests_fail_the_call)
{
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("t.dmp"));
    uint8_t sense[18];
    const uint8_t cdb[16] = {0x34};
    EXPECT_EQ(tape->execute(cdb, 6, SCSI_IOCTL_DATA_IN, nullptr, 0, sense, 18).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(tape->execute(cdb, 5, SCSI_IOCTL_DATA_IN, nullptr, 0, sense, 18).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(tape->execute(nullptr, 6, SCSI_IOCTL_DATA_IN, nullptr, 0, sense, 18).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(tape->execute(cdb, 17, SCSI_IOCTL_DATA_IN, nullptr, 0, sense, 18).error, ERROR_INVALID_PARAMETER);
    // Data in asked for, but the direction says out.
    uint8_t data[36];
    EXPECT_EQ(tape->execute(inquiry.data(), 6, SCSI_IOCTL_DATA_OUT, data, 36, sense, 18).error, ERROR_INVALID_PARAMETER);
}

TEST(vtape_inquiry, sense_is_cut_to_the_callers_capacity)
{
    vtape_dir_t dir;
    auto tape = open_tape(dir.path("t.dmp"));
    uint8_t sense[18];
    std::memset(sense, 0xEE, sizeof sense);
    const uint8_t cdb[6] = {0x08, 0, 0, 0, 10, 0};
    uint8_t data[10];
    const vtape_reply_t reply = tape->execute(cdb, 6, SCSI_IOCTL_DATA_IN, data, 10, sense, 8);
    EXPECT_EQ(reply.status, 2);
    EXPECT_EQ(reply.sense_length, 8u);
    EXPECT_EQ(bytes_t(sense, sense + 18), join_prefix(sense_bytes({0x8, 0x00, 0x05, false, false, false, true, 10}), 8));
    EXPECT_EQ(tape->execute(cdb, 6, SCSI_IOCTL_DATA_IN, data, 10, nullptr, 0).sense_length, 0u);
}

TEST(vtape_inquiry, unit_attention_comes_first_for_the_first_commands)
{
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of({{10, 1}}));
    auto tape = open_tape(dir.path("t.dmp") + "?attention=3");
    const bytes_t attention = sense_bytes({0x6, 0x28, 0x00});
    EXPECT_EQ(run(*tape, inquiry, 36).reply.status, 0);  // INQUIRY is never held back and counts not
    EXPECT_EQ(run(*tape, rewind6()).sense, attention);
    EXPECT_EQ(run(*tape, bytes_t{0xEE, 0, 0, 0, 0, 0}).sense, attention);  // before the opcode check
    EXPECT_EQ(run(*tape, request_sense, 18).data, attention);  // reported as data, and cleared
    EXPECT_EQ(run(*tape, read6(10), 10).data, pattern(10, 1));
    EXPECT_EQ(run(*tape, request_sense, 18).data, sense_bytes({}));
}

TEST(vtape_inquiry, a_not_ready_drive_answers_only_inquiry_and_request_sense)
{
    vtape_dir_t dir;
    write_file(dir.path("t.dmp"), container_of({{10, 1}}));
    auto tape = open_tape(dir.path("t.dmp") + "?notready&attention=1");
    const bytes_t not_ready = sense_bytes({0x2, 0x3A, 0x00});
    EXPECT_EQ(run(*tape, test_unit_ready).sense, sense_bytes({0x6, 0x28, 0x00}));
    const bytes_t commands[] = {test_unit_ready, rewind6(), read6(10), write6(10), {0x05, 0, 0, 0, 0, 0},
                                {0x1A, 0, 0, 0, 4, 0}, {0x1B, 0, 0, 0, 1, 0}, read_position()};
    for (const bytes_t& cdb : commands) {
        SCOPED_TRACE(int(cdb[0]));
        EXPECT_EQ(run(*tape, cdb, cdb[0] == 0x0A ? 0 : 10).sense, not_ready);
    }
    EXPECT_EQ(run(*tape, inquiry, 36).reply.status, 0);
    EXPECT_EQ(run(*tape, request_sense, 18).data, not_ready);
    EXPECT_EQ(run(*tape, bytes_t{0x03, 0x01, 0, 0, 18, 0}, 18).sense, sense_bytes_pointer({0x5, 0x24, 0x00}, true, 1));
}

}  // namespace
