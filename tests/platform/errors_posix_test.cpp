// The errno-to-Windows mapping, FormatMessageA's texts, fopen's error code and VirtualAlloc.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/errors.h"
#include "tests/support/e2e.h"

namespace {

constexpr DWORD untouched = 0x5A5A;

// The bytes FormatMessageA wrote for code into a buffer of size bytes; length gets its result.
std::string system_text(DWORD code, DWORD& length, DWORD size = 200)
{
    char buffer[256];
    std::memset(buffer, '#', sizeof buffer);
    length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, buffer, size, nullptr);
    return std::string(buffer, std::find(buffer, buffer + sizeof buffer, '#'));
}

TEST(errors, errno_values_texts_and_failed_fopens_give_what_windows_says_in_the_same_situation)
{
    const struct { int error; DWORD code; } cases[] = {
        {ENOTDIR, ERROR_PATH_NOT_FOUND}, {EROFS, ERROR_ACCESS_DENIED}, {EWOULDBLOCK, ERROR_SHARING_VIOLATION},
        {ENOSPC, ERROR_DISK_FULL}, {ETIMEDOUT, ERROR_SEM_TIMEOUT}, {ENOMEDIUM, ERROR_NO_MEDIA_IN_DRIVE},
        {ENOTTY, ERROR_INVALID_FUNCTION}, {EXDEV, ERROR_GEN_FAILURE},
    };
    for (const auto& c : cases) EXPECT_EQ(posix::error_from_errno(c.error), c.code) << c.error;
    DWORD length = 0;
    for (int error = 1; error < 134; ++error) {  // whatever a call fails with has a one-line text to print
        const std::string text = system_text(posix::error_from_errno(error), length);
        EXPECT_EQ(text.substr(text.size() < 3 ? 0 : text.size() - 3), std::string(".\n", 3)) << error;
    }
    scratch_directory_t dir;  // dump and restore print the system's text for a file they cannot open
    const struct { std::string name; const char* mode; DWORD code; } opens[] = {
        {dir.file("missing.dmp"), "rb", ERROR_FILE_NOT_FOUND}, {dir.path(), "wb", ERROR_ACCESS_DENIED}};
    for (const auto& c : opens) {
        SetLastError(NO_ERROR);
        EXPECT_EQ(fopen(c.name.c_str(), c.mode), nullptr) << c.name;
        EXPECT_EQ(GetLastError(), c.code) << c.name;
    }
    // FormatMessageA: exact texts, nothing for unknown codes, a cut text as a failure.
    const std::string zero(1, '\0');
    const struct { DWORD code, size; std::string written; DWORD length, error; } texts[] = {
        {ERROR_SHARING_VIOLATION, 200,
         "The process cannot access the file because it is being used by another process.\n" + zero, 80, untouched},
        {ERROR_ACCESS_DENIED, 19, "Access is denied.\n" + zero, 18, untouched},
        {7, 200, zero, 0, ERROR_MR_MID_NOT_FOUND},
        {ERROR_FILE_NOT_FOUND, 10, "The syste" + zero, 0, ERROR_INSUFFICIENT_BUFFER},
    };
    for (const auto& c : texts) {
        SCOPED_TRACE(testing::Message() << c.code << " in " << c.size);
        length = 1;
        SetLastError(untouched);
        EXPECT_EQ(system_text(c.code, length, c.size), c.written);
        EXPECT_EQ(length, c.length);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

TEST(memory, allocation_is_page_aligned_zeroed_and_freed_once)
{
    const SIZE_T size = 65536 + 1;
    auto* block = static_cast<uint8_t*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % sysconf(_SC_PAGESIZE), 0u);
    EXPECT_EQ(std::string(block, block + size), std::string(size, '\0'));
    EXPECT_FALSE(VirtualFree(block, size, MEM_RELEASE));  // a release names no size
    EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
    EXPECT_FALSE(VirtualFree(block, 0, MEM_RELEASE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);
    EXPECT_EQ(VirtualAlloc(nullptr, 0, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VirtualAlloc(nullptr, SIZE_T{1} << 62, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
}

}  // namespace
