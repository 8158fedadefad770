#pragma once
// A relay on loopback that holds every byte for half a round trip each way,
// as a wide-area link between the program and its device server does:
// connections to its port are joined to the target's port, one after the
// other, on a thread of its own. What arrives is sent on when its half round
// trip is over, in the order it came. Every wait is bounded (20 ms at most
// when idle); stop() or the destructor ends it and closes both sides.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <thread>
#include <vector>

class DelayRelay {
public:
    DelayRelay(uint16_t targetPort, uint32_t roundTripMs) : target_(targetPort), half_(roundTripMs * 1000 / 2) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = loopback(0);
        socklen_t len = sizeof a;
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 4);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~DelayRelay() { stop(); }
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;

    uint16_t port() const { return port_; }
    std::string url(const char* scheme) const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
    }
    void stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (listen_ >= 0) ::close(listen_);
        listen_ = -1;
    }

private:
    using Clock = std::chrono::steady_clock;
    struct Held {
        Clock::time_point due;
        std::vector<uint8_t> bytes;
    };
    // One direction: what was read from `from`, held for `to`.
    struct Way {
        int from = -1, to = -1;
        std::deque<Held> held;
        bool ended = false;   // `from` closed; `to` is shut once held is sent
    };

    static sockaddr_in loopback(uint16_t port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        return a;
    }
    static void noDelay(int fd) {
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }

    void run() {
        while (!stop_) {
            pollfd p{listen_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a = loopback(target_);
            // On loopback a connect is answered at once, taken or refused.
            if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                ::close(server);
                ::close(client);
                continue;
            }
            noDelay(client);
            noDelay(server);
            relay(client, server);
            ::close(client);
            ::close(server);
        }
    }

    // Joins one connection until either side has closed and what it sent
    // has been delivered, or the relay stops.
    void relay(int client, int server) {
        Way ways[2];
        ways[0].from = client, ways[0].to = server;
        ways[1].from = server, ways[1].to = client;
        while (!stop_ && !(ways[0].ended && ways[0].held.empty()) && !(ways[1].ended && ways[1].held.empty())) {
            const auto now = Clock::now();
            for (Way& way : ways) {
                while (!way.held.empty() && way.held.front().due <= now) {
                    const auto& bytes = way.held.front().bytes;
                    if (::send(way.to, bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0) way.ended = true;
                    way.held.pop_front();
                }
            }
            int waitMs = 20;
            for (const Way& way : ways)
                if (!way.held.empty()) {
                    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(way.held.front().due - now);
                    waitMs = std::clamp(int(left.count()), 0, waitMs);
                }
            // An ended side is left out: its hang-up would wake the poll at once.
            pollfd p[2] = {{ways[0].ended ? -1 : client, POLLIN, 0}, {ways[1].ended ? -1 : server, POLLIN, 0}};
            // A millisecond's rounding would otherwise send up to 1 ms early;
            // a wait of 0 is taken as 1.
            if (::poll(p, 2, std::max(waitMs, 1)) <= 0) continue;
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                uint8_t buf[4096];
                const ssize_t n = ::read(ways[i].from, buf, sizeof buf);
                if (n <= 0) {
                    ways[i].ended = true;
                    continue;
                }
                ways[i].held.push_back({Clock::now() + std::chrono::microseconds(half_), {buf, buf + n}});
            }
        }
    }

    uint16_t target_;
    uint32_t half_;   // microseconds
    int listen_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
