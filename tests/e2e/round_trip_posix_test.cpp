// Random dump files restored onto a blank virtual tape and dumped back come out unchanged.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/e2e_posix.h"

namespace {

// Up to 12 blocks: records of 1 to 65,024 bytes (lengths near both ends are likelier) and tape
// marks, single or in runs.
std::vector<std::string> random_blocks(std::mt19937& random)
{
    std::uniform_int_distribution<int> count(0, 12), kind(0, 9), small(1, 600), any(1, 65024), large(64000, 65024);
    std::vector<std::string> blocks;
    const int n = count(random);
    for (int i = 0; i < n; ++i) {
        const int k = kind(random);
        if (k < 3)
            blocks.emplace_back();
        else
            blocks.push_back(record_of(static_cast<size_t>(k < 5 ? small(random) : k < 8 ? any(random) : large(random)),
                                       static_cast<unsigned>(random())));
    }
    return blocks;
}

TEST(round_trip_e2e, random_dump_files_survive_restore_then_dump)
{
    std::mt19937 random(20261205);
    for (int round = 0; round < 12; ++round) {
        const std::vector<std::string> blocks = random_blocks(random);
        const std::string image = container_of(blocks);
        scratch_directory_t directory;
        directory.write("in.dmp", image);
        const std::string tape = "vtape:" + directory.file("tape.dmp");

        const brx_run_t restored = run_brx_on("BRX_TAPE1", tape, {"in.dmp", "\\\\.\\tape1"}, directory.path());
        ASSERT_EQ(restored.exit_status, 0) << "round " << round << ": " << restored.standard_error;
        EXPECT_EQ(restored.standard_error, "") << "round " << round;
        EXPECT_TRUE(directory.read("tape.dmp") == image) << "round " << round << ", " << blocks.size() << " blocks";

        const brx_run_t dumped = run_brx_on("BRX_TAPE0", tape, {"\\\\.\\tape0", "out.dmp"}, directory.path());
        ASSERT_EQ(dumped.exit_status, 0) << "round " << round << ": " << dumped.standard_error;
        EXPECT_EQ(dumped.standard_error, "") << "round " << round;
        EXPECT_TRUE(directory.read("out.dmp") == image) << "round " << round << ", " << blocks.size() << " blocks";
    }
}

}  // namespace
