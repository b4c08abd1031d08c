// The iscsi:// device string, and the iSCSI transport against a real target: tgtd with an ssc tape
// (tests/tgt/start-tgt.sh prints the URL to put in BRX_TEST_ISCSI_URL). Without that variable those
// tests are skipped. Their suite name carries "Tgt" so the tests sharing the one tape run one at a time.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/iscsi_posix.h"
#include "platform/posix/transports.h"

namespace {

using bytes_t = std::vector<uint8_t>;
constexpr uint32_t read_length = 65024;  // what the dump asks for every record

struct outcome_t { posix::scsi_reply_t reply; bytes_t sense, data; };

// One six-byte command with a variable-length transfer, as the drivers send it.
outcome_t run(posix::scsi_device_t& device, uint8_t operation, uint32_t length, uint8_t direction, bytes_t data = {},
              uint32_t timeout = 60)
{
    uint8_t cdb[6] = {operation, 0, uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length), 0};
    outcome_t outcome{{}, bytes_t(64, 0), std::move(data)};
    posix::scsi_command_t command;
    command.cdb = cdb, command.cdb_length = 6, command.direction = direction, command.timeout_seconds = timeout;
    command.data = outcome.data.empty() ? nullptr : outcome.data.data();
    command.data_length = static_cast<uint32_t>(outcome.data.size());
    command.sense = outcome.sense.data(), command.sense_capacity = 64;
    outcome.reply = device.execute(command);
    outcome.sense.resize(outcome.reply.sense_length);
    return outcome;
}

outcome_t read(posix::scsi_device_t& device) { return run(device, 0x08, read_length, SCSI_IOCTL_DATA_IN, bytes_t(read_length, 0xEE)); }
DWORD test_unit_ready(posix::scsi_device_t& device, uint32_t timeout = 60)
{
    return run(device, 0x00, 0, SCSI_IOCTL_DATA_UNSPECIFIED, {}, timeout).reply.error;
}

bytes_t record_of(size_t length, uint8_t seed)
{
    bytes_t record(length);
    for (size_t i = 0; i < length; ++i) record[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return record;
}

TEST(iscsi_url, names_portal_target_and_lun_or_is_refused_before_opening_anything)
{
    posix::iscsi_address_t address;
    ASSERT_EQ(posix::parse_iscsi_url("iscsi://[::1]/iqn.x:y/00012", address), NO_ERROR);
    EXPECT_EQ(address.portal + " " + address.target + " " + std::to_string(address.lun), "[::1]:3260 iqn.x:y 12");
    const char* cases[] = {
        "iscsi:/host/iqn.x:y/1", "iscsi://host/iqn.x:y/", "iscsi://host/iqn.x:y/1a", "iscsi://host/iqn.x:y/16384",
        "iscsi://host//1", "iscsi://:3260/iqn.x:y/1", "iscsi://host:65536/iqn.x:y/1", "iscsi://[::1/iqn.x:y/1",
        "iscsi://user%secret@host/iqn.x:y/1",
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

// The target's address, or a skip without one.
#define TARGET_OR_SKIP(address)                                                                 \
    const char* url = std::getenv("BRX_TEST_ISCSI_URL");                                        \
    if (url == nullptr || url[0] == '\0') GTEST_SKIP() << "BRX_TEST_ISCSI_URL is not set";      \
    posix::iscsi_address_t address;                                                             \
    ASSERT_EQ(posix::parse_iscsi_url(url, address), NO_ERROR)

TEST(iscsi_Tgt, records_and_tape_marks_read_back_as_written)
{
    TARGET_OR_SKIP(address);
    std::unique_ptr<posix::scsi_device_t> device;
    ASSERT_EQ(posix::open_iscsi_device(url, device), NO_ERROR);
    ASSERT_EQ(run(*device, 0x01, 0, SCSI_IOCTL_DATA_UNSPECIFIED).reply.error, NO_ERROR);
    const std::pair<size_t, uint8_t> layout[] = {{80, 1}, {read_length, 3}, {0, 0}, {65536, 5}, {0, 0}};
    for (const auto& [length, seed] : layout) {
        outcome_t written = length == 0 ? run(*device, 0x10, 1, SCSI_IOCTL_DATA_UNSPECIFIED)
                                        : run(*device, 0x0A, uint32_t(length), SCSI_IOCTL_DATA_OUT, record_of(length, seed));
        ASSERT_EQ(written.reply.error + written.reply.status, 0u) << length;
    }
    ASSERT_EQ(run(*device, 0x01, 0, SCSI_IOCTL_DATA_UNSPECIFIED).reply.status, 0);
    for (const auto& [length, seed] : layout) {
        SCOPED_TRACE(length);
        outcome_t got = read(*device);
        ASSERT_EQ(got.reply.error, NO_ERROR);
        // Records are measured by the sense alone: tgt's residue after CHECK CONDITION is not the
        // untransferred count, and it sends stale bytes behind a shorter record.
        if (length == read_length) {
            EXPECT_EQ(got.reply.status + got.reply.data_transferred, read_length);
        } else {
            ASSERT_EQ(got.reply.status, 2);
            ASSERT_GE(got.sense.size(), 14u);
            // VALID; NO SENSE with FILEMARK for a mark, ILI for a record; INFORMATION requested minus actual.
            EXPECT_EQ(got.sense[0] & 0x80, 0x80);
            EXPECT_EQ(got.sense[2], length == 0 ? 0x80 : 0x20);
            EXPECT_EQ(int32_t(got.sense[3] << 24 | got.sense[4] << 16 | got.sense[5] << 8 | got.sense[6]),
                      int32_t(read_length) - int32_t(length));
        }
        bytes_t expected = record_of(length, seed);
        expected.resize(std::min<size_t>(length, read_length));
        bytes_t head(got.data.begin(), got.data.begin() + static_cast<long>(expected.size()));
        // A longer record arrives cut to the request from a real drive and not at all from tgt.
        EXPECT_TRUE(head == expected || (length > read_length && head == bytes_t(read_length, 0xEE)));
    }
    outcome_t end = read(*device);
    ASSERT_GE(end.sense.size(), 14u);
    EXPECT_EQ(end.sense[2] & 0xAF, 0x08);  // BLANK CHECK without FILEMARK or ILI

    std::unique_ptr<posix::scsi_device_t> none;  // a target the portal does not have
    EXPECT_EQ(posix::open_iscsi_device(("iscsi://" + address.portal + "/iqn.x:none/1").c_str(), none),
              ERROR_DEVICE_NOT_CONNECTED);
}

// A TCP relay between the initiator and tgtd that a test can stall or cut.
class relay_t {
public:
    enum mode_t { forward, stall, cut, reset };  // cut closes; reset aborts with an RST

    explicit relay_t(const posix::iscsi_address_t& address) : target(address)
    {
        const size_t colon = address.portal.rfind(':');
        upstream.sin_family = AF_INET;
        upstream.sin_port = htons(static_cast<uint16_t>(std::stoi(address.portal.substr(colon + 1))));
        inet_pton(AF_INET, address.portal.substr(0, colon).c_str(), &upstream.sin_addr);
        sockaddr_in local{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t size = sizeof local;
        bind(listener, reinterpret_cast<sockaddr*>(&local), size), listen(listener, 1);
        getsockname(listener, reinterpret_cast<sockaddr*>(&local), &size);
        port = ntohs(local.sin_port);
        worker = std::thread([this] { serve(); });
    }
    ~relay_t() { mode = cut, shutdown(listener, SHUT_RDWR), worker.join(), close(listener); }
    std::string url() const { return "iscsi://127.0.0.1:" + std::to_string(port) + "/" + target.target + "/1"; }

    std::atomic<mode_t> mode{forward};
    std::atomic<bool> closed{false};

private:
    void serve()
    {
        int client = accept(listener, nullptr, nullptr);
        int server = socket(AF_INET, SOCK_STREAM, 0);
        if (client >= 0 && connect(server, reinterpret_cast<sockaddr*>(&upstream), sizeof upstream) == 0)
            pump(client, server);
        const linger abort = {1, 0};
        if (client >= 0 && mode == reset) setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        if (client >= 0) close(client);
        close(server);
        closed = true;
    }
    void pump(int client, int server)
    {
        char buffer[65536];
        while (mode != cut && mode != reset) {
            pollfd ends[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (poll(ends, 2, 50) <= 0 || mode == stall) continue;
            for (int i = 0; i < 2; ++i) {
                ssize_t got = ends[i].revents == 0 ? 1 : recv(ends[i].fd, buffer, sizeof buffer, 0);
                if (ends[i].revents != 0 && (got <= 0 || send(ends[1 - i].fd, buffer, size_t(got), MSG_NOSIGNAL) != got))
                    return;
            }
        }
    }

    posix::iscsi_address_t target;
    sockaddr_in upstream{};
    int listener = socket(AF_INET, SOCK_STREAM, 0), port = 0;
    std::thread worker;
};

TEST(iscsi_Tgt, a_lost_or_silent_connection_fails_the_command_and_every_later_one)
{
    TARGET_OR_SKIP(address);
    for (relay_t::mode_t loss : {relay_t::cut, relay_t::reset, relay_t::stall}) {
        SCOPED_TRACE(loss);
        relay_t relay(address);
        std::unique_ptr<posix::scsi_device_t> device;
        ASSERT_EQ(posix::open_iscsi_device(relay.url().c_str(), device), NO_ERROR);
        ASSERT_EQ(test_unit_ready(*device), NO_ERROR);
        relay.mode = loss;
        while (loss != relay_t::stall && !relay.closed) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const auto start = std::chrono::steady_clock::now();
        if (loss == relay_t::stall) {
            EXPECT_EQ(test_unit_ready(*device, 1), ERROR_SEM_TIMEOUT);
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        } else {  // its data goes out by writev, whose broken pipe must not end the process
            EXPECT_EQ(run(*device, 0x0A, read_length, SCSI_IOCTL_DATA_OUT, record_of(read_length, 9)).reply.error,
                      ERROR_IO_DEVICE);
        }
        EXPECT_EQ(test_unit_ready(*device), ERROR_DEVICE_NOT_CONNECTED);
    }
    relay_t relay(address);
    relay.mode = relay_t::stall;
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<posix::scsi_device_t> device;
    EXPECT_EQ(posix::open_iscsi_device(relay.url().c_str(), device), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

}  // namespace
