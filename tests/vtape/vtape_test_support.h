// Helpers for the virtual drive's tests: media built byte by byte, commands, expected sense bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "vtape/vtape.h"

using bytes_t = std::vector<uint8_t>;

// One block of a medium: a record of `length` bytes (contents from pattern_byte) or, length 0, a mark.
struct block_spec_t {
    uint32_t length = 0;
    uint8_t seed = 0;
};

uint8_t pattern_byte(uint8_t seed, uint32_t i);
bytes_t pattern(uint32_t length, uint8_t seed);
// Container bytes for these blocks, written independently of the program's own writer.
bytes_t container_of(const std::vector<block_spec_t>& blocks);

// A scratch folder per test, removed afterwards.
class vtape_dir_t {
public:
    vtape_dir_t();
    ~vtape_dir_t();
    std::string path(const std::string& name) const { return (root_ / name).string(); }

private:
    std::filesystem::path root_;
};

bytes_t read_file(const std::string& path);
void write_file(const std::string& path, const bytes_t& bytes);
std::vector<std::string> read_lines(const std::string& path);

struct outcome_t {
    vtape_reply_t reply;
    bytes_t sense;  // exactly the bytes delivered
    bytes_t data;   // data in: the bytes moved
};

// Runs one command. Data in: a buffer of data_length bytes; data out: `out` is sent.
outcome_t run(vtape_t& tape, const bytes_t& cdb, uint32_t data_length = 0);
outcome_t run_out(vtape_t& tape, const bytes_t& cdb, const bytes_t& out);

// The 18 sense bytes a drive sends for these fields, built independently of the program's encoder.
struct sense_spec_t {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
    bool filemark = false;
    bool eom = false;
    bool ili = false;
    bool valid = false;
    uint32_t information = 0;
};
bytes_t sense_bytes(const sense_spec_t& spec);
// With the sense-key specific field pointer (ILLEGAL REQUEST).
bytes_t sense_bytes_pointer(const sense_spec_t& spec, bool in_cdb, uint16_t field_byte);

// CDBs.
bytes_t read6(uint32_t length, uint8_t flags = 0);
bytes_t write6(uint32_t length, uint8_t flags = 0);
bytes_t write_filemarks6(uint32_t count, uint8_t flags = 0);
bytes_t space6(uint8_t code, int32_t count);
bytes_t rewind6();
bytes_t read_position();

// Opens PATH?OPTIONS or fails the test.
std::unique_ptr<vtape_t> open_tape(const std::string& spec);
// Block index reported by READ POSITION.
uint32_t position_of(vtape_t& tape);
// Writes records and marks through the drive's WRITE and WRITE FILEMARKS.
void write_blocks(vtape_t& tape, const std::vector<block_spec_t>& blocks);
