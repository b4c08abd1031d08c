// The iscsi:// device string, checked here so a bad name fails before any connection is tried.
#include <algorithm>
#include <string_view>

#include "platform/posix/iscsi_posix.h"

namespace posix {

namespace {

constexpr long max_port = 65535;
constexpr long max_lun = 16383;  // the flat LUN space of SAM
constexpr long max_timeout = 86400;

bool parse_number(std::string_view text, long max, long& value) {
    if (text.empty() || text.size() > 5) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value <= max;
}

// "HOST", "HOST:PORT", "[V6]" or "[V6]:PORT".
bool parse_authority(std::string_view authority, std::string& portal) {
    size_t host_end = authority.find(':');
    if (!authority.empty() && authority[0] == '[') {
        host_end = authority.find(']');
        if (host_end == std::string_view::npos) return false;
        ++host_end;
    }
    std::string_view host = authority.substr(0, host_end);
    std::string_view rest = host_end == std::string_view::npos ? std::string_view() : authority.substr(host_end);
    if (host.empty() || host == "[]" || host.find_first_of("@/ ") != std::string_view::npos) return false;
    long port = iscsi_default_port;
    if (!rest.empty() && (rest[0] != ':' || !parse_number(rest.substr(1), max_port, port) || port == 0)) {
        return false;
    }
    portal = std::string(host) + ":" + std::to_string(port);
    return true;
}

// "" or "?timeout=S".
bool parse_query(std::string_view query, int& timeout) {
    constexpr std::string_view key = "?timeout=";
    if (query.empty()) return true;
    long seconds = 0;
    if (query.substr(0, key.size()) != key || !parse_number(query.substr(key.size()), max_timeout, seconds)) {
        return false;
    }
    timeout = static_cast<int>(seconds);
    return seconds > 0;
}

}  // namespace

DWORD parse_iscsi_url(const char* text, iscsi_address_t& address) {
    constexpr std::string_view scheme = "iscsi://";
    std::string_view rest = text == nullptr ? std::string_view() : std::string_view(text);
    if (rest.substr(0, scheme.size()) != scheme) return ERROR_INVALID_NAME;
    rest.remove_prefix(scheme.size());
    size_t target_start = rest.find('/');
    size_t lun_start = target_start == std::string_view::npos ? target_start : rest.find('/', target_start + 1);
    if (lun_start == std::string_view::npos) return ERROR_INVALID_NAME;
    std::string_view target = rest.substr(target_start + 1, lun_start - target_start - 1);
    std::string_view lun_text = rest.substr(lun_start + 1);
    size_t query_start = std::min(lun_text.find('?'), lun_text.size());
    long lun = 0;
    iscsi_address_t parsed;
    if (!parse_authority(rest.substr(0, target_start), parsed.portal) || target.empty() ||
        target.find(' ') != std::string_view::npos ||
        !parse_number(lun_text.substr(0, query_start), max_lun, lun) ||
        !parse_query(lun_text.substr(query_start), parsed.timeout_seconds)) {
        return ERROR_INVALID_NAME;
    }
    parsed.target = std::string(target);
    parsed.lun = static_cast<int>(lun);
    address = std::move(parsed);
    return NO_ERROR;
}

}  // namespace posix
