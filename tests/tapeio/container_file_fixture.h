// Container files built byte by byte apart from the driver's own header code, one directory per test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "platform/platform.h"
#include "tapeio/tape_io_objects.h"
#include "tests/support/e2e.h"
#include "tests/support/tape_ops.h"

namespace brx_test {

// Byte i of block index: differs between blocks and along a record, so a wrong offset shows.
inline uint8_t pattern_byte(size_t index, uint64_t i) { return static_cast<uint8_t>(index * 37 + i * 7 + (i >> 8) * 13 + 1); }

inline std::vector<uint8_t> pattern(size_t index, uint32_t length)
{
    std::vector<uint8_t> bytes(length);
    for (uint32_t i = 0; i < length; ++i) bytes[i] = pattern_byte(index, i);
    return bytes;
}

inline std::vector<uint8_t> be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

inline std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

inline std::vector<uint8_t> header_bytes(uint32_t length, uint32_t back) { return concat({be32(length), be32(back)}); }

// One step of a script: the operation, its result and the handle afterwards.
struct step_t { op_t op; int32_t result; uint64_t position, prev_offset; int32_t block_count; uint32_t last_error = 0; };

class container_file_test : public ::testing::Test {
protected:
    explicit container_file_test(tape_io_t& driver = brx_file_tape_io) : tape(driver) {}
    void TearDown() override { close(); }

    std::string path() const { return directory.file("tape.brx"); }

    // Blocks of these lengths with pattern data (records above sparse_above left as holes);
    // returns their offsets followed by the end of the file.
    std::vector<uint64_t> create(const std::vector<uint32_t>& lengths, uint32_t sparse_above = 1u << 20)
    {
        std::ofstream(path(), std::ios::binary | std::ios::trunc).close();
        std::vector<uint64_t> offsets = {0};
        for (size_t i = 0; i < lengths.size(); ++i) {
            patch(offsets[i], header_bytes(lengths[i], i == 0 ? 1 : static_cast<uint32_t>(offsets[i - 1])));
            if (lengths[i] <= sparse_above)
                patch(offsets[i] + 8, pattern(i, lengths[i]));
            offsets.push_back(offsets[i] + 8 + lengths[i]);
        }
        std::filesystem::resize_file(path(), offsets.back());
        return offsets;
    }
    void patch(uint64_t offset, const std::vector<uint8_t>& bytes)
    {
        std::fstream out(path(), std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(offset));
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good()) << "patching at " << offset;
    }
    std::vector<uint8_t> contents() const
    {
        std::ifstream in(path(), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Shared, so that a test can damage the file while the driver has it open; setup must answer 1.
    void open()
    {
        file = CreateFileA(path().c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << "error " << GetLastError();
        handle.attach(file);
        ASSERT_EQ(tape.setup(&handle, buffer.data(), static_cast<uint32_t>(buffer.size())), 1);
    }
    void close()
    {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
    }

    // The handle's three fields, and the operating system's file pointer on position.
    void expect_at(uint64_t position, uint64_t prev_offset, int32_t block_count, const std::string& where)
    {
        EXPECT_EQ(std::tuple(handle.position, handle.prev_offset, handle.block_count), std::tuple(position, prev_offset, block_count)) << where;
        LONG high = 0;
        DWORD low = SetFilePointer(file, 0, &high, FILE_CURRENT);
        EXPECT_EQ((uint64_t{static_cast<uint32_t>(high)} << 32) | low, position) << where << ": file pointer";
    }

    uint8_t* data() { return buffer.data() + 8; }
    // Counts are 1; write_record writes the 5 bytes data() holds.
    int32_t run(op_t op) { return run_op(tape, op, &handle, buffer.data(), uint32_t(buffer.size()), op == op_t::write_record ? 5 : 1); }

    // Runs the steps; given the offsets create() returned, a read must also deliver the pattern
    // data of the block it passed (its head forwards, its tail backwards).
    void run_script(const std::vector<step_t>& steps, const std::vector<uint64_t>* offsets = nullptr)
    {
        for (size_t i = 0; i < steps.size(); ++i) {
            const step_t& s = steps[i];
            std::string where = "step " + std::to_string(i);
            std::fill(buffer.begin(), buffer.end(), uint8_t{0xEE});
            ASSERT_EQ(run(s.op), s.result) << where << ", last_error " << handle.last_error;
            EXPECT_EQ(handle.last_error, s.last_error) << where;
            expect_at(s.position, s.prev_offset, s.block_count, where);
            if (offsets == nullptr || (s.op != op_t::read_forward && s.op != op_t::read_reverse) || s.result <= 0)
                continue;
            uint64_t block = s.op == op_t::read_forward ? handle.prev_offset : handle.position;
            size_t index = std::find(offsets->begin(), offsets->end(), block) - offsets->begin();
            uint32_t length = static_cast<uint32_t>(s.result);
            uint32_t delivered = std::min<uint32_t>(length, static_cast<uint32_t>(buffer.size()) - 8);
            uint32_t first = s.op == op_t::read_forward ? 0 : length - delivered;
            for (uint32_t k = 0; k < delivered; ++k)
                ASSERT_EQ(data()[k], pattern_byte(index, first + k)) << where << ": data byte " << k;
        }
    }

    scratch_directory_t directory;
    tape_io_handle_t handle;
    HANDLE file = INVALID_HANDLE_VALUE;
    tape_io_t& tape;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(65536);
};

}  // namespace brx_test
