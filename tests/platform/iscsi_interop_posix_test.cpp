// The iSCSI transport against a real target: tgtd with an ssc tape (tests/tgt/start-tgt.sh prints
// the URL to put in BRX_TEST_ISCSI_URL). Without that variable these tests are skipped. The suite
// name carries "Tgt" so the tests sharing the one tape run one at a time.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/posix/iscsi_posix.h"
#include "platform/posix/transports.h"

namespace {

constexpr uint32_t read_length = 65024;  // what the dump asks for every record
constexpr uint8_t key_no_sense = 0x00;
constexpr uint8_t key_blank_check = 0x08;
constexpr uint8_t filemark_bit = 0x80, eom_bit = 0x40, ili_bit = 0x20, valid_bit = 0x80;
constexpr uint8_t check_condition = 0x02;

const char* target_url() {
    const char* url = std::getenv("BRX_TEST_ISCSI_URL");
    return url != nullptr && url[0] != '\0' ? url : nullptr;
}

struct outcome_t {
    posix::scsi_reply_t reply;
    std::vector<uint8_t> sense;
    std::vector<uint8_t> data;
};

// Commands of the SSC set, built as the drivers build them: six-byte CDBs, variable records.
class tape_t {
public:
    explicit tape_t(std::unique_ptr<posix::scsi_device_t> device) : device(std::move(device)) {}

    outcome_t rewind() { return run({0x01, 0, 0, 0, 0, 0}, SCSI_IOCTL_DATA_UNSPECIFIED, {}); }
    outcome_t write_filemarks(uint8_t count) { return run({0x10, 0, 0, 0, count, 0}, SCSI_IOCTL_DATA_UNSPECIFIED, {}); }
    outcome_t write(std::vector<uint8_t> record) {
        return run(six_byte(0x0A, static_cast<uint32_t>(record.size())), SCSI_IOCTL_DATA_OUT, std::move(record));
    }
    outcome_t read(uint32_t length) {
        return run(six_byte(0x08, length), SCSI_IOCTL_DATA_IN, std::vector<uint8_t>(length, 0xEE));
    }
    outcome_t test_unit_ready(uint32_t timeout_seconds = 60) {
        return run({0x00, 0, 0, 0, 0, 0}, SCSI_IOCTL_DATA_UNSPECIFIED, {}, timeout_seconds);
    }

private:
    static std::vector<uint8_t> six_byte(uint8_t operation, uint32_t length) {
        return {operation, 0, static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 8),
                static_cast<uint8_t>(length), 0};
    }

    outcome_t run(std::vector<uint8_t> cdb, uint8_t direction, std::vector<uint8_t> data, uint32_t timeout = 60) {
        outcome_t outcome;
        outcome.data = std::move(data);
        outcome.sense.assign(64, 0);
        posix::scsi_command_t command;
        command.cdb = cdb.data();
        command.cdb_length = static_cast<uint8_t>(cdb.size());
        command.direction = direction;
        command.data = outcome.data.empty() ? nullptr : outcome.data.data();
        command.data_length = static_cast<uint32_t>(outcome.data.size());
        command.timeout_seconds = timeout;
        command.sense = outcome.sense.data();
        command.sense_capacity = static_cast<uint32_t>(outcome.sense.size());
        outcome.reply = device->execute(command);
        outcome.sense.resize(outcome.reply.sense_length);
        return outcome;
    }

    std::unique_ptr<posix::scsi_device_t> device;
};

std::vector<uint8_t> record_of(size_t length, uint8_t seed) {
    std::vector<uint8_t> record(length);
    for (size_t i = 0; i < length; ++i) record[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return record;
}

// The fields the SCSI driver reads from fixed-format sense.
struct sense_view_t {
    uint8_t key = 0xFF;
    bool filemark = false, eom = false, ili = false, valid = false;
    int32_t information = 0;
    uint8_t asc = 0xFF, ascq = 0xFF;
};

sense_view_t decode(const std::vector<uint8_t>& sense) {
    sense_view_t view;
    if (sense.size() < 14) return view;
    view.key = sense[2] & 0x0F;
    view.filemark = sense[2] & filemark_bit;
    view.eom = sense[2] & eom_bit;
    view.ili = sense[2] & ili_bit;
    view.valid = sense[0] & valid_bit;
    view.information = static_cast<int32_t>(uint32_t(sense[3]) << 24 | uint32_t(sense[4]) << 16 |
                                            uint32_t(sense[5]) << 8 | sense[6]);
    view.asc = sense[12];
    view.ascq = sense[13];
    return view;
}

std::unique_ptr<posix::scsi_device_t> open_or_fail(const std::string& url) {
    std::unique_ptr<posix::scsi_device_t> device;
    DWORD error = posix::open_iscsi_device(url.c_str(), device);
    EXPECT_EQ(error, NO_ERROR) << url;
    return device;
}

#define SKIP_WITHOUT_TARGET()                                                           \
    if (target_url() == nullptr) GTEST_SKIP() << "BRX_TEST_ISCSI_URL is not set (see tests/tgt/start-tgt.sh)"

TEST(iscsi_Tgt, records_and_tape_marks_read_back_as_written) {
    SKIP_WITHOUT_TARGET();
    auto device = open_or_fail(target_url());
    ASSERT_TRUE(device);
    tape_t tape(std::move(device));
    ASSERT_EQ(tape.rewind().reply.error, NO_ERROR);

    // A tape layout: records (length, seed) and tape marks (length 0).
    struct item_t {
        size_t length;
        uint8_t seed;
    };
    const item_t layout[] = {{80, 1}, {4, 2}, {read_length, 3}, {10001, 4}, {0, 0}, {65536, 5}, {0, 0}, {0, 0}};
    for (const item_t& item : layout) {
        outcome_t written = item.length == 0 ? tape.write_filemarks(1) : tape.write(record_of(item.length, item.seed));
        ASSERT_EQ(written.reply.error, NO_ERROR) << item.length;
        ASSERT_EQ(written.reply.status, 0) << item.length;
        EXPECT_EQ(written.reply.data_transferred, item.length);
    }
    outcome_t rewound = tape.rewind();
    ASSERT_EQ(rewound.reply.error, NO_ERROR);
    ASSERT_EQ(rewound.reply.status, 0);

    for (const item_t& item : layout) {
        SCOPED_TRACE(item.length);
        outcome_t got = tape.read(read_length);
        ASSERT_EQ(got.reply.error, NO_ERROR);
        if (item.length == read_length) {
            EXPECT_EQ(got.reply.status, 0);
            EXPECT_EQ(got.reply.sense_length, 0u);
        } else {
            ASSERT_EQ(got.reply.status, check_condition);
            sense_view_t sense = decode(got.sense);
            EXPECT_EQ(sense.key, key_no_sense);
            EXPECT_TRUE(sense.valid);
            EXPECT_EQ(sense.filemark, item.length == 0);
            EXPECT_EQ(sense.ili, item.length != 0);
            EXPECT_FALSE(sense.eom);
            // Requested minus actual: negative for the record longer than the request.
            int32_t residue = item.length == 0 ? int32_t(read_length) : int32_t(read_length) - int32_t(item.length);
            EXPECT_EQ(sense.information, residue);
            if (item.length == 0) {
                EXPECT_EQ(sense.asc << 8 | sense.ascq, 0x0001);
            }
        }
        // The program measures records by the sense data alone. tgt's residue after CHECK
        // CONDITION is not the untransferred count, and behind a shorter record it sends stale bytes
        // of its own buffer, so only the record's bytes are compared. A longer record arrives cut
        // to the request from a real drive and not at all from tgt.
        if (item.length == read_length) {
            EXPECT_EQ(got.reply.data_transferred, read_length);
        }
        std::vector<uint8_t> expected = record_of(item.length, item.seed);
        expected.resize(std::min<size_t>(item.length, read_length));
        std::vector<uint8_t> head(got.data.begin(), got.data.begin() + static_cast<long>(expected.size()));
        if (item.length > read_length) {
            EXPECT_TRUE(head == expected || head == std::vector<uint8_t>(read_length, 0xEE));
        } else {
            EXPECT_EQ(head, expected);
        }
    }

    outcome_t end = tape.read(read_length);
    ASSERT_EQ(end.reply.error, NO_ERROR);
    ASSERT_EQ(end.reply.status, check_condition);
    sense_view_t sense = decode(end.sense);
    EXPECT_EQ(sense.key, key_blank_check);
    EXPECT_FALSE(sense.filemark);
    EXPECT_FALSE(sense.ili);
    EXPECT_EQ(sense.asc << 8 | sense.ascq, 0x0000);
}

TEST(iscsi_Tgt, unreachable_or_unknown_targets_fail_to_open) {
    SKIP_WITHOUT_TARGET();
    posix::iscsi_address_t address;
    ASSERT_EQ(posix::parse_iscsi_url(target_url(), address), NO_ERROR);
    const std::string host = address.portal.substr(0, address.portal.rfind(':'));
    const std::string cases[] = {
        "iscsi://" + address.portal + "/iqn.2026-12.org.brx.test:no-such-target/1",
        "iscsi://" + host + ":1/" + address.target + "/1",  // nothing listens on port 1
    };
    for (const std::string& url : cases) {
        std::unique_ptr<posix::scsi_device_t> device;
        EXPECT_EQ(posix::open_iscsi_device(url.c_str(), device), ERROR_DEVICE_NOT_CONNECTED) << url;
        EXPECT_FALSE(device) << url;
    }
}

// A TCP relay between the initiator and tgtd that a test can stall or cut.
class relay_t {
public:
    enum mode_t { forward, stall, cut, reset };  // cut closes; reset aborts with an RST

    explicit relay_t(const std::string& portal) {
        size_t colon = portal.rfind(':');
        upstream.sin_family = AF_INET;
        upstream.sin_port = htons(static_cast<uint16_t>(std::stoi(portal.substr(colon + 1))));
        inet_pton(AF_INET, portal.substr(0, colon).c_str(), &upstream.sin_addr);
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof local;
        bind(listener, reinterpret_cast<sockaddr*>(&local), size);
        listen(listener, 1);
        getsockname(listener, reinterpret_cast<sockaddr*>(&local), &size);
        port = ntohs(local.sin_port);
        worker = std::thread([this] { serve(); });
    }
    ~relay_t() {
        mode = cut;
        shutdown(listener, SHUT_RDWR);
        worker.join();
        close(listener);
    }

    int port = 0;
    std::atomic<mode_t> mode{forward};
    std::atomic<bool> closed{false};

private:
    void serve() {
        int client = accept(listener, nullptr, nullptr);
        int server = socket(AF_INET, SOCK_STREAM, 0);
        if (client >= 0 && connect(server, reinterpret_cast<sockaddr*>(&upstream), sizeof upstream) == 0) {
            pump(client, server);
        }
        if (client >= 0 && mode == reset) {
            linger abort = {1, 0};
            setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
        if (client >= 0) close(client);
        close(server);
        closed = true;
    }

    void pump(int client, int server) {
        char buffer[65536];
        while (mode != cut && mode != reset) {
            pollfd ends[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (poll(ends, 2, 50) <= 0 || mode == stall) continue;
            for (int i = 0; i < 2; ++i) {
                if (ends[i].revents == 0) continue;
                ssize_t got = recv(ends[i].fd, buffer, sizeof buffer, 0);
                if (got <= 0 || send(ends[1 - i].fd, buffer, static_cast<size_t>(got), MSG_NOSIGNAL) != got) return;
            }
        }
    }

    sockaddr_in upstream{};
    int listener = -1;
    std::thread worker;
};

std::unique_ptr<posix::scsi_device_t> open_through(relay_t& relay, const posix::iscsi_address_t& address) {
    return open_or_fail("iscsi://127.0.0.1:" + std::to_string(relay.port) + "/" + address.target + "/" +
                        std::to_string(address.lun));
}

TEST(iscsi_Tgt, a_lost_connection_fails_this_command_and_every_later_one) {
    SKIP_WITHOUT_TARGET();
    posix::iscsi_address_t address;
    ASSERT_EQ(posix::parse_iscsi_url(target_url(), address), NO_ERROR);
    for (relay_t::mode_t loss : {relay_t::cut, relay_t::reset}) {
        SCOPED_TRACE(loss == relay_t::cut ? "closed" : "reset");
        relay_t relay(address.portal);
        auto device = open_through(relay, address);
        ASSERT_TRUE(device);
        tape_t tape(std::move(device));
        ASSERT_EQ(tape.test_unit_ready().reply.error, NO_ERROR);

        relay.mode = loss;
        while (!relay.closed) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        // A record to write: its data goes out by writev, whose broken pipe must not end the process.
        EXPECT_EQ(tape.write(record_of(read_length, 9)).reply.error, ERROR_IO_DEVICE);
        EXPECT_EQ(tape.test_unit_ready().reply.error, ERROR_DEVICE_NOT_CONNECTED);
        EXPECT_EQ(tape.read(read_length).reply.error, ERROR_DEVICE_NOT_CONNECTED);
    }
}

TEST(iscsi_Tgt, a_portal_that_never_answers_the_login_fails_to_open) {
    SKIP_WITHOUT_TARGET();
    posix::iscsi_address_t address;
    ASSERT_EQ(posix::parse_iscsi_url(target_url(), address), NO_ERROR);
    relay_t relay(address.portal);
    relay.mode = relay_t::stall;
    std::unique_ptr<posix::scsi_device_t> device;
    auto start = std::chrono::steady_clock::now();
    std::string url = "iscsi://127.0.0.1:" + std::to_string(relay.port) + "/" + address.target + "/1";
    EXPECT_EQ(posix::open_iscsi_device(url.c_str(), device), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(device);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(iscsi_Tgt, a_command_without_answer_times_out) {
    SKIP_WITHOUT_TARGET();
    posix::iscsi_address_t address;
    ASSERT_EQ(posix::parse_iscsi_url(target_url(), address), NO_ERROR);
    relay_t relay(address.portal);
    auto device = open_through(relay, address);
    ASSERT_TRUE(device);
    tape_t tape(std::move(device));

    relay.mode = relay_t::stall;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(tape.test_unit_ready(1).reply.error, ERROR_SEM_TIMEOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(tape.test_unit_ready().reply.error, ERROR_DEVICE_NOT_CONNECTED);
}

}  // namespace
