#include "tests/vtape/vtape_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>

uint8_t pattern_byte(uint8_t seed, uint32_t i) { return static_cast<uint8_t>(seed * 31u + i * 7u + (i >> 8)); }

bytes_t pattern(uint32_t length, uint8_t seed)
{
    bytes_t bytes(length);
    for (uint32_t i = 0; i < length; ++i)
        bytes[i] = pattern_byte(seed, i);
    return bytes;
}

static void put_be32(bytes_t& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

bytes_t container_of(const std::vector<block_spec_t>& blocks)
{
    bytes_t out;
    uint32_t previous = 1;
    for (const block_spec_t& block : blocks) {
        const uint32_t here = static_cast<uint32_t>(out.size());
        put_be32(out, block.length);
        put_be32(out, previous);
        const bytes_t data = pattern(block.length, block.seed);
        out.insert(out.end(), data.begin(), data.end());
        previous = here;
    }
    return out;
}

vtape_dir_t::vtape_dir_t()
{
    static std::atomic<int> counter{0};
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("brx-vtape-") + (info ? info->name() : "x") + "-" + std::to_string(++counter);
    for (char& c : name)
        if (c == '/')
            c = '_';
    root_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
}

vtape_dir_t::~vtape_dir_t()
{
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

bytes_t read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return bytes_t(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const bytes_t& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> read_lines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

outcome_t run(vtape_t& tape, const bytes_t& cdb, uint32_t data_length)
{
    outcome_t outcome;
    bytes_t data(data_length + 16, 0xEE);  // a margin that must stay untouched
    uint8_t sense[64];
    std::fill(std::begin(sense), std::end(sense), 0xEE);
    outcome.reply = tape.execute(cdb.data(), static_cast<uint32_t>(cdb.size()),
                                 data_length ? SCSI_IOCTL_DATA_IN : SCSI_IOCTL_DATA_UNSPECIFIED,
                                 data_length ? data.data() : nullptr, data_length, sense, sizeof sense);
    for (uint32_t i = data_length; i < data.size(); ++i)
        EXPECT_EQ(data[i], 0xEE) << "byte written past the data buffer";
    for (uint32_t i = outcome.reply.sense_length; i < sizeof sense; ++i)
        EXPECT_EQ(sense[i], 0xEE) << "sense byte written past the delivered length";
    outcome.sense.assign(sense, sense + outcome.reply.sense_length);
    outcome.data.assign(data.begin(), data.begin() + std::min(outcome.reply.data_transferred, data_length));
    return outcome;
}

outcome_t run_out(vtape_t& tape, const bytes_t& cdb, const bytes_t& out)
{
    outcome_t outcome;
    bytes_t data = out;
    uint8_t sense[64] = {};
    outcome.reply = tape.execute(cdb.data(), static_cast<uint32_t>(cdb.size()), SCSI_IOCTL_DATA_OUT,
                                 data.empty() ? nullptr : data.data(), static_cast<uint32_t>(data.size()), sense,
                                 sizeof sense);
    outcome.sense.assign(sense, sense + outcome.reply.sense_length);
    return outcome;
}

bytes_t sense_bytes(const sense_spec_t& spec)
{
    bytes_t s(18, 0);
    s[0] = spec.valid ? 0xF0 : 0x70;
    s[2] = static_cast<uint8_t>(spec.key | (spec.filemark ? 0x80 : 0) | (spec.eom ? 0x40 : 0) | (spec.ili ? 0x20 : 0));
    s[3] = static_cast<uint8_t>(spec.information >> 24);
    s[4] = static_cast<uint8_t>(spec.information >> 16);
    s[5] = static_cast<uint8_t>(spec.information >> 8);
    s[6] = static_cast<uint8_t>(spec.information);
    s[7] = 10;
    s[12] = spec.asc;
    s[13] = spec.ascq;
    return s;
}

bytes_t sense_bytes_pointer(const sense_spec_t& spec, bool in_cdb, uint16_t field_byte)
{
    bytes_t s = sense_bytes(spec);
    s[15] = in_cdb ? 0xC0 : 0x80;
    s[16] = static_cast<uint8_t>(field_byte >> 8);
    s[17] = static_cast<uint8_t>(field_byte);
    return s;
}

static bytes_t six(uint8_t op, uint8_t flags, uint32_t v)
{
    return {op, flags, static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v), 0};
}

bytes_t read6(uint32_t length, uint8_t flags) { return six(0x08, flags, length); }
bytes_t write6(uint32_t length, uint8_t flags) { return six(0x0A, flags, length); }
bytes_t write_filemarks6(uint32_t count, uint8_t flags) { return six(0x10, flags, count); }
bytes_t space6(uint8_t code, int32_t count) { return six(0x11, code, static_cast<uint32_t>(count) & 0xFFFFFF); }
bytes_t rewind6() { return {0x01, 0, 0, 0, 0, 0}; }
bytes_t read_position() { return {0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0}; }

std::unique_ptr<vtape_t> open_tape(const std::string& spec)
{
    std::unique_ptr<vtape_t> tape;
    std::string why;
    const DWORD error = vtape_t::open(spec.c_str(), tape, &why);
    EXPECT_EQ(error, NO_ERROR) << spec << ": " << why;
    return tape;
}

uint32_t position_of(vtape_t& tape)
{
    const outcome_t o = run(tape, read_position(), 20);
    EXPECT_EQ(o.reply.status, 0);
    EXPECT_EQ(o.data.size(), 20u);
    if (o.data.size() != 20)
        return 0xFFFFFFFF;
    return (uint32_t{o.data[4]} << 24) | (uint32_t{o.data[5]} << 16) | (uint32_t{o.data[6]} << 8) | o.data[7];
}

void write_blocks(vtape_t& tape, const std::vector<block_spec_t>& blocks)
{
    for (const block_spec_t& block : blocks) {
        const outcome_t o = block.length == 0 ? run(tape, write_filemarks6(1))
                                              : run_out(tape, write6(block.length), pattern(block.length, block.seed));
        EXPECT_EQ(o.reply.status, 0) << "writing a block of " << block.length;
    }
}
