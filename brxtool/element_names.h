// The names brxtool gives a changer's elements: "slot:N" and "ie:N" count from 1, "drive:N" and
// "transport:N" from 0 (as mtx numbers them); a plain number is an element address.
#pragma once

#include <cstdint>
#include <string>

#include "changer/element_status.h"

// "slot:3" for the element at address; the address itself when it is of no known type.
std::string element_name(const element_layout_t& layout, uint16_t address);
// N of the name of the element at address ("slot:N"); the address itself when it has no type.
long element_number(const element_layout_t& layout, uint16_t address);
// The type of the element at address (element_type_t::all when no type has it).
element_type_t element_type_at(const element_layout_t& layout, uint16_t address);
// The address of a name; false when the name is malformed or no such element exists.
bool element_address(const element_layout_t& layout, const std::string& name, uint16_t& address);
// The address of the Nth element of a type, counted as its names count; false when it has none.
bool ordinal_address(const element_layout_t& layout, element_type_t type, long ordinal, uint16_t& address);
// The name's type word: "slot", "drive", "ie", "transport".
const char* type_word(element_type_t type);
