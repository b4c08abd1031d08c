// Standard tape labels: 80-byte records VOL1, HDR1/2, EOF1/2, EOV1/2 and user labels, in ASCII
// (ANSI) or EBCDIC (IBM).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct label_field_t {
    const char* name;  // as list prints it: "volume", "file", "created", ...
    const char* key;   // its JSON key
    std::string value;
};

struct label_t {
    std::string id;    // "VOL1", "HDR1", "UHL1", ...
    std::string code;  // "ANSI" or "IBM"
    std::vector<label_field_t> fields;
};

constexpr uint32_t label_length = 80;

// Whether the record is a standard label; fills label when it is.
bool decode_label(const uint8_t* data, uint32_t length, label_t& label);

// The label as the members of a JSON object: "\"id\": ..., \"code\": ..." and a member per field.
std::string label_json_members(const label_t& label);
