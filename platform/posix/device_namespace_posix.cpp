// \\.\TapeN and \\.\ScsiN: mapped to device strings, and device strings to the openers of their schemes.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/posix/device_namespace.h"
#include "platform/posix/transports.h"

namespace posix {
namespace {

struct scheme_t {
    std::string prefix;
    device_opener_t opener;
};

struct scheme_table_t {
    std::mutex lock;
    std::vector<scheme_t> schemes;
};

// Function-local, so that registration from static constructors of other files finds it built.
scheme_table_t& scheme_table()
{
    static scheme_table_t table;
    return table;
}

// The opener of the longest registered prefix that begins the string, or nullptr.
device_opener_t opener_for(const char* device_string)
{
    scheme_table_t& table = scheme_table();
    std::lock_guard<std::mutex> guard(table.lock);
    const scheme_t* best = nullptr;
    for (const scheme_t& scheme : table.schemes)
        if (std::strncmp(device_string, scheme.prefix.c_str(), scheme.prefix.size()) == 0 &&
            (best == nullptr || scheme.prefix.size() > best->prefix.size()))
            best = &scheme;
    return best == nullptr ? nullptr : best->opener;
}

// "name:" with a letter first and no slash before the colon, as in "vtape:" or "iscsi://".
bool looks_like_scheme(const char* device_string)
{
    if (!std::isalpha(static_cast<unsigned char>(device_string[0]))) return false;
    const char* at = device_string + 1;
    while (std::isalnum(static_cast<unsigned char>(*at)) || *at == '+' || *at == '-' || *at == '.') ++at;
    return *at == ':';
}

bool starts_with_nocase(const char* text, const char* prefix)
{
    for (; *prefix != '\0'; ++text, ++prefix)
        if (std::tolower(static_cast<unsigned char>(*text)) != std::tolower(static_cast<unsigned char>(*prefix)))
            return false;
    return true;
}

// Reads a unit number written as %d writes it (no sign, no leading zero) and gives the rest.
const char* parse_unit(const char* text, int& unit)
{
    if (!std::isdigit(static_cast<unsigned char>(text[0])) || (text[0] == '0' && std::isdigit(
                                                                   static_cast<unsigned char>(text[1]))))
        return nullptr;
    long value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*text)); ++text) {
        value = value * 10 + (*text - '0');
        if (value > 0x7FFFFFFF) return nullptr;
    }
    unit = static_cast<int>(value);
    return text;
}

// The device string an environment variable names, or nullptr when it is unset or empty.
const char* configured_device(const char* variable, int unit)
{
    std::string name = std::string(variable) + std::to_string(unit);
    const char* value = std::getenv(name.c_str());
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

DWORD open_tape(int unit, std::unique_ptr<scsi_device_t>& device)
{
    const char* configured = configured_device("BRX_TAPE", unit);
    if (configured != nullptr) return open_device_string(configured, device);
    std::string node = "/dev/nst" + std::to_string(unit);
    return open_kernel_device(node.c_str(), device);
}

DWORD open_adapter(int unit, std::unique_ptr<scsi_device_t>& device)
{
    const char* configured = configured_device("BRX_SCSI", unit);
    if (configured != nullptr) return open_device_string(configured, device);
    return open_scsi_host(unit, device);
}

DWORD open_changer(int unit, std::unique_ptr<scsi_device_t>& device)
{
    const char* configured = configured_device("BRX_CHANGER", unit);
    if (configured != nullptr) return open_device_string(configured, device);
    return open_changer_node(unit, device);
}

}  // namespace

bool is_registered_scheme(const char* device_string) { return opener_for(device_string) != nullptr; }

void register_device_scheme(const char* prefix, device_opener_t opener)
{
    scheme_table_t& table = scheme_table();
    std::lock_guard<std::mutex> guard(table.lock);
    for (scheme_t& scheme : table.schemes)
        if (scheme.prefix == prefix) {
            scheme.opener = opener;
            return;
        }
    table.schemes.push_back({prefix, opener});
}

bool is_device_name(const char* name) { return std::strncmp(name, "\\\\.\\", 4) == 0; }

DWORD open_device_name(const char* name, std::unique_ptr<scsi_device_t>& device)
{
    const char* local = name + 4;  // after "\\.\"; the namespace ignores case, as on Windows
    int unit = 0;
    const char* rest = nullptr;
    if (starts_with_nocase(local, "tape") && (rest = parse_unit(local + 4, unit)) != nullptr && *rest == '\0')
        return open_tape(unit, device);
    if (starts_with_nocase(local, "scsi") && (rest = parse_unit(local + 4, unit)) != nullptr &&
        std::strcmp(rest, ":") == 0)
        return open_adapter(unit, device);
    if (starts_with_nocase(local, "changer") && (rest = parse_unit(local + 7, unit)) != nullptr && *rest == '\0')
        return open_changer(unit, device);
    return ERROR_FILE_NOT_FOUND;  // no such device in the namespace
}

DWORD open_device_string(const char* device_string, std::unique_ptr<scsi_device_t>& device)
{
    device_opener_t opener = opener_for(device_string);
    if (opener != nullptr) return opener(device_string, device);
    // A scheme this program was built without (or did not register): it cannot reach such a device.
    if (looks_like_scheme(device_string)) return ERROR_NOT_SUPPORTED;
    return open_kernel_device(device_string, device);
}

}  // namespace posix
