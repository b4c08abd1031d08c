// VirtualAlloc/VirtualFree and the two C runtime extensions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "tests/platform/temp_dir_posix.h"

namespace {

TEST(memory, allocation_is_page_aligned_zeroed_and_freed_once)
{
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    for (SIZE_T size : {SIZE_T{1}, SIZE_T{65536}, SIZE_T{65536 + 1}, SIZE_T{3} << 20}) {
        SCOPED_TRACE(size);
        auto* block = static_cast<uint8_t*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % page, 0u);
        size_t nonzero = 0;
        for (SIZE_T i = 0; i < size; ++i) nonzero += block[i] != 0;
        EXPECT_EQ(nonzero, 0u);
        block[0] = 1;
        block[size - 1] = 2;
        EXPECT_FALSE(VirtualFree(block, size, MEM_RELEASE));  // a release names no size
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
        EXPECT_FALSE(VirtualFree(block, 0, MEM_RELEASE));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);
    }
}

TEST(memory, refused_requests_say_why)
{
    const struct {
        SIZE_T size;
        DWORD type;
        DWORD protect;
        DWORD error;
    } cases[] = {
        {0, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE, ERROR_INVALID_PARAMETER},
        {4096, MEM_RESERVE, PAGE_READWRITE, ERROR_INVALID_PARAMETER},
        {4096, MEM_COMMIT, 0x02, ERROR_INVALID_PARAMETER},
        {SIZE_T{1} << 62, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE, ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(VirtualAlloc(nullptr, c.size, c.type, c.protect), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    int local = 0;
    EXPECT_FALSE(VirtualFree(&local, 0, MEM_RELEASE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);
}

TEST(runtime, strlwr_lowers_letters_in_place_and_nothing_else)
{
    char name[] = "\\\\.\\TAPE0:Scsi1:2:3 \xC4X";
    EXPECT_EQ(_strlwr(name), name);
    EXPECT_EQ(std::string(name), "\\\\.\\tape0:scsi1:2:3 \xC4x");
    char empty[] = "";
    EXPECT_EQ(_strlwr(empty), empty);
}

TEST(runtime, ftelli64_reports_positions_beyond_4_gib)
{
    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(_ftelli64(stream), 0);
    std::fputs("abc", stream);
    EXPECT_EQ(_ftelli64(stream), 3);
    const int64_t far = (int64_t{5} << 30) + 7;
    ASSERT_EQ(fseeko(stream, far, SEEK_SET), 0);
    EXPECT_EQ(_ftelli64(stream), far);
    std::fclose(stream);
}

// Dump and restore print the system's text for a file they cannot open: fopen must leave the code.
TEST(runtime, fopen_failure_leaves_the_windows_error_code)
{
    temp_dir_t dir;
    const std::string missing_dir = dir.file("no-such-dir") + "/x.dmp";
    const std::string existing = dir.write("there.dmp", "");
    const struct {
        std::string name;
        const char* mode;
        DWORD code;
    } cases[] = {
        {dir.file("missing.dmp"), "rb", ERROR_FILE_NOT_FOUND},
        {missing_dir, "wb", ERROR_PATH_NOT_FOUND},
        {dir.path, "wb", ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(NO_ERROR);
        EXPECT_EQ(fopen(c.name.c_str(), c.mode), nullptr);
        EXPECT_EQ(GetLastError(), c.code);
    }
    SetLastError(ERROR_GEN_FAILURE);
    FILE* stream = fopen(existing.c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    std::fclose(stream);
}

}  // namespace
