// The device names of a test build, mapped to the openers the executable registers.
#include "platform/windows/virtual_names.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/device_namespace.h"

namespace {

struct scheme_t {
    std::string prefix;
    posix::device_opener_t opener;
};

// Function-local, so that registration from static constructors of other files finds it built.
std::vector<scheme_t>& schemes()
{
    static std::vector<scheme_t> table;
    return table;
}

bool starts_with_nocase(const char* text, const char* prefix)
{
    for (; *prefix != '\0'; ++text, ++prefix)
        if (std::tolower(static_cast<unsigned char>(*text)) != std::tolower(static_cast<unsigned char>(*prefix)))
            return false;
    return true;
}

// "Tape" or "Scsi", a unit number as %d writes it, then the name's end ("" or ":"). The unit's
// variable name, or "" when name is not such a device.
std::string variable_for(const char* local, const char* kind, const char* variable, const char* end)
{
    if (!starts_with_nocase(local, kind)) return "";
    const char* digits = local + std::strlen(kind);
    size_t count = std::strspn(digits, "0123456789");
    if (count == 0 || count > 9 || (digits[0] == '0' && count > 1) || std::strcmp(digits + count, end) != 0)
        return "";
    return variable + std::string(digits, count);
}

}  // namespace

void posix::register_device_scheme(const char* prefix, device_opener_t opener)
{
    for (scheme_t& scheme : schemes())
        if (scheme.prefix == prefix) {
            scheme.opener = opener;
            return;
        }
    schemes().push_back({prefix, opener});
}

namespace virtual_device {

bool open_virtual_device(const char* name, DWORD& code, std::unique_ptr<posix::scsi_device_t>& device)
{
    if (name == nullptr || std::strncmp(name, "\\\\.\\", 4) != 0) return false;
    std::string variable = variable_for(name + 4, "tape", "BRX_TAPE", "");
    if (variable.empty()) variable = variable_for(name + 4, "scsi", "BRX_SCSI", ":");
    if (variable.empty()) variable = variable_for(name + 4, "changer", "BRX_CHANGER", "");
    const char* value = variable.empty() ? nullptr : std::getenv(variable.c_str());
    if (value == nullptr || value[0] == '\0') return false;
    // A value that names no virtual drive fails rather than reach the real one: a test must not
    // write to a real tape because of a typing error.
    code = ERROR_NOT_SUPPORTED;
    for (const scheme_t& scheme : schemes())
        if (std::strncmp(value, scheme.prefix.c_str(), scheme.prefix.size()) == 0)
            code = scheme.opener(value, device);
    return true;
}

}  // namespace virtual_device
