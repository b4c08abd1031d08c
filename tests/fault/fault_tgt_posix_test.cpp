// brx against iSCSI targets that fail mid-way: one that goes silent after the login, and one
// killed or stopped in the middle of a dump. Skipped without BRX_TEST_ISCSI_URL; each run starts a
// tgtd of its own on other ports, so the shared one is left alone.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "platform/posix/iscsi_posix.h"
#include "tests/fault/fault_support_posix.h"
#include "tests/support/e2e.h"
#include "tests/support/relay_posix.h"
#include "tests/support/tgt_posix.h"

namespace {

const char tape0[] = "\\\\.\\tape0";

// A tgtd of the test's own with a tape of the blocks.
struct own_tgt_t {
    explicit own_tgt_t(const std::vector<std::string>& blocks)
    {
        const int port = 20000 + getpid() % 10000, control = 10000 + getpid() % 10000;  // tgtd takes -C below 32768
        const std::string command = "BRX_TGT_PORT=" + std::to_string(port) + " BRX_TGT_CONTROL=" + std::to_string(control) +
                                    " sh " BRX_SOURCE_DIR "/tests/tgt/start-tgt.sh " + dir.path() + " >" + dir.file("url") + " 2>/dev/null";
        if (std::system(command.c_str()) != 0) return;
        url = dir.read("url");
        url.resize(url.find('\n') == std::string::npos ? 0 : url.find('\n'));
        pid = std::atoi(dir.read("tgtd.pid").c_str());
        if (!write_tape(url, blocks))
            url.clear();
    }
    ~own_tgt_t()
    {
        if (pid > 0) kill(pid, SIGCONT);
        std::system(("sh " BRX_SOURCE_DIR "/tests/tgt/stop-tgt.sh " + dir.path() + " >/dev/null 2>&1").c_str());
    }

    scratch_directory_t dir;
    std::string url;  // empty when the target could not be set up
    pid_t pid = 0;
};

// The dump's first command after the login, a REWIND, meets a silent target; or its 30th READ meets
// one that dies or stops. The dump ends within the connection's time-out with the transport failure,
// keeping (with /ignore) the 29 records it had; with a ring too, which then says so in its last line.
TEST(fault_Tgt, a_target_silent_killed_or_stopped_ends_the_dump_with_the_records_before)
{
    if (tgt_url() == nullptr) GTEST_SKIP() << "BRX_TEST_ISCSI_URL is not set";
    std::vector<std::string> blocks;
    for (unsigned i = 0; i < 60; ++i) blocks.push_back(record_of(20000 + i, i));
    blocks.push_back("");
    const std::string io_failure = system_text(ERROR_IO_DEVICE) + "\n", read_failed = "Failed to read tape block: " + io_failure;
    const struct { uint8_t operation; int count, signal; std::string ring, error; } cases[] = {
        {0x01, 1, 0, "", "Failed to rewind tape: " + io_failure},
        {0x08, 30, SIGKILL, "", read_failed}, {0x08, 30, SIGSTOP, "", read_failed},
        {0x08, 30, SIGKILL, "/buffer=4", read_failed + "Buffer of 4 MiB: 29 records and 0 tape marks"},
        {0x08, 30, SIGSTOP, "/buffer=4", read_failed + "Buffer of 4 MiB: 29 records and 0 tape marks"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.signal) + c.ring);
        own_tgt_t tgt(blocks);
        ASSERT_FALSE(tgt.url.empty()) << "no tgtd of the test's own";
        posix::iscsi_address_t address;
        ASSERT_EQ(posix::parse_iscsi_url(tgt.url.c_str(), address), NO_ERROR);
        relay_t relay(address.portal);
        relay.stall_at(c.operation, c.count);
        scratch_directory_t dir;
        const pid_t run = start_brx({tape0, "out.dmp", "/ignore", c.ring}, dir.path(),
                                    {{"BRX_TAPE0", relay.url(address.target, "?timeout=2")}}, "err");
        for (int wait = 0; wait < 1000 && relay.mode != relay_t::stall; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(relay.mode, relay_t::stall);
        if (c.signal != 0) {
            kill(tgt.pid, c.signal);
            relay.mode = relay_t::forward;
        }
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(finish(run), 1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        const std::string err = dir.read("err");
        EXPECT_EQ(c.ring.empty() ? err : err.substr(0, c.error.size()), c.error);
        EXPECT_EQ(dir.exists("out.dmp"), c.signal != 0);
        EXPECT_EQ(dir.read("out.dmp"), c.signal ? container_of({blocks.begin(), blocks.begin() + 29}) : "");
    }
}

}  // namespace
