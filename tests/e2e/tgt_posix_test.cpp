// brx against a real iSCSI tape: tgtd with an ssc LUN (skipped without BRX_TEST_ISCSI_URL). The suite
// name carries "Tgt": the tests sharing the one tape run one at a time.
#include <gtest/gtest.h>

#include "tests/support/e2e.h"
#include "tests/support/tgt_posix.h"

// A tape the driver wrote dumps to the file it came from. A restore stops in its setup: tgt refuses a
// MODE SELECT(6) that carries only the 4-byte header, which real drives accept.
TEST(e2e_Tgt, dumps_what_the_driver_wrote_and_stops_a_restore_where_tgt_refuses_the_header_only_mode_select)
{
    if (tgt_url() == nullptr)
        GTEST_SKIP() << "BRX_TEST_ISCSI_URL is not set";
    const std::vector<std::string> blocks = {record_of(80, 1), record_of(2048, 2), "", record_of(65024, 3),
                                             record_of(1, 4), "", ""};
    ASSERT_TRUE(write_tape(tgt_url(), blocks));
    scratch_directory_t dir;
    const brx_run_t dump = run_brx_on("BRX_TAPE0", tgt_url(), {"\\\\.\\tape0", "out.dmp", "/log=run.log"}, dir.path());
    EXPECT_EQ(dump.exit_status, 0) << dump.standard_error;
    EXPECT_EQ(dump.standard_error, "");
    EXPECT_EQ(dir.read("out.dmp"), container_of(blocks));
    dir.write("in.dmp", container_of({record_of(100, 5), ""}));
    const brx_run_t restore = run_brx_on("BRX_TAPE0", tgt_url(), {"in.dmp", "\\\\.\\tape0", "/log=restore.log"}, dir.path());
    EXPECT_EQ(restore.exit_status, 1);
    const std::string message = "\\\\.\\Tape0: fatal error (70...05...24 00)\n";
    EXPECT_EQ(restore.standard_error, message);
    EXPECT_EQ(dir.read("restore.log"), message);
}
