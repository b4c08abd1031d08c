// brx against iSCSI targets that fail mid-way: one that goes silent after the login, and one
// killed or stopped in the middle of a dump. Skipped without BRX_TEST_ISCSI_URL; the kill tests
// start a tgtd of their own on other ports, so the shared one is left alone.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/posix/iscsi_posix.h"
#include "platform/posix/transports.h"
#include "tests/fault/fault_support_posix.h"
#include "tests/support/e2e.h"
#include "tests/support/relay_posix.h"

namespace {

using clock_type = std::chrono::steady_clock;
const char tape0[] = "\\\\.\\tape0";
const std::string io_failure = system_text(ERROR_IO_DEVICE) + "\n";

const char* tgt_url()
{
    const char* url = std::getenv("BRX_TEST_ISCSI_URL");
    return url != nullptr && url[0] != '\0' ? url : nullptr;
}

bool stalls_in_time(const relay_t& relay)
{
    for (int wait = 0; wait < 1000 && relay.mode != relay_t::stall; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return relay.mode == relay_t::stall;
}

TEST(fault_Tgt, a_target_silent_after_the_login_ends_the_dump_within_the_time_out)
{
    const char* url = tgt_url();
    if (url == nullptr) GTEST_SKIP() << "BRX_TEST_ISCSI_URL is not set";
    posix::iscsi_address_t address;
    ASSERT_EQ(posix::parse_iscsi_url(url, address), NO_ERROR);
    relay_t relay(address.portal);
    relay.stall_at(0x01, 1);  // the dump's REWIND, its first command after the login
    scratch_directory_t dir;
    const auto start = clock_type::now();
    const pid_t run = start_brx({tape0, "out.dmp"}, dir.path(), {{"BRX_TAPE0", relay.url(address.target, "?timeout=2")}}, "err");
    EXPECT_EQ(finish(run), 1);
    EXPECT_LT(clock_type::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(dir.read("err"), "Failed to rewind tape: " + io_failure);
    EXPECT_FALSE(dir.exists("out.dmp"));
}

// A tgtd of the test's own with a tape of the blocks, written through the iSCSI transport.
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
        std::unique_ptr<posix::scsi_device_t> device;
        if (posix::open_iscsi_device(url.c_str(), device) != NO_ERROR) url.clear();
        for (size_t i = 0; !url.empty() && i <= blocks.size(); ++i) {
            // A REWIND first, then each record with WRITE(6) and each mark with WRITE FILEMARKS(6).
            const uint32_t n = i == 0 ? 0 : uint32_t(blocks[i - 1].size()), count = i == 0 ? 0 : n == 0 ? 1 : n;
            uint8_t cdb[6] = {uint8_t(i == 0 ? 0x01 : n == 0 ? 0x10 : 0x0A), 0, uint8_t(count >> 16), uint8_t(count >> 8),
                              uint8_t(count), 0};
            posix::scsi_command_t write;
            write.cdb = cdb, write.cdb_length = 6, write.timeout_seconds = 60;
            write.direction = n == 0 ? SCSI_IOCTL_DATA_UNSPECIFIED : SCSI_IOCTL_DATA_OUT;
            write.data = n == 0 ? nullptr : reinterpret_cast<uint8_t*>(const_cast<char*>(blocks[i - 1].data()));
            write.data_length = n;
            const posix::scsi_reply_t reply = device->execute(write);
            if (reply.error != NO_ERROR || reply.status != 0) {
                std::fprintf(stderr, "block %zu: error %u status %u\n", i, unsigned(reply.error), unsigned(reply.status));
                url.clear();
            }
        }
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

// The dump is caught at its 30th READ; the target then dies or stops, and the dump ends within the
// connection's time-out with the transport failure, keeping (with /ignore) the 29 records it had;
// with a ring too, which then says so in its last line.
TEST(fault_Tgt, a_target_killed_or_stopped_mid_dump_ends_it_with_the_records_before)
{
    if (tgt_url() == nullptr) GTEST_SKIP() << "BRX_TEST_ISCSI_URL is not set";
    std::vector<std::string> blocks;
    for (unsigned i = 0; i < 60; ++i) blocks.push_back(record_of(20000 + i, i));
    blocks.push_back("");
    for (const std::string ring : {"", "/buffer=4"})
    for (const int signal : {SIGKILL, SIGSTOP}) {
        SCOPED_TRACE(std::to_string(signal) + ring);
        own_tgt_t tgt(blocks);
        ASSERT_FALSE(tgt.url.empty()) << "no tgtd of the test's own";
        posix::iscsi_address_t address;
        ASSERT_EQ(posix::parse_iscsi_url(tgt.url.c_str(), address), NO_ERROR);
        relay_t relay(address.portal);
        relay.stall_at(0x08, 30);
        scratch_directory_t dir;
        dir.write("tape.dmp", container_of(blocks));
        const pid_t run = start_brx({tape0, "out.dmp", "/ignore", ring}, dir.path(),
                                    {{"BRX_TAPE0", relay.url(address.target, "?timeout=2")}}, "err");
        ASSERT_TRUE(stalls_in_time(relay));
        kill(tgt.pid, signal);
        const auto start = clock_type::now();
        relay.mode = relay_t::forward;
        EXPECT_EQ(finish(run), 1);
        EXPECT_LT(clock_type::now() - start, std::chrono::seconds(10));
        const std::string failed = "Failed to read tape block: " + io_failure, err = dir.read("err");
        EXPECT_EQ(err.substr(0, failed.size()), failed);
        EXPECT_TRUE(ring.empty() ? err == failed : err.find("Buffer of 4 MiB: 29 records and 0 tape marks") == failed.size());
        EXPECT_EQ(whole_blocks_of_prefix(dir.read("out.dmp"), dir.file("tape.dmp")), 29);
        EXPECT_EQ(dir.read("out.dmp"), container_of({blocks.begin(), blocks.begin() + 29}));
    }
}

}  // namespace
