// Helpers for the virtual drive's tests: media and sense bytes built independently of the drive.
#pragma once

#include <cstdint>
#include <memory>

#include "tests/support/e2e.h"
#include "vtape/vtape.h"

using bytes_t = std::vector<uint8_t>;

struct block_spec_t { uint32_t length = 0; uint8_t seed = 0; };  // a record of pattern(length, seed); 0: a mark
bytes_t pattern(uint32_t length, uint8_t seed);
std::string medium_of(const std::vector<block_spec_t>& blocks);  // a container file

struct outcome_t { vtape_reply_t reply; bytes_t sense, data; };  // exactly the bytes delivered / moved in
// Data in to a buffer of data_in bytes (checking nothing lands past it or past the sense), or out.
outcome_t run(vtape_t& tape, const bytes_t& cdb, uint32_t data_in = 0, bytes_t out = {});

// 18 fixed-format sense bytes. key_flags: the key with FILEMARK 0x80, EOM 0x40, ILI 0x20;
// information < 0: VALID clear. illegal(): ILLEGAL REQUEST pointing at a byte of the CDB or list.
bytes_t sense(uint8_t key_flags, uint16_t asc_ascq, int64_t information = -1);
bytes_t illegal(uint16_t asc_ascq, uint16_t field_byte, bool in_cdb = true);

bytes_t cdb6(uint8_t opcode, uint8_t flags, uint32_t value);
inline bytes_t read6(uint32_t length) { return cdb6(0x08, 0, length); }
inline bytes_t write6(uint32_t length) { return cdb6(0x0A, 0, length); }
inline bytes_t filemarks6(uint32_t count) { return cdb6(0x10, 0, count); }
inline bytes_t space6(uint8_t code, int32_t count) { return cdb6(0x11, code, uint32_t(count) & 0xFFFFFF); }
inline bytes_t locate10(uint8_t index) { return {0x2B, 0, 0, 0, 0, 0, index, 0, 0, 0}; }

std::unique_ptr<vtape_t> open_tape(const std::string& text);  // fails the test if it cannot
uint32_t position_of(vtape_t& tape);                           // READ POSITION's block index
void write_blocks(vtape_t& tape, const std::vector<block_spec_t>& blocks);
