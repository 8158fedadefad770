#pragma once
// A small port server on loopback for the network port's tests: it plays one
// script (silent, torn negotiation, odd parity, or a well-behaved RFC 2217 or
// raw server answering 0x81 with 0x01) for one connection, on a thread of
// its own. Every wait is bounded; the destructor ends it.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

class ScriptedPortServer {
public:
    enum class Script {
        Silent,          // takes the connection and says nothing
        Torn,            // starts the telnet negotiation and hangs up
        OddParity,       // answers every setting, parity with odd
        Rfc2217,         // answers every setting as asked
        Raw,             // no telnet at all
    };
    // Raw and Rfc2217 answer a request byte 0x81 with 0x01; with
    // parityOnAnswer the n-th answer (from 1) comes after a parity error
    // notification.
    explicit ScriptedPortServer(Script script, int parityOnAnswer = 0)
        : script_(script), parityOn_(parityOnAnswer) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 1);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedPortServer() {
        stop_ = true;
        thread_.join();
        if (conn_ >= 0) ::close(conn_);
        ::close(listen_);
    }
    uint16_t port() const { return port_; }
    std::string url(const char* scheme) const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
    }
    // Hangs up the connection at once.
    void hangUp() { hangUp_ = true; }
    // Stops reading and answering, the connection left open, as a server
    // that hung or a host that went away.
    void freeze() { frozen_ = true; }

    // A free port nobody listens on: bound, read back and let go.
    static uint16_t closedPort() {
        int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
        ::close(s);
        return ntohs(a.sin_port);
    }

private:
    static constexpr uint8_t IAC = 255, SB = 250, SE = 240, DO = 253, WILL = 251, COM_PORT = 44;

    void send(std::vector<uint8_t> bytes) { (void)!::write(conn_, bytes.data(), bytes.size()); }

    // One telnet command of the client: answers its COM port requests.
    void subnegotiation(const std::vector<uint8_t>& sb) {
        if (sb.size() < 2 || sb[0] != COM_PORT) return;
        std::vector<uint8_t> answer = {IAC, SB, COM_PORT, uint8_t(sb[1] + 100)};
        for (size_t i = 2; i < sb.size(); ++i) {
            uint8_t v = sb[i];
            if (sb[1] == 3 && script_ == Script::OddParity) v = 2;
            answer.push_back(v);
            if (v == IAC) answer.push_back(IAC);
        }
        answer.insert(answer.end(), {IAC, SE});
        send(answer);
    }

    void data(uint8_t b) {
        if (b != 0x81) return;
        if (++answers_ == parityOn_) send({IAC, SB, COM_PORT, 106, 0x04, IAC, SE});
        send({0x01});
    }

    void run() {
        pollfd p{listen_, POLLIN, 0};
        while (!stop_ && ::poll(&p, 1, 20) <= 0) {}
        if (stop_) return;
        conn_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        int one = 1;
        setsockopt(conn_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const bool telnet = script_ != Script::Raw;
        if (script_ == Script::Torn) {
            send({IAC, DO});
            ::usleep(50000);
            ::close(conn_);
            conn_ = -1;
            return;
        }
        if (telnet && script_ != Script::Silent) send({IAC, DO, COM_PORT, IAC, WILL, COM_PORT});
        enum { Data, Iac, Option, Sub, SubIac } state = Data;
        std::vector<uint8_t> sb;
        while (!stop_) {
            if (hangUp_) {
                ::close(conn_);
                conn_ = -1;
                return;
            }
            pollfd c{conn_, frozen_ ? short(0) : short(POLLIN), 0};
            if (::poll(&c, 1, 20) <= 0 || frozen_) continue;
            uint8_t buf[256];
            ssize_t n = ::read(conn_, buf, sizeof buf);
            if (n <= 0) return;
            if (script_ == Script::Silent) continue;
            for (ssize_t i = 0; i < n; ++i) {
                const uint8_t b = buf[i];
                if (!telnet) {
                    data(b);
                    continue;
                }
                switch (state) {
                case Data: if (b == IAC) state = Iac; else data(b); break;
                case Iac:
                    if (b == IAC) { data(b); state = Data; }
                    else if (b == SB) { sb.clear(); state = Sub; }
                    else if (b >= 251) state = Option;
                    else state = Data;
                    break;
                case Option: state = Data; break;
                case Sub: if (b == IAC) state = SubIac; else sb.push_back(b); break;
                case SubIac:
                    if (b == SE) { subnegotiation(sb); state = Data; }
                    else { sb.push_back(b); state = Sub; }
                    break;
                }
            }
        }
    }

    Script script_;
    int parityOn_;
    int answers_ = 0;
    int listen_ = -1;
    int conn_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hangUp_{false};
    std::atomic<bool> frozen_{false};
    std::thread thread_;
};
