#include "copy/device_name.h"

#include <cctype>

#include "copy/copy_context.h"

namespace {

struct device_form_t {
    const char* prefix;
    const char* scan_format;  // one number for a tape, three for a SCSI adapter
    const char* path_format;
};

// Compared in this order; the first whose prefix the name begins with decides.
const device_form_t device_forms[] = {
    {"tape", "tape%d", "\\\\.\\Tape%d"},
    {"\\\\.\\tape", "\\\\.\\tape%d", "\\\\.\\Tape%d"},
    {"scsi", "scsi%d:%d:%d", "\\\\.\\Scsi%d:"},
    {"\\\\.\\scsi", "\\\\.\\scsi%d:%d:%d", "\\\\.\\Scsi%d:"},
};

void lower_case(char* name)
{
    for (char* c = name; *c != '\0'; ++c)
        if (isalpha(static_cast<unsigned char>(*c)))
            *c = static_cast<char>(tolower(static_cast<unsigned char>(*c)));
}

const device_form_t* find_form(const char* name)
{
    for (const device_form_t& form : device_forms)
        if (strncmp(name, form.prefix, strlen(form.prefix)) == 0)
            return &form;
    return nullptr;
}

void report_wrong_name(const char* name, device_caller_t caller)
{
    if (caller == device_caller_t::restore) {
        copy_context.report("BRX:%d: %s: wrong device name\n", 714, name);
        return;
    }
    fprintf(stderr, "%s: wrong device name\n", name);
    if (copy_context.log_stream != nullptr)
        fprintf(copy_context.log_stream, "%s: wrong device name\n", name);
}

void report_open_failure(const char* path, device_caller_t caller)
{
    const DWORD code = GetLastError();
    if (caller == device_caller_t::restore) {
        copy_context.report("BRX:%d: %s: failed to open tape device\n", 729, path);
        return;
    }
    fprintf(stderr, "Failed to open tape device '%s': %s\n", path, copy_context.system_error_text(code));
    if (copy_context.log_stream != nullptr)
        fprintf(copy_context.log_stream, "Failed to open tape device '%s': %s\n", path,
                copy_context.system_error_text(code));
}

}  // namespace

bool recognise_device_name(char* name, char* scratch, size_t scratch_size, device_name_t& device)
{
    lower_case(name);
    device.number = device.bus = device.target = 0;
    const device_form_t* form = find_form(name);
    if (form == nullptr)
        return false;
    // Missing or unreadable numbers stay 0, so the conversion count does not matter.
    (void)sscanf(name, form->scan_format, &device.number, &device.bus, &device.target);
    snprintf(scratch, scratch_size, form->path_format, device.number);
    snprintf(device.path, sizeof device.path, "%s", scratch);
    return true;
}

HANDLE open_device_name(char* name, device_caller_t caller, device_name_t& device)
{
    if (!recognise_device_name(name, reinterpret_cast<char*>(copy_context.buffer), transfer_buffer_size, device)) {
        report_wrong_name(name, caller);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = CreateFileA(device.path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_WRITE_THROUGH | FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL,
                                      nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        report_open_failure(device.path, caller);
    return handle;
}
