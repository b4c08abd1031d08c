// The iscsi:// device string, and the iSCSI transport against a real target: tgtd with an ssc tape
// (BRX_TEST_ISCSI_URL; without it those tests are skipped). Their suite name carries "Tgt" so the tests sharing the one tape run one at a time.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/posix/iscsi_posix.h"
#include "platform/posix/transports.h"
#include "tests/support/relay_posix.h"
#include "tests/support/tgt_posix.h"

namespace {

constexpr uint32_t read_length = 65024;  // what the dump asks for every record

// One six-byte command with a variable-length transfer, as the drivers send it; the call's error.
DWORD run(posix::scsi_device_t& device, uint8_t operation, uint32_t length, uint32_t timeout = 60)
{
    uint8_t cdb[6] = {operation, 0, uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length), 0}, sense[64];
    std::vector<uint8_t> data(length, 9);
    posix::scsi_command_t command;
    command.cdb = cdb, command.cdb_length = 6, command.timeout_seconds = timeout;
    command.direction = length == 0 ? SCSI_IOCTL_DATA_UNSPECIFIED : SCSI_IOCTL_DATA_OUT;
    command.data = length == 0 ? nullptr : data.data(), command.data_length = length;
    command.sense = sense, command.sense_capacity = 64;
    return device.execute(command).error;
}

TEST(iscsi_url, names_portal_target_and_lun_or_is_refused_before_opening_anything)
{
    posix::iscsi_address_t address;
    ASSERT_EQ(posix::parse_iscsi_url("iscsi://[::1]/iqn.x:y/00012", address), NO_ERROR);
    EXPECT_EQ(address.portal + " " + address.target + " " + std::to_string(address.lun), "[::1]:3260 iqn.x:y 12");
    EXPECT_EQ(address.timeout_seconds, 15);
    ASSERT_EQ(posix::parse_iscsi_url("iscsi://host:3261/iqn.x:y/3?timeout=86400", address), NO_ERROR);
    EXPECT_EQ(address.portal + " " + std::to_string(address.lun) + " " + std::to_string(address.timeout_seconds),
              "host:3261 3 86400");
    const char* cases[] = {
        "iscsi:/host/iqn.x:y/1", "iscsi://host/iqn.x:y/", "iscsi://host/iqn.x:y/1a", "iscsi://host/iqn.x:y/16384",
        "iscsi://host//1", "iscsi://:3260/iqn.x:y/1", "iscsi://host:65536/iqn.x:y/1", "iscsi://[::1/iqn.x:y/1",
        "iscsi://user%secret@host/iqn.x:y/1", "iscsi://host/iqn.x:y/1?timeout=0", "iscsi://host/iqn.x:y/1?timeout=86401",
        "iscsi://host/iqn.x:y/1?timeout=", "iscsi://host/iqn.x:y/1?time=5", "iscsi://host/iqn.x:y/1?timeout=5&x",
    };
    for (const char* text : cases) {
        address.lun = 99;
        EXPECT_EQ(posix::parse_iscsi_url(text, address), ERROR_INVALID_NAME) << text;
        EXPECT_EQ(address.lun, 99) << text;
        std::unique_ptr<posix::scsi_device_t> device;
        EXPECT_EQ(posix::open_iscsi_device(text, device), ERROR_INVALID_NAME) << text;
        EXPECT_FALSE(device) << text;
    }
}

// A portal that accepts, reads the start of the login and dies: every path must free what it took
// (the sanitizer build's leak check sees the rest).
TEST(iscsi_url, a_target_that_dies_during_login_fails_the_open)
{
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof local;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&local), size) | listen(listener, 4), 0);
    getsockname(listener, reinterpret_cast<sockaddr*>(&local), &size);
    const std::string url = "iscsi://127.0.0.1:" + std::to_string(ntohs(local.sin_port)) + "/iqn.x:y/1?timeout=5";
    std::thread target([listener] {
        for (size_t wanted : {size_t(1), size_t(48), size_t(60)}) {  // dies at once, after the header, within the data
            int client = accept(listener, nullptr, nullptr);
            char buffer[64];
            for (size_t got = 0; got < wanted;) {
                ssize_t n = recv(client, buffer, std::min(sizeof buffer, wanted - got), 0);
                if (n <= 0) break;
                got += size_t(n);
            }
            close(client);
        }
    });
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::unique_ptr<posix::scsi_device_t> device;
        EXPECT_EQ(posix::open_iscsi_device(url.c_str(), device), ERROR_DEVICE_NOT_CONNECTED);
    }
    target.join();
    close(listener);
}

// A connection that breaks fails its command at once; one that goes silent fails it at the command's
// time-out or, when the command may take longer, once the connection has not answered for the
// device string's time-out. Either way the session is closed for good.
TEST(iscsi_Tgt, a_lost_or_silent_connection_fails_the_command_and_every_later_one)
{
    if (tgt_url() == nullptr) GTEST_SKIP() << "BRX_TEST_ISCSI_URL is not set";
    posix::iscsi_address_t address;
    ASSERT_EQ(posix::parse_iscsi_url(tgt_url(), address), NO_ERROR);
    const struct { relay_t::mode_t loss; uint32_t command_timeout; DWORD error; } cases[] = {
        {relay_t::cut, 60, ERROR_IO_DEVICE},          {relay_t::reset, 60, ERROR_IO_DEVICE},
        {relay_t::stall, 1, ERROR_SEM_TIMEOUT},       {relay_t::stall, 86400, ERROR_IO_DEVICE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.loss << " " << c.command_timeout);
        relay_t relay(address.portal);
        std::unique_ptr<posix::scsi_device_t> device;
        ASSERT_EQ(posix::open_iscsi_device(relay.url(address.target, "?timeout=2").c_str(), device), NO_ERROR);
        ASSERT_EQ(run(*device, 0x00, 0), NO_ERROR);
        relay.mode = c.loss;
        while (c.loss != relay_t::stall && !relay.closed) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const auto start = std::chrono::steady_clock::now();
        // Data goes out by writev, whose broken pipe must not end the process.
        EXPECT_EQ(run(*device, 0x0A, read_length, c.command_timeout), c.error);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(run(*device, 0x00, 0), ERROR_DEVICE_NOT_CONNECTED);
    }
    relay_t relay(address.portal);
    relay.mode = relay_t::stall;
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<posix::scsi_device_t> device;
    EXPECT_EQ(posix::open_iscsi_device(relay.url(address.target, "?timeout=2").c_str(), device),
              ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    std::unique_ptr<posix::scsi_device_t> none;  // a target the portal does not have
    EXPECT_EQ(posix::open_iscsi_device(("iscsi://" + address.portal + "/iqn.x:none/1").c_str(), none),
              ERROR_DEVICE_NOT_CONNECTED);
}

}  // namespace
