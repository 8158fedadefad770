#pragma once
// A bus reached over the network: a device server that speaks telnet with
// the COM port option (rfc2217://HOST:PORT) or a raw TCP port whose far side
// its owner configured (tcp://HOST:PORT). The telnet and COM port protocol
// come from libgensio; this class gives them the byte line's shape, with
// every wait bounded.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ByteTransport.h"

struct NetworkAddress {
    enum class Scheme { Rfc2217, Tcp };
    Scheme scheme = Scheme::Tcp;
    std::string host;       // a host name, a dotted IPv4 address or an IPv6 address (without brackets)
    bool ipv6 = false;
    uint16_t port = 0;
};

// Whether path names a network port at all (begins with "rfc2217://" or
// "tcp://"); such a path is never a device file.
bool isNetworkPortPath(const std::string& path);

// Strict: the scheme, "://", a host name (letters, digits, hyphens and dots
// in labels of 1 to 63), a dotted IPv4 address or an IPv6 address in
// brackets, ":", a port 1 to 65535 in decimal, and nothing else.
bool parseNetworkAddress(const std::string& path, NetworkAddress& address);

class NetworkPort : public ByteTransport {
public:
    // How long the connection, the negotiation of the settings (all of them
    // together) and a write may take.
    static constexpr uint32_t ConnectBoundMs = 3000;
    static constexpr uint32_t NegotiationBoundMs = 3000;
    static constexpr uint32_t WriteBoundMs = 1000;
    // A silent line over telnet: after this long without a word from the
    // server, a read that times out asks it for its baud rate. The library
    // gives such a request 5 s (ProbeBoundMs, its own, for closing with
    // one open); a server that lets it time out stopped answering, and the
    // port is lost. Over raw TCP only the socket's keepalive can tell a
    // dead host from a silent bus.
    static constexpr uint32_t ProbeAfterMs = 500;
    static constexpr uint32_t ProbeBoundMs = 6000;

    NetworkPort();
    ~NetworkPort() override;
    NetworkPort(const NetworkPort&) = delete;
    NetworkPort& operator=(const NetworkPort&) = delete;

    bool open(const std::string& url) override;
    PortOpenFailure lastOpenFailure() const override { return failure_; }
    bool close() override;
    ReadStatus readByte(uint32_t timeoutMs, uint8_t& byte) override;
    // Sends at once (Nagle is off); there is no transmitter to wait for.
    bool writeByte(uint8_t byte) override;
    // Drops what has arrived here. The server is not asked to flush: its
    // purge request and our next request would race on the wire, and what
    // it still holds for us is at most the tail of an answer the settle's
    // silence already lets arrive and be dropped.
    bool purge() override;
    // The line errors the server notified since the last call; the server
    // cannot say which byte was damaged, so any of them fails the running
    // transaction. False once the connection is gone.
    bool takeErrors(LineErrors& errors) override;

    struct State;

private:
    bool refuse(PortProblem problem);
    std::shared_ptr<State> state_;
    PortOpenFailure failure_;
};
