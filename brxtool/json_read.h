// Reading a JSON document (a manifest) into a tree. Numbers are kept as their text; the reader
// takes what RFC 8259 allows, nested at most 64 deep, and says where it stopped otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct json_value_t {
    enum class kind_t { null, boolean, number, string, array, object } kind = kind_t::null;
    bool boolean = false;
    std::string text;  // a string's characters (UTF-8), a number's digits
    std::vector<json_value_t> items;  // an array's values, or an object's
    std::vector<std::string> names;   // an object's member names, one for each of its items

    // The member named so, or a null value when there is none (or this is no object).
    const json_value_t& operator[](const std::string& name) const;
    // A number that is a whole number from 0 to 2^64 - 1.
    bool whole(uint64_t& value) const;
};

// false, with why ("byte 17: a value was expected"), when text is not one JSON value.
bool parse_json(const std::string& text, json_value_t& value, std::string& why);
