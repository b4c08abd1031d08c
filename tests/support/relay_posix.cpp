#include "tests/support/relay_posix.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

relay_t::relay_t(const std::string& portal)
{
    const size_t colon = portal.rfind(':');
    upstream.sin_family = AF_INET;
    upstream.sin_port = htons(static_cast<uint16_t>(std::stoi(portal.substr(colon + 1))));
    inet_pton(AF_INET, portal.substr(0, colon).c_str(), &upstream.sin_addr);
    listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof local;
    bind(listener, reinterpret_cast<sockaddr*>(&local), size), listen(listener, 1);
    getsockname(listener, reinterpret_cast<sockaddr*>(&local), &size);
    port = ntohs(local.sin_port);
    worker = std::thread([this] { serve(); });
}

relay_t::~relay_t() { mode = cut, shutdown(listener, SHUT_RDWR), worker.join(), close(listener); }

void relay_t::serve()
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

// Finds the PDU headers (48 bytes, then AHS and the data segment padded to 4) in the initiator's
// stream; true when the triggering SCSI command (opcode 0x01, CDB at byte 32) is among them.
bool relay_t::triggers(const char* data, size_t size)
{
    bool hit = false;
    for (size_t at = 0; at < size;) {
        if (skip > 0) {
            const size_t n = std::min(skip, size - at);
            skip -= n, at += n;
            continue;
        }
        header.push_back(static_cast<uint8_t>(data[at++]));
        if (header.size() < 48) continue;
        const size_t data_length = size_t(header[5]) << 16 | size_t(header[6]) << 8 | header[7];
        skip = header[4] * 4u + ((data_length + 3) & ~size_t(3));
        if ((header[0] & 0x3F) == 0x01 && header[32] == trigger_operation && --trigger_count == 0) hit = true;
        header.clear();
    }
    return hit;
}

void relay_t::pump(int client, int server)
{
    std::vector<char> held;  // the initiator's bytes not yet passed on
    char buffer[65536];
    while (mode != cut && mode != reset) {
        if (mode == forward && !held.empty()) {
            if (send(server, held.data(), held.size(), MSG_NOSIGNAL) != ssize_t(held.size())) return;
            held.clear();
        }
        pollfd ends[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (poll(ends, 2, 50) <= 0 || mode == stall) continue;
        for (int i = 0; i < 2; ++i) {
            if (ends[i].revents == 0) continue;
            const ssize_t got = recv(ends[i].fd, buffer, sizeof buffer, 0);
            if (got <= 0) return;
            if (i == 0) {
                held.insert(held.end(), buffer, buffer + got);
                if (triggers(buffer, size_t(got))) mode = stall;
            } else if (send(client, buffer, size_t(got), MSG_NOSIGNAL) != got) {
                return;
            }
        }
    }
}
