// FormatMessageA: the system's texts byte for byte, nothing for unknown codes, safe truncation.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace {

std::string system_text(DWORD code, DWORD* length = nullptr)
{
    char buffer[256];
    std::memset(buffer, '#', sizeof buffer);
    DWORD result = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, buffer, sizeof buffer, nullptr);
    if (length != nullptr) *length = result;
    return buffer;
}

TEST(format_message, gives_the_system_texts_with_a_line_break)
{
    const struct {
        DWORD code;
        const char* text;
    } cases[] = {
        {0, "The operation completed successfully.\n"},
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\n"},
        {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified.\n"},
        {ERROR_ACCESS_DENIED, "Access is denied.\n"},
        {ERROR_INVALID_HANDLE, "The handle is invalid.\n"},
        {ERROR_NOT_READY, "The device is not ready.\n"},
        {ERROR_GEN_FAILURE, "A device attached to the system is not functioning.\n"},
        {ERROR_SHARING_VIOLATION, "The process cannot access the file because it is being used by another process.\n"},
        {ERROR_HANDLE_DISK_FULL, "The disk is full.\n"},
        {ERROR_NOT_SUPPORTED, "The request is not supported.\n"},
        {ERROR_INVALID_PARAMETER, "The parameter is incorrect.\n"},
        {ERROR_DISK_FULL, "There is not enough space on the disk.\n"},
        {ERROR_SEM_TIMEOUT, "The semaphore timeout period has expired.\n"},
        {ERROR_MORE_DATA, "More data is available.\n"},
        {ERROR_END_OF_MEDIA, "The physical end of the tape has been reached.\n"},
        {ERROR_FILEMARK_DETECTED, "A tape access reached a filemark.\n"},
        {ERROR_BEGINNING_OF_MEDIA, "The beginning of the tape or a partition was encountered.\n"},
        {ERROR_NO_DATA_DETECTED, "No more data is on the tape.\n"},
        {ERROR_IO_DEVICE, "The request could not be performed because of an I/O device error.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        DWORD length = 0;
        SetLastError(0x5A5A);
        EXPECT_EQ(system_text(c.code, &length), c.text);
        EXPECT_EQ(length, std::strlen(c.text));
        EXPECT_EQ(GetLastError(), 0x5A5Au);
    }
}

TEST(format_message, every_code_of_the_set_has_one_line_of_text)
{
    const DWORD codes[] = {0,    1,    2,    3,    4,    5,    6,    8,    14,   19,   21,   23,   25,
                           29,   30,   31,   32,   38,   39,   50,   55,   80,   87,   112,  121,  122,
                           123,  131,  170,  183,  206,  234,  1100, 1101, 1102, 1103, 1104, 1105, 1106,
                           1107, 1108, 1109, 1110, 1111, 1112, 1117, 1129, 1167, 1168, 1460};
    for (DWORD code : codes) {
        SCOPED_TRACE(code);
        DWORD length = 0;
        std::string text = system_text(code, &length);
        ASSERT_GT(text.size(), 2u);
        EXPECT_EQ(length, text.size());
        EXPECT_EQ(text.find('\n'), text.size() - 1);  // one line, "\n" alone, no "\r"
        EXPECT_EQ(text.find('\r'), std::string::npos);
        EXPECT_EQ(text[text.size() - 2], '.');
    }
}

TEST(format_message, unknown_code_gives_an_empty_text)
{
    for (DWORD code : {7u, 999u, 0xDEADBEEFu}) {
        DWORD length = 1;
        SetLastError(NO_ERROR);
        EXPECT_EQ(system_text(code, &length), "");
        EXPECT_EQ(length, 0u);
        EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);
    }
}

TEST(format_message, a_small_buffer_gets_a_cut_terminated_text_and_nothing_beyond)
{
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND, 0, buffer, 10, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::string(buffer), "The syste");
    EXPECT_EQ(std::string(buffer + 10, 6), "######");

    // Exactly the text and its terminating zero fit.
    const std::string denied = "Access is denied.\n";
    std::memset(buffer, '#', sizeof buffer);
    char exact[19];
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0, exact, sizeof exact,
                             nullptr),
              denied.size());
    EXPECT_EQ(std::string(exact), denied);

    buffer[0] = '#';
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0, buffer, 0, nullptr), 0u);
    EXPECT_EQ(buffer[0], '#');
}

TEST(format_message, only_the_system_source_is_served)
{
    char buffer[64] = "#";
    EXPECT_EQ(FormatMessageA(0, nullptr, ERROR_ACCESS_DENIED, 0, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED,
                             0, buffer, sizeof buffer, nullptr),
              18u);
}

}  // namespace
