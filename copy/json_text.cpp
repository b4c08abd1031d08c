#include "copy/json_text.h"

#include <cstdio>

namespace {

// The length of the UTF-8 sequence at `at`; 0 when the bytes there are none (overlong forms,
// surrogates and values beyond U+10FFFF included).
size_t utf8_length(const std::string& text, size_t at)
{
    const auto byte = [&](size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    const unsigned lead = byte(at);
    if (lead < 0x80)
        return 1;
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (length == 0 || lead > 0xF4 || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (size_t i = 2; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
    return length;
}

}  // namespace

// A byte that is no UTF-8 (a name from a Latin-1 system) is written as its Latin-1 character, so
// that the document always parses.
std::string json_string(const std::string& text)
{
    std::string quoted = "\"";
    for (size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        const size_t length = utf8_length(text, at);
        if (length == 0 || c < 0x20) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
            ++at;
            continue;
        }
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted.append(text, at, length);
        at += length;
    }
    return quoted + "\"";
}
