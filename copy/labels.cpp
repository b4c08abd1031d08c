#include "copy/labels.h"

#include <cstdio>
#include <cstring>

#include "copy/json_text.h"

namespace {

// EBCDIC (code page 037) for the characters labels hold; '?' for the rest.
char from_ebcdic_slowly(uint8_t c)
{
    static const char* const letters[] = {"abcdefghi", "jklmnopqr", "stuvwxyz", "ABCDEFGHI", "JKLMNOPQR",
                                          "STUVWXYZ", "0123456789"};
    static const uint8_t starts[] = {0x81, 0x91, 0xA2, 0xC1, 0xD1, 0xE2, 0xF0};
    for (int row = 0; row < 7; ++row) {
        std::string run = letters[row];
        if (c >= starts[row] && c < starts[row] + run.size())
            return run[c - starts[row]];
    }
    static const struct { uint8_t code; char ascii; } others[] = {
        {0x40, ' '}, {0x4B, '.'}, {0x4C, '<'}, {0x4D, '('}, {0x4E, '+'}, {0x50, '&'}, {0x5B, '$'}, {0x5C, '*'},
        {0x5D, ')'}, {0x5E, ';'}, {0x60, '-'}, {0x61, '/'}, {0x6B, ','}, {0x6C, '%'}, {0x6D, '_'}, {0x6E, '>'},
        {0x6F, '?'}, {0x7A, ':'}, {0x7B, '#'}, {0x7C, '@'}, {0x7D, '\''}, {0x7E, '='}, {0x7F, '"'}};
    for (const auto& other : others)
        if (other.code == c)
            return other.ascii;
    return '?';
}

// Every 80-byte record is looked at: a table, made once.
char from_ebcdic(uint8_t c)
{
    static const struct table_t {
        char ascii[256];
        table_t()
        {
            for (int code = 0; code < 256; ++code)
                ascii[code] = from_ebcdic_slowly(static_cast<uint8_t>(code));
        }
    } table;
    return table.ascii[c];
}

// The first four characters of a record.
bool known_id(const char* id)
{
    static const char ids[][4] = {{'V', 'O', 'L', '1'}, {'H', 'D', 'R', '1'}, {'H', 'D', 'R', '2'}, {'E', 'O', 'F', '1'},
                                  {'E', 'O', 'F', '2'}, {'E', 'O', 'V', '1'}, {'E', 'O', 'V', '2'}};
    for (const char* known : ids)
        if (std::memcmp(id, known, 4) == 0)
            return true;
    return (std::memcmp(id, "UHL", 3) == 0 || std::memcmp(id, "UTL", 3) == 0) && id[3] >= '1' && id[3] <= '9';
}

// Columns first to last (from 1), blanks trimmed at both ends.
std::string columns(const std::string& text, size_t first, size_t last)
{
    std::string value = text.substr(first - 1, last - first + 1);
    size_t begin = value.find_first_not_of(' ');
    if (begin == std::string::npos)
        return "";
    return value.substr(begin, value.find_last_not_of(' ') - begin + 1);
}

// "cyyddd": c blank for 19yy, 0 for 20yy, 1 for 21yy...; as year-month-day.
std::string label_date(const std::string& field)
{
    if (field.size() != 6 || (field[0] != ' ' && (field[0] < '0' || field[0] > '9')))
        return "";
    for (size_t i = 1; i < 6; ++i)
        if (field[i] < '0' || field[i] > '9')
            return "";
    int year = (field[0] == ' ' ? 1900 : 2000 + 100 * (field[0] - '0')) + std::stoi(field.substr(1, 2));
    int day = std::stoi(field.substr(3, 3));
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int lengths[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = 0;
    while (month < 12 && day > lengths[month])
        day -= lengths[month++];
    if (day < 1 || month == 12)
        return "";
    char text[40];
    snprintf(text, sizeof text, "%04d-%02d-%02d", year, month + 1, day);
    return text;
}

// A number without its leading zeros.
std::string number(const std::string& digits)
{
    size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? (digits.empty() ? "" : "0") : digits.substr(first);
}

void add(label_t& label, const char* name, const char* key, const std::string& value)
{
    if (!value.empty())
        label.fields.push_back({name, key, value});
}

void decode_fields(const std::string& text, label_t& label)
{
    char kind = label.id[3];
    std::string id = label.id.substr(0, 3);
    if (label.id == "VOL1") {
        add(label, "volume", "volume", columns(text, 5, 10));
    } else if (kind == '1' && id != "UHL" && id != "UTL") {
        add(label, "file", "file_id", columns(text, 5, 21));
        add(label, "sequence", "file_sequence", number(columns(text, 32, 35)));
        add(label, "created", "created", label_date(text.substr(41, 6)));
        if (id != "HDR")
            add(label, "blocks", "block_count", number(columns(text, 55, 60)));
    } else if (kind == '2' && id != "UHL" && id != "UTL") {
        add(label, "record format", "record_format", columns(text, 5, 5));
        add(label, "block length", "block_length", number(columns(text, 6, 10)));
        add(label, "record length", "record_length", number(columns(text, 11, 15)));
    }
}

}  // namespace

bool decode_label(const uint8_t* data, uint32_t length, label_t& label)
{
    if (length != label_length)
        return false;
    const char ebcdic[4] = {from_ebcdic(data[0]), from_ebcdic(data[1]), from_ebcdic(data[2]), from_ebcdic(data[3])};
    bool ibm = !known_id(reinterpret_cast<const char*>(data));
    if (ibm && !known_id(ebcdic))
        return false;
    label.code = ibm ? "IBM" : "ANSI";
    std::string text(label_length, ' ');
    for (uint32_t i = 0; i < label_length; ++i)
        text[i] = ibm ? from_ebcdic(data[i]) : data[i] >= ' ' && data[i] <= '~' ? char(data[i]) : '?';
    label.id = text.substr(0, 4);
    label.fields.clear();
    decode_fields(text, label);
    return true;
}

std::string label_json_members(const label_t& label)
{
    std::string text = "\"id\": " + json_string(label.id) + ", \"code\": " + json_string(label.code);
    for (const label_field_t& field : label.fields)
        text += ", \"" + std::string(field.key) + "\": " + json_string(field.value);
    return text;
}
