#pragma once
// A small port server on loopback for the network port's tests: it plays one
// script (silent, torn negotiation, odd parity, a telnet server without the
// COM port option, a busy port, a close right after the accept, or a
// well-behaved RFC 2217 or raw server answering 0x81 with 0x01) for one
// connection, on a thread of its own, on 127.0.0.1 or ::1, in clear or over
// TLS with the certificate it is given. Every wait is bounded; the
// destructor ends it.
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
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
        PlainTelnet,     // a login's telnet server: refuses the COM port option
        Busy,            // says its serial port is in use and hangs up, as ser2net's raw port does
        BusyTelnet,      // the same after ser2net's telnet greeting
        ClosesAtOnce,    // hangs up as soon as it took the connection
    };
    // Where it listens and how it speaks.
    struct Where {
        bool ipv6 = false;     // on ::1 instead of 127.0.0.1
        std::string tlsCert;   // set: TLS with this certificate (PEM) and key
        std::string tlsKey;
    };
    // Raw and Rfc2217 answer a request byte 0x81 with 0x01; with
    // parityOnAnswer the n-th answer (from 1) comes after a parity error
    // notification.
    explicit ScriptedPortServer(Script script, int parityOnAnswer = 0) : ScriptedPortServer(script, Where{}, parityOnAnswer) {}
    ScriptedPortServer(Script script, const Where& where, int parityOnAnswer = 0)
        : script_(script), parityOn_(parityOnAnswer), ipv6_(where.ipv6), tlsWanted_(!where.tlsCert.empty()) {
        if (!where.tlsCert.empty()) {
            tls_ = SSL_CTX_new(TLS_server_method());
            if (SSL_CTX_use_certificate_chain_file(tls_, where.tlsCert.c_str()) != 1 ||
                SSL_CTX_use_PrivateKey_file(tls_, where.tlsKey.c_str(), SSL_FILETYPE_PEM) != 1) {
                SSL_CTX_free(tls_);
                tls_ = nullptr;
            }
        }
        listen_ = ::socket(ipv6_ ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage st{};
        socklen_t len = sizeof st;
        if (ipv6_) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&st);
            a->sin6_family = AF_INET6;
            a->sin6_addr = in6addr_loopback;
            ::bind(listen_, reinterpret_cast<sockaddr*>(a), sizeof *a);
        } else {
            auto* a = reinterpret_cast<sockaddr_in*>(&st);
            a->sin_family = AF_INET;
            a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            ::bind(listen_, reinterpret_cast<sockaddr*>(a), sizeof *a);
        }
        ::listen(listen_, 1);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&st), &len);
        port_ = ntohs(ipv6_ ? reinterpret_cast<sockaddr_in6*>(&st)->sin6_port : reinterpret_cast<sockaddr_in*>(&st)->sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedPortServer() {
        stop_ = true;
        thread_.join();
        if (ssl_) SSL_free(ssl_);
        if (tls_) SSL_CTX_free(tls_);
        if (conn_ >= 0) ::close(conn_);
        ::close(listen_);
    }
    uint16_t port() const { return port_; }
    std::string url(const char* scheme) const {
        return std::string(scheme) + (ipv6_ ? "://[::1]:" : "://127.0.0.1:") + std::to_string(port_);
    }
    // False when the TLS certificate or key did not load.
    bool ready() const { return listen_ >= 0 && port_ != 0 && (!tlsWanted_ || tls_); }
    // The bytes that reached its serial line: data, not telnet commands.
    unsigned lineBytes() const { return lineBytes_; }
    // The client took part in a TLS handshake to the end.
    bool tlsDone() const { return tlsDone_; }
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
    static constexpr uint8_t IAC = 255, SB = 250, SE = 240, DO = 253, DONT = 254, WILL = 251, WONT = 252,
                             COM_PORT = 44;

    void send(std::vector<uint8_t> bytes) {
        if (ssl_) (void)SSL_write(ssl_, bytes.data(), int(bytes.size()));
        else (void)!::write(conn_, bytes.data(), bytes.size());
    }
    ssize_t receive(uint8_t* buf, size_t size) {
        if (!ssl_) return ::read(conn_, buf, size);
        const int n = SSL_read(ssl_, buf, int(size));
        if (n > 0) return n;
        // A record not complete yet, or one that held no data.
        return SSL_get_error(ssl_, n) == SSL_ERROR_WANT_READ ? -2 : -1;
    }
    // Closes the connection, with TLS's close notification when it has one.
    void hangUpNow() {
        if (ssl_) {
            SSL_shutdown(ssl_);
            SSL_free(ssl_);
            ssl_ = nullptr;
        }
        ::close(conn_);
        conn_ = -1;
    }

    // A telnet option the client asks for or offers: a login's server has
    // no COM port option, nor any other it is asked about.
    void option(uint8_t verb, uint8_t opt) {
        if (script_ != Script::PlainTelnet || opt == 1 || opt == 3 || opt == 24) return;
        if (verb == DO) send({IAC, WONT, opt});
        else if (verb == WILL) send({IAC, DONT, opt});
    }

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
        ++lineBytes_;
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
        if (script_ == Script::ClosesAtOnce) return hangUpNow();
        if (tls_ && !handshake()) return hangUpNow();
        const bool telnet = script_ != Script::Raw;
        if (script_ == Script::Torn) {
            send({IAC, DO});
            ::usleep(50000);
            return hangUpNow();
        }
        if (script_ == Script::Busy || script_ == Script::BusyTelnet) {
            if (script_ == Script::BusyTelnet)
                send({IAC, WILL, 3, IAC, DO, 3, IAC, WILL, 1, IAC, DONT, 1, IAC, DO, 0, IAC, WILL, 0, IAC, DO, COM_PORT});
            const std::string text = "Port already in use\r\n";
            send(std::vector<uint8_t>(text.begin(), text.end()));
            ::usleep(20000);
            return hangUpNow();
        }
        if (script_ == Script::PlainTelnet) send({IAC, DO, 24, IAC, WILL, 1, IAC, WILL, 3});
        else if (telnet && script_ != Script::Silent) send({IAC, DO, COM_PORT, IAC, WILL, COM_PORT});
        enum { Data, Iac, Option, Sub, SubIac } state = Data;
        uint8_t verb = 0;
        std::vector<uint8_t> sb;
        while (!stop_) {
            if (hangUp_) return hangUpNow();
            pollfd c{conn_, frozen_ ? short(0) : short(POLLIN), 0};
            const bool pending = ssl_ && SSL_pending(ssl_) > 0;
            if ((!pending && ::poll(&c, 1, 20) <= 0) || frozen_) continue;
            uint8_t buf[256];
            ssize_t n = receive(buf, sizeof buf);
            if (n == -2) continue;
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
                    else if (b >= 251) { verb = b; state = Option; }
                    else state = Data;
                    break;
                case Option: option(verb, b); state = Data; break;
                case Sub: if (b == IAC) state = SubIac; else sb.push_back(b); break;
                case SubIac:
                    if (b == SE) { subnegotiation(sb); state = Data; }
                    else { sb.push_back(b); state = Sub; }
                    break;
                }
            }
        }
    }

    // The server's side of TLS, bounded by the socket's own timeouts.
    bool handshake() {
        timeval bound{3, 0};
        setsockopt(conn_, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
        setsockopt(conn_, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
        ssl_ = SSL_new(tls_);
        SSL_set_fd(ssl_, conn_);
        if (SSL_accept(ssl_) != 1) {
            ERR_clear_error();
            SSL_free(ssl_);
            ssl_ = nullptr;
            return false;
        }
        tlsDone_ = true;
        timeval shortBound{0, 200000};
        setsockopt(conn_, SOL_SOCKET, SO_RCVTIMEO, &shortBound, sizeof shortBound);
        return true;
    }

    Script script_;
    int parityOn_;
    bool ipv6_;
    bool tlsWanted_;
    SSL_CTX* tls_ = nullptr;
    SSL* ssl_ = nullptr;
    std::atomic<unsigned> lineBytes_{0};
    std::atomic<bool> tlsDone_{false};
    int answers_ = 0;
    int listen_ = -1;
    int conn_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hangUp_{false};
    std::atomic<bool> frozen_{false};
    std::thread thread_;
};
