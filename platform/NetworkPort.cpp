#include "platform/NetworkPort.h"

#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <mutex>

#include "platform/NetConnect.h"
#include "platform/TelnetComPort.h"
#include "platform/TlsChannel.h"

namespace {

// A late answer teaches at most this much round trip: a stray byte after a
// silent device must not slow every wait after it for good.
constexpr int64_t LateAnswerCapUs = 400000;

int64_t monotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// A peer that went away makes a socket write raise SIGPIPE, which would end
// the program: ignored once for the process, the write fails with EPIPE.
void ignoreBrokenPipes() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction now {};
        if (sigaction(SIGPIPE, nullptr, &now) == 0 && now.sa_handler == SIG_DFL) {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            sigemptyset(&ignore.sa_mask);
            sigaction(SIGPIPE, &ignore, nullptr);
        }
    });
}

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// What a server says in words before it hangs up, on one line.
std::string oneLine(const std::deque<uint8_t>& bytes) {
    std::string text;
    for (uint8_t b : bytes) {
        if (text.size() >= 120) break;
        if (b == '\r' || b == '\n') {
            if (!text.empty() && text.back() != ' ') text += ' ';
        } else if (b >= 0x20 && b < 0x7F) {
            text += char(b);
        }
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

const char* parityName(uint32_t v) {
    switch (v) {
    case 1: return "none";
    case 2: return "odd";
    case 3: return "even";
    case 4: return "mark";
    case 5: return "space";
    default: return "?";
    }
}

}  // namespace

NetworkPort::NetworkPort(std::function<std::string()> caFile) : caFile_(std::move(caFile)) {}

NetworkPort::~NetworkPort() { close(); }

uint32_t NetworkPort::roundTripUs() const {
    const uint32_t kernel = fd_ >= 0 ? kernelRoundTripUs(fd_) : 0;
    return std::max({kernel, telnetRoundTripUs_, lateAnswerUs_});
}

void NetworkPort::teardown() {
    if (fd_ >= 0) {
        // Nothing is waited for: the server's goodbye is not ours to need.
        if (tls_) tls_->shutdown();
        ::close(fd_);
    }
    fd_ = -1;
    tls_.reset();
    telnet_.reset();
    input_.clear();
    written_.clear();
    writtenCount_ = 0;
    out_.clear();
    closed_ = false;
    tlsWantsWrite_ = false;
    probeSentMs_ = 0;
    probeTimedOut_ = false;
    telnetRoundTripUs_ = 0;
    farLineFreeUs_ = 0;
    awaitingAnswer_ = false;
    releasedUs_ = 0;
    waitEndedUnanswered_ = false;
    lateAnswerUs_ = 0;
    errors_ = LineErrors{};
}

bool NetworkPort::refuse(PortProblem problem, const std::string& detail) {
    failure_.problem = problem;
    failure_.detail = detail;
    teardown();
    return false;
}

void NetworkPort::takeIn(const uint8_t* bytes, size_t count) {
    if (count == 0) return;
    heardMs_ = monotonicMs();
    if (telnet_) {
        telnet_->receive(bytes, count, input_, heardMs_);
        out_ += telnet_->takeOutput();
        bool parity, framing, overrun;
        if (telnet_->takeLineErrors(parity, framing, overrun)) {
            errors_.parity |= parity;
            errors_.framing |= framing;
            errors_.overrun |= overrun;
        }
        if (probeSentMs_ != 0 && telnet_->answerCount() > probeAnswersBefore_) {
            // The answer's time is the round trip's, give or take the server's turn.
            const uint32_t sample = uint32_t(std::max<int64_t>(0, heardMs_ - probeSentMs_) * 1000);
            telnetRoundTripUs_ = telnetRoundTripUs_ == 0 ? sample : (7 * telnetRoundTripUs_ + sample) / 8;
            probeSentMs_ = 0;
        }
    } else {
        input_.insert(input_.end(), bytes, bytes + count);
    }
    if (waitEndedUnanswered_ && !input_.empty()) {
        waitEndedUnanswered_ = false;
        const int64_t late = monotonicUs() - releasedUs_;
        lateAnswerUs_ = uint32_t(std::min<int64_t>(std::max<int64_t>(lateAnswerUs_, late), LateAnswerCapUs));
    }
}

void NetworkPort::receiveAvailable() {
    uint8_t buffer[4096];
    for (int round = 0; round < 64 && !closed_; ++round) {
        if (tls_) {
            size_t count = 0;
            switch (tls_->read(buffer, sizeof buffer, count)) {
            case TlsChannel::Io::Done: takeIn(buffer, count); continue;
            case TlsChannel::Io::WantRead: return;
            case TlsChannel::Io::WantWrite: tlsWantsWrite_ = true; return;
            case TlsChannel::Io::Closed: closed_ = true; return;
            }
        }
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            takeIn(buffer, size_t(n));
            if (size_t(n) < sizeof buffer) return;
        } else if (n == 0) {
            closed_ = true;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return;
        } else if (errno != EINTR) {
            closed_ = true;
        }
    }
}

// Sends what is queued, waiting for room until the deadline; false when
// the connection went or the deadline passed with bytes left.
bool NetworkPort::sendQueued(int64_t deadlineMs) {
    while (!out_.empty() && !closed_) {
        size_t sent = 0;
        bool full = false;
        if (tls_) {
            switch (tls_->write(reinterpret_cast<const uint8_t*>(out_.data()), out_.size(), sent)) {
            case TlsChannel::Io::Done: break;
            case TlsChannel::Io::WantRead:
            case TlsChannel::Io::WantWrite: full = true; break;
            case TlsChannel::Io::Closed: closed_ = true; return false;
            }
        } else {
            const ssize_t n = ::send(fd_, out_.data(), out_.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n >= 0) sent = size_t(n);
            else if (errno == EAGAIN || errno == EWOULDBLOCK) full = true;
            else if (errno != EINTR) {
                closed_ = true;
                return false;
            }
        }
        out_.erase(0, sent);
        if (!full) continue;
        const int64_t left = deadlineMs - monotonicMs();
        if (left <= 0) return false;
        pollfd p{fd_, short(POLLOUT | POLLIN), 0};
        if (::poll(&p, 1, int(left)) > 0 && (p.revents & POLLIN)) receiveAvailable();
    }
    return !closed_;
}

template <typename Ready>
bool NetworkPort::pump(int64_t deadlineMs, Ready ready) {
    for (;;) {
        if (!out_.empty()) sendQueued(monotonicMs() + WriteBoundMs);
        if (ready()) return true;
        if (closed_) return false;
        if (tls_ && tls_->pending()) {
            receiveAvailable();
            continue;
        }
        const int64_t left = deadlineMs - monotonicMs();
        if (left <= 0) return false;
        pollfd p{fd_, short(POLLIN | (tlsWantsWrite_ ? POLLOUT : 0)), 0};
        const int n = ::poll(&p, 1, int(std::min<int64_t>(left, 60000)));
        if (n < 0 && errno != EINTR) closed_ = true;
        if (n > 0) {
            tlsWantsWrite_ = false;
            if (p.revents & (POLLIN | POLLHUP | POLLERR | POLLOUT)) receiveAvailable();
        }
    }
}

// Bytes the server sent that are not what the scheme expects: a telnet
// server's hello on a TLS port, a TLS alert on a telnet one, a busy text.
bool NetworkPort::unexpectedBytes(PortProblem& problem, std::string& detail) const {
    if (input_.empty()) return false;
    const std::string text = oneLine(input_);
    if (lower(text).find("in use") != std::string::npos) {
        problem = PortProblem::RemoteInUse;
        detail = text;
    } else if (input_.size() >= 2 && (input_[0] == 0x15 || input_[0] == 0x16) && input_[1] == 0x03) {
        problem = PortProblem::TlsNotSpoken;  // a TLS record: the port wants TLS
    } else {
        problem = PortProblem::NotTelnet;
        detail = text;
    }
    return true;
}

bool NetworkPort::open(const std::string& url) {
    if (fd_ >= 0) return false;
    ignoreBrokenPipes();
    failure_ = PortOpenFailure{};
    failure_.path = url;
    NetworkAddress address;
    PortProblem problem;
    std::string detail;
    if (!parseNetworkAddress(url, address, problem, detail)) return refuse(problem, detail);
    Connected c = connectToServer(address, LookupBoundMs, ConnectBoundMs);
    if (c.fd < 0) return refuse(c.problem, c.detail);
    fd_ = c.fd;
    heardMs_ = monotonicMs();
    if (address.tls && address.scheme == NetworkAddress::Scheme::Rfc2217) {
        // A TLS server waits for our greeting; a plain telnet server opens
        // with its own, which tells us without a byte of ours on its line.
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, int(PlainGreetingMs)) > 0) return refuse(PortProblem::TlsNotSpoken);
    }
    if (address.tls) {
        tls_ = std::make_unique<TlsChannel>();
        const std::string ca = caFile_ ? caFile_() : std::string();
        problem = tls_->handshake(fd_, address.host, address.ipv6 || c.peer == address.host, ca,
                                  monotonicMs() + NegotiationBoundMs, detail);
        if (problem != PortProblem::None) return refuse(problem, detail);
    }
    if (address.scheme == NetworkAddress::Scheme::Rfc2217) return negotiate(address);
    // A raw port has nothing to say; a server that hangs up at once (busy,
    // or not for us) does so within a few round trips.
    const int64_t settle = std::max<int64_t>(100, 3 * int64_t(roundTripUs()) / 1000);
    pump(monotonicMs() + settle, [&] { return closed_; });
    if (closed_) {
        if (!unexpectedBytes(problem, detail) || problem != PortProblem::RemoteInUse) {
            problem = PortProblem::ClosedAtOnce;
            detail = oneLine(input_);
        }
        return refuse(problem, detail);
    }
    input_.clear();
    return true;
}

bool NetworkPort::negotiate(const NetworkAddress&) {
    telnet_ = std::make_unique<TelnetComPort>();
    PortProblem problem;
    std::string detail;
    // What was settled when the server hung up, for the message.
    auto lost = [&] {
        if (unexpectedBytes(problem, detail) && problem != PortProblem::NotTelnet) return refuse(problem, detail);
        if (!telnet_->spokeTelnet()) return refuse(PortProblem::ClosedAtOnce, oneLine(input_));
        static const char* const names[] = {"baud", "data bits", "parity", "stop bits", "flow control"};
        detail = "telnet";
        if (telnet_->comPortAgreed()) detail += ", RFC 2217";
        for (int s = TelnetComPort::Baud; s <= TelnetComPort::Control; ++s)
            if (telnet_->answered(TelnetComPort::Setting(s))) detail += ", " + std::string(names[s]);
        return refuse(PortProblem::ClosedInNegotiation, detail);
    };
    // The server's opening, if it makes one. Bytes that are not telnet mean
    // a raw port (or a busy or TLS one): nothing of ours goes to its bus.
    const int64_t start = monotonicMs();
    pump(start + GreetingMs, [&] { return telnet_->spokeTelnet() || !input_.empty() || closed_; });
    if (!telnet_->spokeTelnet() && !input_.empty() && unexpectedBytes(problem, detail)) {
        if (closed_ || problem != PortProblem::NotTelnet) return refuse(problem, detail);
        pump(monotonicMs() + 100, [&] { return closed_; });  // a busy text's end
        if (closed_) return lost();
        return refuse(problem, detail);
    }
    if (closed_) return lost();
    // A server silent through the greeting is not one that speaks telnet
    // (a raw port, or one that wants TLS): our negotiation would go out on
    // its line as bytes, so nothing is sent.
    if (!telnet_->spokeTelnet()) return refuse(PortProblem::NotTelnet);
    telnet_->start();
    out_ += telnet_->takeOutput();
    const int64_t end = start + NegotiationBoundMs;
    if (!pump(end, [&] { return telnet_->comPortAgreed() || telnet_->comPortRefused() || closed_; })) {
        if (closed_) return lost();
        return refuse(PortProblem::Stalled);
    }
    if (closed_) return lost();
    if (telnet_->comPortRefused()) return refuse(PortProblem::NoComPortOption);
    const int64_t settingsAsked = monotonicMs();
    telnet_->askSettings();
    out_ += telnet_->takeOutput();
    if (!pump(end, [&] { return telnet_->allAnswered() || closed_; }) || closed_) {
        if (closed_) return lost();
        static const char* const names[] = {"baud", "data bits", "parity", "stop bits", "flow control"};
        for (int s = TelnetComPort::Baud; s <= TelnetComPort::Control; ++s)
            if (!telnet_->answered(TelnetComPort::Setting(s))) detail += (detail.empty() ? "" : ", ") + std::string(names[s]);
        return refuse(PortProblem::Stalled, detail);
    }
    telnetRoundTripUs_ = uint32_t(std::max<int64_t>(0, telnet_->lastAnswerMs() - settingsAsked) * 1000);
    // Each answer carries the value the server took.
    using T = TelnetComPort;
    auto took = [&](T::Setting s) { return telnet_->value(s); };
    if (took(T::Baud) != 9600) detail += std::to_string(took(T::Baud)) + " baud";
    if (took(T::DataSize) != 8)
        detail += (detail.empty() ? "" : ", ") + std::to_string(took(T::DataSize)) + " data bits";
    if (took(T::Parity) != 3) detail += (detail.empty() ? "" : ", ") + std::string(parityName(took(T::Parity))) + " parity";
    if (took(T::StopSize) != 1)
        detail += (detail.empty() ? "" : ", ") + std::string(took(T::StopSize) == 3 ? "1.5" : std::to_string(took(T::StopSize))) + " stop bits";
    const bool inboundStops = telnet_->answered(T::InboundControl) && took(T::InboundControl) != 14;
    if (took(T::Control) != 1 || inboundStops) detail += (detail.empty() ? "" : ", ") + std::string("flow control");
    if (!detail.empty()) return refuse(PortProblem::SettingsRefused, detail);
    input_.clear();
    errors_ = LineErrors{};
    heardMs_ = monotonicMs();
    return true;
}

bool NetworkPort::close() {
    if (fd_ < 0) return false;
    releaseWrites();
    sendQueued(monotonicMs());  // what fits without waiting
    teardown();
    return true;
}

// The written request goes out in one piece; the far line is busy with it
// from half a round trip on, one wire byte time per byte.
void NetworkPort::releaseWrites() {
    if (written_.empty()) return;
    const int64_t now = monotonicUs();
    const int64_t halfTrip = int64_t(roundTripUs()) / 2;
    farLineFreeUs_ = std::max(farLineFreeUs_, now + halfTrip) + int64_t(writtenCount_) * WireByteUs;
    out_ += written_;
    written_.clear();
    writtenCount_ = 0;
    awaitingAnswer_ = true;
    releasedUs_ = now;
    waitEndedUnanswered_ = false;
    if (!sendQueued(monotonicMs() + WriteBoundMs)) closed_ = true;
}

void NetworkPort::probeIfDue() {
    if (!telnet_ || probeSentMs_ != 0 || closed_) return;
    const int64_t now = monotonicMs();
    if (now - heardMs_ < int64_t(ProbeAfterMs)) return;
    // A baud rate of 0 asks for the present one and changes nothing.
    probeAnswersBefore_ = telnet_->answerCount();
    telnet_->askBaud();
    out_ += telnet_->takeOutput();
    probeSentMs_ = now;
}

ByteTransport::ReadStatus NetworkPort::readByte(uint32_t timeoutMs, uint8_t& byte) {
    if (fd_ < 0) return ReadStatus::Failed;
    releaseWrites();
    int64_t deadline = monotonicMs() + int64_t(timeoutMs);
    if (awaitingAnswer_) {
        // The device's time starts when our request has left the far line;
        // its answer needs half a round trip more to get here.
        const int64_t answerFromUs = std::max(farLineFreeUs_, monotonicUs()) + int64_t(roundTripUs()) / 2;
        deadline = std::max(deadline, (answerFromUs + 999) / 1000 + int64_t(timeoutMs));
    }
    auto arrived = [&] { return !input_.empty() || closed_ || probeTimedOut_; };
    for (;;) {
        // A long wait looks up to send a due probe.
        int64_t until = deadline;
        if (telnet_ && probeSentMs_ == 0) until = std::min(until, heardMs_ + int64_t(ProbeAfterMs));
        if (telnet_ && probeSentMs_ != 0) until = std::min(until, probeSentMs_ + int64_t(ProbeBoundMs));
        pump(until, arrived);
        if (!input_.empty()) {
            byte = input_.front();
            input_.pop_front();
            awaitingAnswer_ = false;
            return ReadStatus::Byte;
        }
        if (closed_) return ReadStatus::Failed;
        const int64_t now = monotonicMs();
        if (probeSentMs_ != 0 && now - probeSentMs_ >= int64_t(ProbeBoundMs)) probeTimedOut_ = true;
        if (probeTimedOut_) {
            closed_ = true;
            return ReadStatus::Failed;
        }
        probeIfDue();
        if (now < deadline) continue;
        if (awaitingAnswer_) waitEndedUnanswered_ = true;
        if (probeSentMs_ == 0) return ReadStatus::Timeout;
        // The line's silence is the bus's only once the server has said it
        // is there: a timeout waits for the open probe's answer, one round
        // trip from a live server, so a frozen one is a lost port before the
        // link gives up on the device.
        deadline = probeSentMs_ + int64_t(ProbeBoundMs);
        pump(deadline, [&] { return probeSentMs_ == 0 || arrived(); });
        if (input_.empty() && !closed_ && probeSentMs_ == 0) return ReadStatus::Timeout;
    }
}

bool NetworkPort::writeByte(uint8_t byte) {
    if (fd_ < 0 || closed_) return false;
    if (telnet_) TelnetComPort::encode(byte, written_);
    else written_ += char(byte);
    ++writtenCount_;
    // A request is short; anything longer goes on in pieces.
    if (written_.size() >= 256) releaseWrites();
    return !closed_;
}

bool NetworkPort::purge() {
    if (fd_ < 0) return false;
    releaseWrites();
    // What the socket holds already comes in first, then goes with the rest.
    receiveAvailable();
    if (!out_.empty()) sendQueued(monotonicMs() + WriteBoundMs);
    input_.clear();
    awaitingAnswer_ = false;
    return !closed_;
}

bool NetworkPort::takeErrors(LineErrors& errors) {
    errors = LineErrors{};
    if (fd_ < 0) return false;
    errors = errors_;
    errors_ = LineErrors{};
    return !closed_;
}
