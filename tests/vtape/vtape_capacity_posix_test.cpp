// Without capacity=, the virtual drive's medium ends before its file system is full.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/support/small_tmpfs_posix.h"
#include "tests/vtape/vtape_test_support.h"

namespace {

// On an empty 80 MiB file system the margin is its 64 MiB minimum: 16 MiB of medium, and the write
// that would pass it answers VOLUME OVERFLOW with EOM, after whole records only.
TEST(vtape_capacity, the_default_leaves_a_margin_of_the_free_space)
{
    scratch_directory_t dir;
    const std::string small = dir.file("small");
    ASSERT_EQ(mkdir(small.c_str(), 0700), 0);
    const uint64_t capacity = 16u << 20, record = 65024;
    const int result = with_small_tmpfs(small, 80, [&] {
        std::unique_ptr<vtape_t> tape;
        if (vtape_t::open((small + "/t.dmp").c_str(), tape) != NO_ERROR) return 1;
        const bytes_t data = pattern(record, 7);
        uint64_t written = 0;
        outcome_t outcome;
        while ((outcome = run(*tape, write6(record), 0, data)).reply.status == 0 && written <= capacity)
            written += 8 + record;
        struct stat info {};
        stat((small + "/t.dmp").c_str(), &info);
        const bool ends_in_time = written <= capacity && written + 8 + record > capacity;
        return outcome.sense == sense(0x4D, 0x0002, record) && ends_in_time && uint64_t(info.st_size) == written ? 0 : 2;
    });
    if (result == -1)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    EXPECT_EQ(result, 0);
}

}  // namespace
