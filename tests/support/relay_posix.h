// A TCP relay on 127.0.0.1 between an iSCSI initiator and a target, that a test can stall or cut.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

class relay_t {
public:
    enum mode_t { forward, stall, cut, reset };  // cut closes; reset aborts with an RST

    // Relays one connection to portal ("HOST:PORT", IPv4).
    explicit relay_t(const std::string& portal);
    ~relay_t();
    relay_t(const relay_t&) = delete;

    std::string url(const std::string& target, const std::string& query = "") const
    {
        return "iscsi://127.0.0.1:" + std::to_string(port) + "/" + target + "/1" + query;
    }
    // Stalls, holding what it got, as the initiator sends the count-th SCSI command with this
    // operation code; mode = forward lets it go on.
    void stall_at(uint8_t operation, int count) { trigger_operation = operation, trigger_count = count; }

    std::atomic<mode_t> mode{forward};
    std::atomic<bool> closed{false};

private:
    void serve();
    void pump(int client, int server);
    bool triggers(const char* data, size_t size);

    sockaddr_in upstream{};
    int listener = -1, port = 0;
    std::atomic<int> trigger_operation{-1}, trigger_count{0};
    std::vector<uint8_t> header;  // the initiator's PDU header being read
    size_t skip = 0;              // bytes of the current PDU behind its header
    std::thread worker;
};
