// The parsers of what a user types: device names (copy's and the platform layer's), iSCSI URLs,
// vtape options and brx's switches. Beyond the sanitizers: whatever is accepted reads back the same
// from its canonical text, a name the platform opens is one copy recognises as the same unit, and
// the switches leave no descriptor open.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "copy/device_name.h"
#include "frontend/options.h"
#include "fuzz/fuzz_support_posix.h"
#include "platform/posix/device_namespace.h"
#include "platform/posix/iscsi_posix.h"
#include "vtape/vtape_options.h"

namespace {

std::string reached;  // the device string the last open handed to the fuzz scheme

DWORD open_fuzz_scheme(const char* device_string, std::unique_ptr<posix::scsi_device_t>&)
{
    reached = device_string;
    return NO_ERROR;
}

// Opens name in the platform's namespace with both variables of the unit it names set to the fuzz
// scheme, so that no real device is ever opened; the unit is the digits the platform reads.
DWORD platform_open(const std::string& name, std::string& unit)
{
    unit.clear();
    for (size_t at = 8; at < name.size() && isdigit(static_cast<unsigned char>(name[at])); ++at) unit += name[at];
    for (const char* variable : {"BRX_TAPE", "BRX_SCSI"})
        setenv((variable + unit).c_str(), ("fuzz:" + std::string(variable) + unit).c_str(), 1);
    reached.clear();
    std::unique_ptr<posix::scsi_device_t> device;
    const DWORD code = posix::open_device_name(name.c_str(), device);
    for (const char* variable : {"BRX_TAPE", "BRX_SCSI"}) unsetenv((variable + unit).c_str());
    return code;
}

void device_names(const std::string& text)
{
    static char scratch[transfer_buffer_size];
    std::string lowered = text;
    device_name_t device;
    const bool recognised = recognise_device_name(lowered.data(), scratch, sizeof scratch, device);
    std::string unit;
    if (recognised) {
        std::string path = device.path;
        device_name_t again;
        FUZZ_CHECK(recognise_device_name(path.data(), scratch, sizeof scratch, again));
        FUZZ_CHECK(again.number == device.number && strcmp(again.path, device.path) == 0);
        const bool tape = device.path[4] == 'T';
        FUZZ_CHECK((platform_open(device.path, unit) == NO_ERROR) == (device.number >= 0));
        if (device.number >= 0)
            FUZZ_CHECK(reached == std::string("fuzz:") + (tape ? "BRX_TAPE" : "BRX_SCSI") + std::to_string(device.number));
    }
    if (!posix::is_device_name(text.c_str()) || platform_open(text, unit) != NO_ERROR)
        return;
    // The platform's exact form is one of copy's looser ones.
    FUZZ_CHECK(recognised && std::to_string(device.number) == unit);
}

void iscsi_url(const std::string& text)
{
    posix::iscsi_address_t address;
    if (posix::parse_iscsi_url(text.c_str(), address) != NO_ERROR)
        return;
    const std::string canonical = "iscsi://" + address.portal + "/" + address.target + "/" + std::to_string(address.lun);
    posix::iscsi_address_t again;
    FUZZ_CHECK(posix::parse_iscsi_url(canonical.c_str(), again) == NO_ERROR);
    FUZZ_CHECK(again.portal == address.portal && again.target == address.target && again.lun == address.lun);
}

std::string canonical(const vtape_options_t& o)
{
    std::string text = o.medium_path + "?minblock=" + std::to_string(o.min_block) + "&maxblock=" +
                       std::to_string(o.max_block) + "&bufmode=" + std::to_string(o.buffered_mode) + "&speed=" +
                       std::to_string(o.speed) + "&capacity=" + std::to_string(o.capacity) + "&ew=" +
                       std::to_string(o.early_warning) + "&attention=" + std::to_string(o.attention) +
                       "&devconfig8=" + std::to_string(o.devconfig8) + "&changeable8=" + std::to_string(o.changeable8);
    for (const vtape_bad_block_t& bad : o.bad_blocks)
        text += "&bad=" + std::to_string(bad.index) + (bad.always ? "" : ":" + std::to_string(bad.failures));
    text += std::string(o.not_ready ? "&notready" : "") + (o.write_protected ? "&protect" : "");
    return text + (o.trace_path.empty() ? "" : "&trace=" + o.trace_path);
}

void vtape_options(const std::string& text)
{
    vtape_options_t options;
    std::string why;
    if (parse_vtape_name(text.c_str(), options, &why) != NO_ERROR) {
        FUZZ_CHECK(!why.empty());
        return;
    }
    FUZZ_CHECK(!options.medium_path.empty() && options.medium_path.find('?') == std::string::npos);
    FUZZ_CHECK(options.min_block <= options.max_block && options.early_warning <= options.capacity);
    vtape_options_t again;
    FUZZ_CHECK(parse_vtape_name(canonical(options).c_str(), again, nullptr) == NO_ERROR);
    FUZZ_CHECK(canonical(again) == canonical(options));
}

// A "/log=" names a file in the scratch directory: its name loses every slash and goes there.
// Only the first is kept, since each one opens a log that the front end keeps for the whole run.
std::vector<std::string> switches_of(const std::string& text)
{
    std::vector<std::string> arguments;
    bool log_seen = false;
    for (size_t start = 0; start <= text.size() && arguments.size() < 8;) {
        size_t end = std::min(text.find('\0', start), text.size());
        std::string argument = text.substr(start, end - start);
        start = end + 1;
        if (strncasecmp(argument.c_str(), "/log=", 5) != 0) {
            arguments.push_back(argument);
            continue;
        }
        if (log_seen)
            continue;
        log_seen = true;
        std::string name = argument.substr(5);
        name.erase(std::remove(name.begin(), name.end(), '/'), name.end());
        arguments.push_back(argument.substr(0, 5) + scratch_file(name.substr(0, 64).c_str()));
    }
    return arguments;
}

void brx_switches(const std::string& text)
{
    std::vector<std::string> arguments = switches_of(text);
    std::vector<char*> argv = {const_cast<char*>("brx"), const_cast<char*>("in"), const_cast<char*>("out")};
    for (std::string& argument : arguments) argv.push_back(argument.data());
    const int descriptors = open_descriptors();
    front_end_state_t state;
    const bool accepted = parse_options(static_cast<int>(argv.size()), argv.data(), state);
    FUZZ_CHECK(state.bad_block_reads >= 0);
    for (size_t i = 3; accepted && i < argv.size(); ++i)
        for (const char* c = argv[i]; *c != '\0'; ++c) FUZZ_CHECK(!isupper(static_cast<unsigned char>(*c)));
    if (state.log_stream != nullptr)
        fclose(state.log_stream);
    for (const auto& entry : std::filesystem::directory_iterator(scratch_file("")))
        std::filesystem::remove(entry.path());
    FUZZ_CHECK(open_descriptors() == descriptors);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    posix::register_device_scheme("fuzz:", open_fuzz_scheme);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);  // the parser is chosen by the last byte
    const uint8_t parser = input.ConsumeIntegralInRange<uint8_t>(0, 3);
    const std::string text = input.ConsumeRemainingBytesAsString();
    const std::string c_text = text.substr(0, std::min(text.find('\0'), text.size()));
    switch (parser) {
    case 0: device_names(c_text.substr(0, 64)); break;
    case 1: iscsi_url(c_text); break;
    case 2: vtape_options(c_text); break;
    default: brx_switches(text); break;
    }
    return 0;
}
