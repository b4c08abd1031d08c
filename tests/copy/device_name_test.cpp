// Device names: the four forms in their order, sscanf's reading of the numbers, the paths built,
// and what dump and restore say when a name is wrong or its device does not open.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "copy/copy_context.h"
#include "copy/device_name.h"

namespace {

std::string reported;
std::vector<DWORD> looked_up;

void capture_report(const char* format, ...)
{
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    reported += text;
}

const char* fake_error_text(DWORD code)
{
    static char text[64];
    looked_up.push_back(code);
    snprintf(text, sizeof text, "system text %u\n", static_cast<unsigned>(code));
    return text;
}

}  // namespace

TEST(device_name, recognises_the_four_forms_in_order)
{
    // path nullptr: a wrong name
    const struct { const char *name, *lowered, *path; int number, bus, target; } cases[] = {
        {"\\\\.\\TAPE0", "\\\\.\\tape0", "\\\\.\\Tape0", 0, 0, 0},
        {"\\\\.\\tape", "\\\\.\\tape", "\\\\.\\Tape0", 0, 0, 0},
        {"\\\\.\\tape1junk", "\\\\.\\tape1junk", "\\\\.\\Tape1", 1, 0, 0},
        {"\\\\.\\SCSI10:1:7", "\\\\.\\scsi10:1:7", "\\\\.\\Scsi10:", 10, 1, 7},
        {"\\\\.\\scsi3:x:5", "\\\\.\\scsi3:x:5", "\\\\.\\Scsi3:", 3, 0, 0},
        {"TAPE7", "tape7", "\\\\.\\Tape7", 7, 0, 0},
        {"\\\\.\\CDROM0", "\\\\.\\cdrom0", nullptr, 0, 0, 0},
        {"\\\\?\\tape0", "\\\\?\\tape0", nullptr, 0, 0, 0},
    };
    for (const auto& c : cases) {
        std::string name = c.name;
        char scratch[64];
        device_name_t device;
        device.number = device.bus = device.target = 9;  // numbers the name lacks become 0
        const bool recognised = recognise_device_name(name.data(), scratch, sizeof scratch, device);
        EXPECT_EQ(name, c.lowered) << c.name;
        ASSERT_EQ(recognised, c.path != nullptr) << c.name;
        if (!recognised)
            continue;
        memset(scratch, 'x', sizeof scratch);  // the path is a copy of its own
        EXPECT_STREQ(device.path, c.path) << c.name;
        EXPECT_EQ(std::vector<int>({device.number, device.bus, device.target}), std::vector<int>({c.number, c.bus, c.target}))
            << c.name;
    }
}

TEST(device_name, failures_as_dump_and_restore_word_them)
{
    // console: also the log's contents
    const struct { const char* name; device_caller_t caller; std::string console, report; } cases[] = {
        {"\\\\.\\CDROM0", device_caller_t::dump, "\\\\.\\cdrom0: wrong device name\n", ""},
        {"\\\\.\\CDROM0", device_caller_t::restore, "", "BRX:714: \\\\.\\cdrom0: wrong device name\n"},
        // Each of the two writes looks the system's text up itself; the message ends in an empty line.
        {"\\\\.\\TAPE97", device_caller_t::dump, "Failed to open tape device '\\\\.\\Tape97': system text ", ""},
        {"\\\\.\\SCSI97:0:1", device_caller_t::restore, "", "BRX:729: \\\\.\\Scsi97:: failed to open tape device\n"},
    };
    const copy_context_t saved = copy_context;
    std::vector<uint8_t> buffer(transfer_buffer_size);
    copy_context.buffer = buffer.data();
    copy_context.report = capture_report;
    copy_context.system_error_text = fake_error_text;
    for (const auto& c : cases) {
        copy_context.log_stream = tmpfile();
        reported.clear();
        looked_up.clear();
        std::string name = c.name;
        device_name_t device;
        testing::internal::CaptureStderr();
        EXPECT_EQ(open_device_name(name.data(), c.caller, device), INVALID_HANDLE_VALUE) << c.name;
        std::string console = testing::internal::GetCapturedStderr(), logged(4096, '\0');
        rewind(copy_context.log_stream);
        logged.resize(fread(logged.data(), 1, logged.size(), copy_context.log_stream));
        fclose(copy_context.log_stream);
        std::erase(console, '\r');
        std::erase(logged, '\r');
        std::string expected = c.console;
        if (!looked_up.empty()) {
            ASSERT_EQ(looked_up, std::vector<DWORD>(2, looked_up[0])) << c.name;
            expected += std::to_string(looked_up[0]) + "\n\n";
        }
        EXPECT_EQ(console, expected) << c.name;
        EXPECT_EQ(logged, expected) << c.name;
        EXPECT_EQ(reported, c.report) << c.name;
    }
    copy_context = saved;
}
