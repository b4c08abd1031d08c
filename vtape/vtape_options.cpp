#include "vtape/vtape_options.h"

#include <cstring>

namespace {

// Decimal, or hexadecimal after "0x"; the whole text must be a number not above max.
bool parse_number(const std::string& text, uint64_t max, uint64_t& value)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const size_t start = hex ? 2 : 0;
    if (text.size() == start)
        return false;
    const uint64_t base = hex ? 16 : 10;
    value = 0;
    for (size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        uint64_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint64_t>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<uint64_t>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<uint64_t>(c - 'A' + 10);
        else
            return false;
        if (digit > max || value > (max - digit) / base)
            return false;
        value = value * base + digit;
    }
    return true;
}

DWORD fail(std::string* why, const std::string& reason)
{
    if (why)
        *why = reason;
    return ERROR_INVALID_PARAMETER;
}

bool parse_bad(const std::string& value, vtape_bad_block_t& bad)
{
    const size_t colon = value.find(':');
    uint64_t number = 0;
    if (!parse_number(value.substr(0, colon), 0xFFFFFFFFu, number))
        return false;
    bad.index = static_cast<uint32_t>(number);
    if (colon == std::string::npos)
        return true;
    if (!parse_number(value.substr(colon + 1), 0xFFFFFFFFu, number))
        return false;
    bad.failures = static_cast<uint32_t>(number);
    bad.always = false;
    return true;
}

struct numeric_option_t {
    const char* name;
    uint64_t max;
};

const numeric_option_t numeric_options[] = {
    {"minblock", 0xFFFF},     {"maxblock", 0xFFFFFF},   {"bufmode", 7},
    {"speed", 15},            {"capacity", UINT64_MAX}, {"ew", UINT64_MAX},
    {"attention", 0xFFFFFFFFu}, {"devconfig8", 0xFF},   {"changeable8", 0xFF},
    {"delay", 60000000},      {"maxtransfer", 0xFFFFFFFFu},
};

void store_numeric(const std::string& name, uint64_t v, vtape_options_t& o)
{
    if (name == "minblock") o.min_block = static_cast<uint32_t>(v);
    else if (name == "maxblock") o.max_block = static_cast<uint32_t>(v);
    else if (name == "bufmode") o.buffered_mode = static_cast<uint8_t>(v);
    else if (name == "speed") o.speed = static_cast<uint8_t>(v);
    else if (name == "capacity") o.capacity = v;
    else if (name == "ew") o.early_warning = v;
    else if (name == "attention") o.attention = static_cast<uint32_t>(v);
    else if (name == "devconfig8") o.devconfig8 = static_cast<uint8_t>(v);
    else if (name == "delay") o.delay_us = static_cast<uint32_t>(v);
    else if (name == "maxtransfer") o.max_transfer = static_cast<uint32_t>(v);
    else o.changeable8 = static_cast<uint8_t>(v);
}

DWORD parse_option(const std::string& item, vtape_options_t& options, std::string* why)
{
    if (item == "notready") { options.not_ready = true; return NO_ERROR; }
    if (item == "protect") { options.write_protected = true; return NO_ERROR; }
    if (item == "pastbad") { options.past_bad = true; return NO_ERROR; }
    if (item == "zeroposition") { options.zero_position = true; return NO_ERROR; }
    if (item == "nolocate") { options.no_locate = true; return NO_ERROR; }
    const size_t equals = item.find('=');
    if (equals == std::string::npos)
        return fail(why, "unknown option '" + item + "'");
    const std::string name = item.substr(0, equals);
    const std::string value = item.substr(equals + 1);
    if (name == "trace" || name == "heal") {
        if (value.empty())
            return fail(why, "option '" + name + "=' needs a file name");
        (name == "trace" ? options.trace_path : options.heal_path) = value;
        return NO_ERROR;
    }
    if (name == "bad") {
        vtape_bad_block_t bad;
        if (!parse_bad(value, bad))
            return fail(why, "bad value in option '" + item + "' (bad=K or bad=K:N)");
        options.bad_blocks.push_back(bad);
        return NO_ERROR;
    }
    for (const numeric_option_t& option : numeric_options) {
        if (name != option.name)
            continue;
        uint64_t number = 0;
        if (!parse_number(value, option.max, number))
            return fail(why, "bad value in option '" + item + "'");
        store_numeric(name, number, options);
        return NO_ERROR;
    }
    return fail(why, "unknown option '" + item + "'");
}

DWORD check_consistency(const vtape_options_t& o, std::string* why)
{
    if (o.min_block > o.max_block)
        return fail(why, "minblock is above maxblock");
    if (o.early_warning != 0 && o.capacity == 0)
        return fail(why, "ew needs capacity");
    if (o.early_warning > o.capacity)
        return fail(why, "ew is above capacity");
    return NO_ERROR;
}

}  // namespace

DWORD parse_vtape_name(const char* name, vtape_options_t& options, std::string* why)
{
    options = vtape_options_t{};
    const char* question = std::strchr(name, '?');
    options.medium_path.assign(name, question ? static_cast<size_t>(question - name) : std::strlen(name));
    if (options.medium_path.empty())
        return fail(why, "no medium file named");
    if (!question)
        return NO_ERROR;
    const std::string rest(question + 1);
    size_t start = 0;
    for (;;) {
        const size_t amp = rest.find('&', start);
        const std::string item = rest.substr(start, amp == std::string::npos ? std::string::npos : amp - start);
        if (item.empty())
            return fail(why, "empty option in '" + rest + "'");
        const DWORD error = parse_option(item, options, why);
        if (error != NO_ERROR)
            return error;
        if (amp == std::string::npos)
            break;
        start = amp + 1;
    }
    return check_consistency(options, why);
}
