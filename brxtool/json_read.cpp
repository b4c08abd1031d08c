#include "brxtool/json_read.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int deepest = 64;

struct json_reader_t {
    const std::string& text;
    size_t at = 0;
    std::string why;

    bool fail(const char* what)
    {
        if (why.empty())
            why = "byte " + std::to_string(at) + ": " + what;
        return false;
    }
    void blanks()
    {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r'))
            ++at;
    }
    bool take(char c)
    {
        blanks();
        if (at < text.size() && text[at] == c) {
            ++at;
            return true;
        }
        return false;
    }
    bool word(const char* name)
    {
        const std::string expected(name);
        if (text.compare(at, expected.size(), expected) != 0)
            return fail("a value was expected");
        at += expected.size();
        return true;
    }
    bool digits()
    {
        const size_t first = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9')
            ++at;
        return at > first || fail("a digit was expected");
    }
    bool number(json_value_t& value)
    {
        const size_t first = at;
        take('-');
        if (at < text.size() && text[at] == '0')
            ++at;
        else if (!digits())
            return false;
        if (at < text.size() && text[at] == '.' && (++at, !digits()))
            return false;
        if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
            ++at;
            if (at < text.size() && (text[at] == '+' || text[at] == '-'))
                ++at;
            if (!digits())
                return false;
        }
        value.kind = json_value_t::kind_t::number;
        value.text = text.substr(first, at - first);
        return true;
    }
    void put_utf8(std::string& out, uint32_t code)
    {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    bool hex4(uint32_t& code)
    {
        if (at + 4 > text.size())
            return fail("four hexadecimal digits were expected");
        code = 0;
        for (int i = 0; i < 4; ++i, ++at) {
            const char c = text[at];
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                            : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (digit < 0)
                return fail("a hexadecimal digit was expected");
            code = code * 16 + static_cast<uint32_t>(digit);
        }
        return true;
    }
    // \uXXXX, a surrogate pair joined.
    bool unicode(std::string& out)
    {
        uint32_t code = 0, low = 0;
        if (!hex4(code))
            return false;
        if (code >= 0xD800 && code < 0xDC00 && text.compare(at, 2, "\\u") == 0) {
            at += 2;
            if (!hex4(low) || low < 0xDC00 || low > 0xDFFF)
                return fail("a low surrogate was expected");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        put_utf8(out, code);
        return true;
    }
    bool string(std::string& out)
    {
        if (!take('"'))
            return fail("a string was expected");
        static const char escaped[] = "\"\\/bfnrt", meant[] = "\"\\/\b\f\n\r\t";
        while (at < text.size() && text[at] != '"') {
            const char c = text[at++];
            if (static_cast<unsigned char>(c) < 0x20)
                return fail("a control character stands in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at >= text.size())
                break;
            const char kind = text[at++];
            if (kind == 'u') {
                if (!unicode(out))
                    return false;
                continue;
            }
            const char* found = kind != '\0' ? std::strchr(escaped, kind) : nullptr;
            if (found == nullptr)
                return fail("an unknown escape");
            out += meant[found - escaped];
        }
        return take('"') || fail("the string does not end");
    }
    bool array(json_value_t& value, int depth)
    {
        value.kind = json_value_t::kind_t::array;
        if (take(']'))
            return true;
        do {
            value.items.emplace_back();
            if (!parse(value.items.back(), depth + 1))
                return false;
        } while (take(','));
        return take(']') || fail("',' or ']' was expected");
    }
    bool object(json_value_t& value, int depth)
    {
        value.kind = json_value_t::kind_t::object;
        if (take('}'))
            return true;
        do {
            value.names.emplace_back();
            value.items.emplace_back();
            if (!string(value.names.back()))
                return false;
            if (!take(':'))
                return fail("':' was expected");
            if (!parse(value.items.back(), depth + 1))
                return false;
        } while (take(','));
        return take('}') || fail("',' or '}' was expected");
    }
    bool parse(json_value_t& value, int depth)
    {
        if (depth > deepest)
            return fail("nested too deep");
        blanks();
        if (at >= text.size())
            return fail("a value was expected");
        switch (text[at]) {
        case '{':
            ++at;
            return object(value, depth);
        case '[':
            ++at;
            return array(value, depth);
        case '"':
            value.kind = json_value_t::kind_t::string;
            return string(value.text);
        case 't':
        case 'f':
            value.kind = json_value_t::kind_t::boolean;
            value.boolean = text[at] == 't';
            return word(value.boolean ? "true" : "false");
        case 'n':
            return word("null");
        default:
            return number(value);
        }
    }
};

}  // namespace

const json_value_t& json_value_t::operator[](const std::string& name) const
{
    static const json_value_t none;
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name)
            return items[i];
    return none;
}

bool json_value_t::whole(uint64_t& value) const
{
    if (kind != kind_t::number || text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = 0;
    for (const char c : text) {
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    return true;
}

bool parse_json(const std::string& text, json_value_t& value, std::string& why)
{
    json_reader_t reader{text, 0, ""};
    value = json_value_t{};
    bool parsed = reader.parse(value, 0);
    reader.blanks();
    if (parsed && reader.at != text.size())
        parsed = reader.fail("the document goes on after its value");
    why = reader.why;
    return parsed;
}
