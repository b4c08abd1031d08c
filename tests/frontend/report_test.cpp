// report: one formatting, the same bytes to the console and the log, whole at any length;
// system_error_text: the one process-wide buffer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "copy/copy_context.h"
#include "copy/device_name.h"
#include "frontend/front_end_state.h"
#include "frontend/report.h"
#include "frontend/system_error_text.h"

namespace {

std::string strip(std::string text)
{
#ifdef _WIN32
    std::erase(text, '\r');
#endif
    return text;
}

std::string read_stream(FILE* stream)
{
    std::string contents;
    rewind(stream);
    for (int c = fgetc(stream); c != EOF; c = fgetc(stream))
        contents += static_cast<char>(c);
    return strip(contents);
}

class report_to_log : public testing::Test {
protected:
    void SetUp() override
    {
        log = tmpfile();
        ASSERT_NE(log, nullptr);
        front_end.log_stream = log;
    }
    void TearDown() override
    {
        front_end.log_stream = nullptr;
        fclose(log);
    }
    FILE* log = nullptr;
};

}  // namespace

TEST_F(report_to_log, messages_of_every_length_arrive_whole_in_both_places)
{
    // 259 characters fit the usual buffer with its terminating zero; longer ones are formatted again.
    for (size_t length : {1u, 20u, 258u, 259u, 260u, 261u, 1000u, 70000u}) {
        const std::string name(length - 1, 'n');
        FILE* fresh_log = tmpfile();
        ASSERT_NE(fresh_log, nullptr);
        front_end.log_stream = fresh_log;
        testing::internal::CaptureStderr();
        report("%s\n", name.c_str());
        const std::string console = strip(testing::internal::GetCapturedStderr());
        EXPECT_EQ(console, name + "\n") << length;
        EXPECT_EQ(read_stream(fresh_log), name + "\n") << length;
        fclose(fresh_log);
    }
}

TEST_F(report_to_log, numbered_message_with_a_very_long_device_name)
{
    std::string name = "\\\\.\\" + std::string(400, 'x');
    const std::string expected = "BRX:714: " + name + ": wrong device name\n";
    ASSERT_GT(expected.size(), 259u);
    testing::internal::CaptureStderr();
    report("BRX:%d: %s: wrong device name\n", 714, name.c_str());
    EXPECT_EQ(strip(testing::internal::GetCapturedStderr()), expected);
    EXPECT_EQ(read_stream(log), expected);
}

TEST_F(report_to_log, restore_path_with_a_very_long_wrong_device_name)
{
    const copy_context_t saved = copy_context;
    std::vector<uint8_t> buffer(transfer_buffer_size);
    copy_context.buffer = buffer.data();
    copy_context.report = report;
    copy_context.system_error_text = system_error_text;
    copy_context.log_stream = log;
    std::string name = "\\\\.\\CDROM" + std::string(500, 'Q');
    device_name_t device;
    testing::internal::CaptureStderr();
    EXPECT_EQ(open_device_name(name.data(), device_caller_t::restore, device), INVALID_HANDLE_VALUE);
    const std::string expected = "BRX:714: \\\\.\\cdrom" + std::string(500, 'q') + ": wrong device name\n";
    EXPECT_EQ(strip(testing::internal::GetCapturedStderr()), expected);
    EXPECT_EQ(read_stream(log), expected);
    copy_context = saved;
}

TEST(report, without_a_log_goes_to_the_console_only)
{
    front_end.log_stream = nullptr;
    testing::internal::CaptureStderr();
    report("BRX:%d: %s: unexpected end-of-file\n", 1104, "in.dmp");
    EXPECT_EQ(strip(testing::internal::GetCapturedStderr()), "BRX:1104: in.dmp: unexpected end-of-file\n");
}

TEST(system_error_text, always_the_same_buffer_and_never_a_stale_text)
{
    const char* first = system_error_text(ERROR_FILE_NOT_FOUND);
    const std::string file_not_found = first;
    EXPECT_FALSE(file_not_found.empty());
    EXPECT_EQ(file_not_found.back(), '\n');  // the system's own line break
    const char* second = system_error_text(ERROR_ACCESS_DENIED);
    EXPECT_EQ(first, second);
    EXPECT_NE(std::string(second), file_not_found);
    // A code the system has no text for gives an empty text, not the last one.
    EXPECT_STREQ(system_error_text(0x2BADC0DEu), "");
}
