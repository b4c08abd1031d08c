// VirtualAlloc/VirtualFree and the C runtime pieces: _strlwr, _ftelli64, fopen's error code.
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
    for (SIZE_T size : {SIZE_T{1}, SIZE_T{65536 + 1}}) {
        auto* block = static_cast<uint8_t*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % sysconf(_SC_PAGESIZE), 0u);
        EXPECT_EQ(std::string(block, block + size), std::string(size, '\0'));
        block[size - 1] = 2;
        EXPECT_FALSE(VirtualFree(block, size, MEM_RELEASE));  // a release names no size
        EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
        EXPECT_FALSE(VirtualFree(block, 0, MEM_RELEASE));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);
    }
    const struct { SIZE_T size; DWORD type, protect, error; } refused[] = {
        {0, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE, ERROR_INVALID_PARAMETER},
        {4096, MEM_RESERVE, PAGE_READWRITE, ERROR_INVALID_PARAMETER},
        {4096, MEM_COMMIT, 0x02, ERROR_INVALID_PARAMETER},
        {SIZE_T{1} << 62, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE, ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const auto& c : refused) {
        EXPECT_EQ(VirtualAlloc(nullptr, c.size, c.type, c.protect), nullptr) << c.size;
        EXPECT_EQ(GetLastError(), c.error) << c.size;
    }
}

TEST(runtime, strlwr_lowers_ascii_letters_in_place_and_ftelli64_passes_4_gib)
{
    char name[] = "\\\\.\\TAPE0:Scsi1:2:3 \xC4X";
    EXPECT_EQ(_strlwr(name), name);
    EXPECT_EQ(std::string(name), "\\\\.\\tape0:scsi1:2:3 \xC4x");

    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    const int64_t far = (int64_t{5} << 30) + 7;
    ASSERT_EQ(fseeko(stream, far, SEEK_SET), 0);
    EXPECT_EQ(_ftelli64(stream), far);
    std::fclose(stream);
}

// Dump and restore print the system's text for a file they cannot open: fopen must leave the code.
TEST(runtime, fopen_failure_leaves_the_windows_error_code)
{
    temp_dir_t dir;
    const struct { std::string name; const char* mode; DWORD code; } cases[] = {
        {dir.file("missing.dmp"), "rb", ERROR_FILE_NOT_FOUND},
        {dir.file("no-such-dir/x.dmp"), "wb", ERROR_PATH_NOT_FOUND},
        {dir.path, "wb", ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        SetLastError(NO_ERROR);
        EXPECT_EQ(fopen(c.name.c_str(), c.mode), nullptr) << c.name;
        EXPECT_EQ(GetLastError(), c.code) << c.name;
    }
    FILE* stream = fopen(dir.write("there.dmp", "").c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    std::fclose(stream);
}

}  // namespace
