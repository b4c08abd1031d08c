#include "tests/vtape/vtape_test_support.h"

#include <gtest/gtest.h>

#include <iterator>

bytes_t pattern(uint32_t length, uint8_t seed)
{
    const std::string record = record_of(length, seed);
    return bytes_t(record.begin(), record.end());
}

std::string medium_of(const std::vector<block_spec_t>& blocks)
{
    std::vector<std::string> records;
    for (const block_spec_t& block : blocks)
        records.push_back(record_of(block.length, block.seed));
    return container_of(records);
}

outcome_t run(vtape_t& tape, const bytes_t& cdb, uint32_t data_in, bytes_t out)
{
    const bool sending = data_in == 0 && !out.empty();
    bytes_t data = sending ? out : bytes_t(data_in + 16, 0xEE);
    const uint32_t length = sending ? uint32_t(out.size()) : data_in;
    uint8_t direction = sending ? SCSI_IOCTL_DATA_OUT : data_in ? SCSI_IOCTL_DATA_IN : SCSI_IOCTL_DATA_UNSPECIFIED;
    uint8_t sense[64];
    std::fill(std::begin(sense), std::end(sense), 0xEE);
    outcome_t o;
    o.reply = tape.execute(cdb.data(), uint32_t(cdb.size()), direction, length ? data.data() : nullptr, length, sense,
                           sizeof sense);
    if (!sending) {
        EXPECT_EQ(bytes_t(data.begin() + data_in, data.end()), bytes_t(16, 0xEE)) << "written past the data buffer";
    }
    EXPECT_EQ(bytes_t(sense + o.reply.sense_length, std::end(sense)), bytes_t(64 - o.reply.sense_length, 0xEE));
    o.sense.assign(sense, sense + o.reply.sense_length);
    o.data.assign(data.begin(), data.begin() + (sending ? 0 : std::min(o.reply.data_transferred, data_in)));
    return o;
}

bytes_t sense(uint8_t key_flags, uint16_t asc_ascq, int64_t information)
{
    bytes_t s(18, 0);
    s[0] = information < 0 ? 0x70 : 0xF0;
    s[2] = key_flags;
    for (int i = 0; i < 4; ++i)
        s[3 + i] = information < 0 ? 0 : uint8_t(uint32_t(information) >> (24 - 8 * i));
    s[7] = 10;
    s[12] = uint8_t(asc_ascq >> 8);
    s[13] = uint8_t(asc_ascq);
    return s;
}

bytes_t illegal(uint16_t asc_ascq, uint16_t field_byte, bool in_cdb)
{
    bytes_t s = sense(0x5, asc_ascq);
    s[15] = in_cdb ? 0xC0 : 0x80;
    s[16] = uint8_t(field_byte >> 8);
    s[17] = uint8_t(field_byte);
    return s;
}

bytes_t cdb6(uint8_t opcode, uint8_t flags, uint32_t value)
{
    return {opcode, flags, uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value), 0};
}

std::unique_ptr<vtape_t> open_tape(const std::string& text)
{
    std::unique_ptr<vtape_t> tape;
    std::string why;
    EXPECT_EQ(vtape_t::open(text.c_str(), tape, &why), NO_ERROR) << text << ": " << why;
    return tape;
}

uint32_t position_of(vtape_t& tape)
{
    const bytes_t p = run(tape, {0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 20).data;
    if (p.size() != 20)
        return ADD_FAILURE() << "READ POSITION moved " << p.size() << " bytes", ~0u;
    return uint32_t(p[4]) << 24 | uint32_t(p[5]) << 16 | uint32_t(p[6]) << 8 | p[7];
}

void write_blocks(vtape_t& tape, const std::vector<block_spec_t>& blocks)
{
    for (const block_spec_t& b : blocks) {
        const bytes_t cdb = b.length ? write6(b.length) : filemarks6(1);
        EXPECT_EQ(run(tape, cdb, 0, pattern(b.length, b.seed)).reply.status, 0) << "writing a block of " << b.length;
    }
}
