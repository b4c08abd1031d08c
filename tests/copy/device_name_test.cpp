// Device names: the four forms in their order, sscanf's reading of the numbers, the paths built,
// and what dump and restore say when a name is wrong or its device does not open.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "copy/copy_context.h"
#include "copy/device_name.h"

namespace {

std::string captured_report;

void capture_report(const char* format, ...)
{
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    captured_report += text;
}

std::vector<DWORD> looked_up_codes;
char fake_text[64];

const char* fake_error_text(DWORD code)
{
    looked_up_codes.push_back(code);
    snprintf(fake_text, sizeof fake_text, "system text %u\n", static_cast<unsigned>(code));
    return fake_text;
}

std::string without_carriage_returns(std::string text)
{
#ifdef _WIN32
    std::erase(text, '\r');  // text-mode streams turn "\n" into "\r\n" there
#endif
    return text;
}

std::string read_stream(FILE* stream)
{
    std::string contents;
    rewind(stream);
    for (int c = fgetc(stream); c != EOF; c = fgetc(stream))
        contents += static_cast<char>(c);
    return without_carriage_returns(contents);
}

// Gives open_device_name a transfer buffer, a log and the fake message services.
class device_name_open : public testing::Test {
protected:
    void SetUp() override
    {
        saved = copy_context;
        copy_context.buffer = buffer.data();
        copy_context.log_stream = log = tmpfile();
        ASSERT_NE(log, nullptr);
        copy_context.report = capture_report;
        copy_context.system_error_text = fake_error_text;
        captured_report.clear();
        looked_up_codes.clear();
    }
    void TearDown() override
    {
        fclose(log);
        copy_context = saved;
    }

    std::vector<uint8_t> buffer = std::vector<uint8_t>(transfer_buffer_size);
    FILE* log = nullptr;
    copy_context_t saved;
};

}  // namespace

TEST(device_name, recognises_the_four_forms_in_order)
{
    const struct {
        const char* name;
        const char* lowered;
        const char* path;  // nullptr: a wrong name
        int number, bus, target;
    } cases[] = {
        {"\\\\.\\TAPE0", "\\\\.\\tape0", "\\\\.\\Tape0", 0, 0, 0},
        {"\\\\.\\tape", "\\\\.\\tape", "\\\\.\\Tape0", 0, 0, 0},
        {"\\\\.\\tape1junk", "\\\\.\\tape1junk", "\\\\.\\Tape1", 1, 0, 0},
        {"\\\\.\\tapex", "\\\\.\\tapex", "\\\\.\\Tape0", 0, 0, 0},
        {"\\\\.\\Tape+4", "\\\\.\\tape+4", "\\\\.\\Tape4", 4, 0, 0},
        {"\\\\.\\tape-2", "\\\\.\\tape-2", "\\\\.\\Tape-2", -2, 0, 0},
        {"\\\\.\\tape 12", "\\\\.\\tape 12", "\\\\.\\Tape12", 12, 0, 0},  // %d skips blanks
        {"\\\\.\\scsi2:0:5", "\\\\.\\scsi2:0:5", "\\\\.\\Scsi2:", 2, 0, 5},
        {"\\\\.\\SCSI10:1:7", "\\\\.\\scsi10:1:7", "\\\\.\\Scsi10:", 10, 1, 7},
        {"\\\\.\\scsi2", "\\\\.\\scsi2", "\\\\.\\Scsi2:", 2, 0, 0},
        {"\\\\.\\scsi3:1", "\\\\.\\scsi3:1", "\\\\.\\Scsi3:", 3, 1, 0},
        {"\\\\.\\scsi3:x:5", "\\\\.\\scsi3:x:5", "\\\\.\\Scsi3:", 3, 0, 0},
        {"\\\\.\\scsi1:2:3tail", "\\\\.\\scsi1:2:3tail", "\\\\.\\Scsi1:", 1, 2, 3},
        {"tape3", "tape3", "\\\\.\\Tape3", 3, 0, 0},
        {"TAPE7", "tape7", "\\\\.\\Tape7", 7, 0, 0},
        {"scsi1:2:3", "scsi1:2:3", "\\\\.\\Scsi1:", 1, 2, 3},
        {"\\\\.\\TAPE2\xC4", "\\\\.\\tape2\xC4", "\\\\.\\Tape2", 2, 0, 0},
        {"\\\\.\\CDROM0", "\\\\.\\cdrom0", nullptr, 0, 0, 0},
        {"\\\\.\\tap", "\\\\.\\tap", nullptr, 0, 0, 0},
        {"\\\\?\\tape0", "\\\\?\\tape0", nullptr, 0, 0, 0},
        {"\\\\.tape0", "\\\\.tape0", nullptr, 0, 0, 0},
        {"/dev/nst0", "/dev/nst0", nullptr, 0, 0, 0},
        {"", "", nullptr, 0, 0, 0},
    };
    for (const auto& c : cases) {
        std::string name = c.name;
        char scratch[64];
        device_name_t device;
        device.number = device.bus = device.target = 9;  // numbers the name lacks become 0
        const bool recognised = recognise_device_name(name.data(), scratch, sizeof scratch, device);
        EXPECT_EQ(name, c.lowered) << c.name;
        EXPECT_EQ(recognised, c.path != nullptr) << c.name;
        if (!recognised || c.path == nullptr)
            continue;
        memset(scratch, 'x', sizeof scratch);  // the path is a copy of its own
        EXPECT_STREQ(device.path, c.path) << c.name;
        EXPECT_EQ(device.number, c.number) << c.name;
        EXPECT_EQ(device.bus, c.bus) << c.name;
        EXPECT_EQ(device.target, c.target) << c.name;
    }
}

TEST(device_name, longest_paths_fit)
{
    const char* names[] = {"\\\\.\\tape-2147483648", "\\\\.\\scsi-2147483648:1:1"};
    const char* paths[] = {"\\\\.\\Tape-2147483648", "\\\\.\\Scsi-2147483648:"};
    for (int i = 0; i < 2; ++i) {
        std::string name = names[i];
        char scratch[64];
        device_name_t device;
        ASSERT_TRUE(recognise_device_name(name.data(), scratch, sizeof scratch, device));
        EXPECT_STREQ(device.path, paths[i]);
    }
}

TEST_F(device_name_open, wrong_name_in_dump_goes_to_console_then_log)
{
    char name[] = "\\\\.\\CDROM0";
    device_name_t device;
    testing::internal::CaptureStderr();
    EXPECT_EQ(open_device_name(name, device_caller_t::dump, device), INVALID_HANDLE_VALUE);
    EXPECT_EQ(without_carriage_returns(testing::internal::GetCapturedStderr()), "\\\\.\\cdrom0: wrong device name\n");
    EXPECT_EQ(read_stream(log), "\\\\.\\cdrom0: wrong device name\n");
    EXPECT_STREQ(name, "\\\\.\\cdrom0");
    EXPECT_EQ(captured_report, "");
}

TEST_F(device_name_open, wrong_name_without_a_log_goes_to_the_console_only)
{
    copy_context.log_stream = nullptr;
    char name[] = "\\\\.\\Cdrom1";
    device_name_t device;
    testing::internal::CaptureStderr();
    EXPECT_EQ(open_device_name(name, device_caller_t::dump, device), INVALID_HANDLE_VALUE);
    EXPECT_EQ(without_carriage_returns(testing::internal::GetCapturedStderr()), "\\\\.\\cdrom1: wrong device name\n");
    EXPECT_EQ(read_stream(log), "");
}

TEST_F(device_name_open, wrong_name_in_restore_is_reported_as_714)
{
    char name[] = "\\\\.\\CDROM0";
    device_name_t device;
    testing::internal::CaptureStderr();
    EXPECT_EQ(open_device_name(name, device_caller_t::restore, device), INVALID_HANDLE_VALUE);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(captured_report, "BRX:714: \\\\.\\cdrom0: wrong device name\n");
}

TEST_F(device_name_open, device_that_does_not_open)
{
    {
        char name[] = "\\\\.\\TAPE97";
        device_name_t device;
        testing::internal::CaptureStderr();
        EXPECT_EQ(open_device_name(name, device_caller_t::dump, device), INVALID_HANDLE_VALUE);
        const std::string console = without_carriage_returns(testing::internal::GetCapturedStderr());
        ASSERT_EQ(looked_up_codes.size(), 2u);  // once for each of the two writes
        EXPECT_NE(looked_up_codes[0], 0u);
        EXPECT_EQ(looked_up_codes[1], looked_up_codes[0]);
        const std::string expected = "Failed to open tape device '\\\\.\\Tape97': system text " +
                                     std::to_string(looked_up_codes[0]) + "\n\n";
        EXPECT_EQ(console, expected);
        EXPECT_EQ(read_stream(log), expected);
        EXPECT_EQ(captured_report, "");
    }
    {
        char name[] = "\\\\.\\SCSI97:0:1";
        device_name_t device;
        testing::internal::CaptureStderr();
        EXPECT_EQ(open_device_name(name, device_caller_t::restore, device), INVALID_HANDLE_VALUE);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(captured_report, "BRX:729: \\\\.\\Scsi97:: failed to open tape device\n");
        EXPECT_EQ(device.bus, 0);
        EXPECT_EQ(device.target, 1);
    }
}
