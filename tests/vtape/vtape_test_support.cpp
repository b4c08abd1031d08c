#include "tests/vtape/vtape_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>

bytes_t pattern(uint32_t length, uint8_t seed)
{
    bytes_t bytes(length);
    for (uint32_t i = 0; i < length; ++i)
        bytes[i] = static_cast<uint8_t>(seed * 31u + i * 7u + (i >> 8));
    return bytes;
}

static void put_be32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

bytes_t container_of(const std::vector<block_spec_t>& blocks)
{
    bytes_t out;
    uint32_t previous = 1;
    for (const block_spec_t& block : blocks) {
        const size_t here = out.size();
        out.resize(here + 8);
        put_be32(&out[here], block.length);
        put_be32(&out[here + 4], previous);
        const bytes_t data = pattern(block.length, block.seed);
        out.insert(out.end(), data.begin(), data.end());
        previous = static_cast<uint32_t>(here);
    }
    return out;
}

vtape_dir_t::vtape_dir_t()
{
    static std::atomic<int> counter{0};
    const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
    root_ = std::filesystem::temp_directory_path() / ("brx-vtape-" + std::to_string(++counter) + "-" + test);
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
}

bytes_t read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return bytes_t(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const bytes_t& bytes)
{
    std::ofstream(path, std::ios::binary) << std::string(bytes.begin(), bytes.end());
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
    put_be32(&s[3], information < 0 ? 0 : uint32_t(information));
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
