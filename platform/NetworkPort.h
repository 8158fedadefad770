#pragma once
// A bus reached over the network: a device server that speaks telnet with
// the COM port option (rfc2217://HOST:PORT) or a raw TCP port whose far side
// its owner configured (tcp://HOST:PORT), either of them over TLS
// (rfc2217s://, tcps://). Each port is its own socket, waited on only by the
// thread that uses it: ports on several buses share nothing. Every wait is
// bounded.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "platform/ByteTransport.h"
#include "platform/NetworkAddress.h"

class TelnetComPort;
class TlsChannel;

class NetworkPort : public ByteTransport {
public:
    // How long the name's lookup, the connection (every address the name
    // has), the negotiation of the settings (all of them together) and a
    // write may take.
    static constexpr uint32_t LookupBoundMs = 3000;
    static constexpr uint32_t ConnectBoundMs = 3000;
    static constexpr uint32_t NegotiationBoundMs = 3000;
    static constexpr uint32_t WriteBoundMs = 1000;
    // A telnet server opens the negotiation as soon as it takes the
    // connection; one silent this long is not a telnet server.
    static constexpr uint32_t GreetingMs = 1000;
    // rfc2217s:// listens this long for a plain telnet server's greeting
    // before it sends its own.
    static constexpr uint32_t PlainGreetingMs = 150;
    // A silent line over telnet: after this long without a word from the
    // server, a read that times out asks it for its baud rate; a server that
    // leaves the question open for ProbeBoundMs stopped answering, and the
    // port is lost. Over raw TCP only the socket's keepalive can tell a dead
    // host from a silent bus.
    static constexpr uint32_t ProbeAfterMs = 500;
    static constexpr uint32_t ProbeBoundMs = 6000;
    // One byte on the far side's 9600-baud line: start, 8 data, parity, stop.
    static constexpr uint32_t WireByteUs = 1146;

    // caFile: the authorities' file for TLS, asked at each open; empty: the system's.
    explicit NetworkPort(std::function<std::string()> caFile = {});
    ~NetworkPort() override;
    NetworkPort(const NetworkPort&) = delete;
    NetworkPort& operator=(const NetworkPort&) = delete;

    bool open(const std::string& url) override;
    PortOpenFailure lastOpenFailure() const override { return failure_; }
    bool close() override;
    // A wait for an answer starts when the request has reached the far
    // line: the round trip and the wire time of what is queued there are
    // added to the first byte's timeout.
    ReadStatus readByte(uint32_t timeoutMs, uint8_t& byte) override;
    // A request's bytes leave together, at the next read or purge, so the
    // server puts them on its line without gaps between network packets.
    bool writeByte(uint8_t byte) override;
    // Sends what was written, then drops what has arrived here. The server
    // is not asked to flush: its purge and our next request would race.
    bool purge() override;
    // The line errors the server notified since the last call; the server
    // cannot say which byte was damaged, so any of them fails the running
    // transaction. False once the connection is gone.
    bool takeErrors(LineErrors& errors) override;

    // The round trip the port counts with, in microseconds.
    uint32_t roundTripUs() const;

private:
    bool refuse(PortProblem problem, const std::string& detail = {});
    bool negotiate(const NetworkAddress& address);
    bool unexpectedBytes(PortProblem& problem, std::string& detail) const;
    void teardown();
    // Runs the socket until ready() or the deadline; true when ready().
    template <typename Ready>
    bool pump(int64_t deadlineMs, Ready ready);
    void receiveAvailable();
    bool sendQueued(int64_t deadlineMs);
    void takeIn(const uint8_t* bytes, size_t count);
    void releaseWrites();
    void probeIfDue();

    std::function<std::string()> caFile_;
    PortOpenFailure failure_;
    int fd_ = -1;
    std::unique_ptr<TlsChannel> tls_;
    std::unique_ptr<TelnetComPort> telnet_;
    std::deque<uint8_t> input_;
    std::string written_;   // the request's bytes, not yet sent
    size_t writtenCount_ = 0;
    std::string out_;       // on its way to the socket
    bool closed_ = false;
    bool tlsWantsWrite_ = false;
    int64_t heardMs_ = 0;
    int64_t probeSentMs_ = 0;
    unsigned probeAnswersBefore_ = 0;
    bool probeTimedOut_ = false;
    uint32_t telnetRoundTripUs_ = 0;
    int64_t farLineFreeUs_ = 0;  // when what we sent has left the far line, on the monotonic clock
    bool awaitingAnswer_ = false;
    // An answer that came after its wait had ended tells a round trip the
    // socket cannot see (a relay, a device server behind a proxy): the time
    // from its request's release to its first byte, kept as a floor.
    int64_t releasedUs_ = 0;
    bool waitEndedUnanswered_ = false;
    uint32_t lateAnswerUs_ = 0;
    LineErrors errors_;
};
