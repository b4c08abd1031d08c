// A changer's elements as READ ELEMENT STATUS describes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "changer/changer_commands.h"

struct element_t {
    element_type_t type = element_type_t::all;
    uint16_t address = 0;
    bool full = false;
    bool exception = false;
    uint8_t asc = 0, ascq = 0;  // why, with exception
    bool source_valid = false;
    uint16_t source = 0;        // where the medium came from, when source_valid
    uint8_t medium_type = 0;    // 1 data, 2 cleaning, 0 not told
    std::string volume_tag;     // the primary volume tag's identifier (the barcode), blanks trimmed
    std::string identifier;     // a drive's device identifier, when asked for and given
    bool cut = false;           // the descriptor arrived shorter than its stated length
};

constexpr uint8_t cleaning_medium = 2;

// Appends the descriptors of a reply. length is what arrived, which may fall short of the byte
// counts the reply states: the descriptor cut off is kept with what it holds and marked cut.
void parse_element_status(const uint8_t* data, uint32_t length, std::vector<element_t>& elements);

// The element address assignment page: the first address and count of each type.
struct element_layout_t {
    uint16_t first[5] = {};
    uint16_t count[5] = {};
    uint16_t first_of(element_type_t type) const { return first[static_cast<int>(type)]; }
    uint16_t count_of(element_type_t type) const { return count[static_cast<int>(type)]; }
};

// From a MODE SENSE(6) reply of length bytes; false when the page is not in it.
bool parse_element_layout(const uint8_t* data, uint32_t length, element_layout_t& layout);
