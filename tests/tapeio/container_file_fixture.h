// Container files for the file driver's tests: built here byte by byte, independently of the
// program's own header code, in a directory of their own per test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tapeio/brx_file_tape_io.h"
#include "tapeio/tape_io_handle.h"

namespace brx_test {

// Data byte i of the record that is block number index of a file; differs from block to block
// and along a record, so a wrong offset or a swapped record shows.
uint8_t pattern_byte(size_t index, uint64_t i);
std::vector<uint8_t> pattern(size_t index, uint32_t length);

void put_be32(uint8_t* bytes, uint32_t value);
std::vector<uint8_t> header_bytes(uint32_t length, uint32_t back_pointer);

// Where the blocks of a built file lie.
struct layout_t {
    std::vector<uint64_t> offsets;
    uint64_t end = 0;
};

// The offsets of blocks of these lengths laid one after the other from first_offset.
layout_t lay_out(const std::vector<uint32_t>& lengths, uint64_t first_offset = 0);

// The operations a test can name, each with a count of 1 where it takes one;
// write_record writes the 5 bytes that data() holds.
enum class op_t {
    read_forward,
    read_reverse,
    space_file_forward,
    space_file_reverse,
    space_record_forward,
    space_record_reverse,
    step_record_forward,
    step_record_reverse,
    write_tape_mark,
    rewind,
    write_record,
    erase,
    flush,
    setup,
    unload,
};
const char* op_name(op_t op);

// One step of a script: the operation, its result and the handle afterwards.
struct step_t {
    op_t op;
    int32_t result;
    uint64_t position;
    uint64_t prev_offset;
    int32_t block_count;
};

class container_file_test : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string path(const std::string& name = "tape.brx") const;
    // Writes blocks of these lengths with pattern data; data of records above sparse_above
    // bytes is left as a hole. The file ends after the last block.
    layout_t create(const std::vector<uint32_t>& lengths, uint32_t sparse_above = 1u << 20);
    void create_bytes(const std::vector<uint8_t>& bytes);
    // Overwrites bytes of the file in place, through a file stream of its own.
    void patch(uint64_t offset, const std::vector<uint8_t>& bytes);
    void append(const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> contents() const;

    // Opens the file, attaches it to handle and runs setup (which must answer 1).
    void open(DWORD access = GENERIC_READ | GENERIC_WRITE);
    void close();
    // The operating system's file pointer of the attached file.
    uint64_t file_pointer();
    // position, prev_offset and block_count, and the file pointer on position.
    void expect_at(uint64_t position, uint64_t prev_offset, int32_t block_count, const std::string& where);

    uint8_t* data() { return buffer.data() + 8; }
    int32_t run(op_t op, uint32_t count = 1);
    // Runs the steps, none of which may leave an error code. With a layout, a read must also
    // deliver the pattern data of the block it passed (its head forwards, its tail backwards).
    void run_script(const std::vector<step_t>& steps, const layout_t* layout = nullptr);

    std::filesystem::path directory;
    tape_io_handle_t handle;
    HANDLE file = INVALID_HANDLE_VALUE;
    brx_file_tape_io_t& tape;
    std::vector<uint8_t> buffer;

public:
    container_file_test();
    // Runs the tests on another driver object than the process-wide one.
    explicit container_file_test(brx_file_tape_io_t& driver);
};

}  // namespace brx_test
