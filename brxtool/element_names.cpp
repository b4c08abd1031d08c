#include "brxtool/element_names.h"

#include <cstdlib>

namespace {

struct type_name_t {
    element_type_t type;
    const char* word;
    int first;  // the number of the type's first element
};

const type_name_t type_names[] = {{element_type_t::drive, "drive", 0},
                                  {element_type_t::slot, "slot", 1},
                                  {element_type_t::portal, "ie", 1},
                                  {element_type_t::transport, "transport", 0}};

// A decimal number and nothing else; false for anything else.
bool whole_number(const std::string& text, long& value)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::strtol(text.c_str(), nullptr, 10);
    return true;
}

}  // namespace

const char* type_word(element_type_t type)
{
    for (const type_name_t& name : type_names)
        if (name.type == type)
            return name.word;
    return "element";
}

element_type_t element_type_at(const element_layout_t& layout, uint16_t address)
{
    for (const type_name_t& name : type_names) {
        uint32_t first = layout.first_of(name.type);
        if (address >= first && address < first + layout.count_of(name.type))
            return name.type;
    }
    return element_type_t::all;
}

long element_number(const element_layout_t& layout, uint16_t address)
{
    for (const type_name_t& name : type_names)
        if (name.type == element_type_at(layout, address))
            return static_cast<long>(address) - layout.first_of(name.type) + name.first;
    return address;
}

std::string element_name(const element_layout_t& layout, uint16_t address)
{
    const element_type_t type = element_type_at(layout, address);
    if (type == element_type_t::all)
        return std::to_string(address);
    return std::string(type_word(type)) + ":" + std::to_string(element_number(layout, address));
}

bool ordinal_address(const element_layout_t& layout, element_type_t type, long ordinal, uint16_t& address)
{
    for (const type_name_t& name : type_names)
        if (name.type == type && ordinal >= name.first && ordinal - name.first < layout.count_of(type)) {
            address = static_cast<uint16_t>(layout.first_of(type) + ordinal - name.first);
            return true;
        }
    return false;
}

bool element_address(const element_layout_t& layout, const std::string& name, uint16_t& address)
{
    long number = 0;
    size_t colon = name.find(':');
    if (colon == std::string::npos) {
        if (!whole_number(name, number) || number > 0xFFFF ||
            element_type_at(layout, static_cast<uint16_t>(number)) == element_type_t::all)
            return false;
        address = static_cast<uint16_t>(number);
        return true;
    }
    if (!whole_number(name.substr(colon + 1), number))
        return false;
    for (const type_name_t& type : type_names)
        if (name.compare(0, colon, type.word) == 0)
            return ordinal_address(layout, type.type, number, address);
    return false;
}
