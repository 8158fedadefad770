#include "platform/NetworkPort.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netdb.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <gensio/gensio.h>
#include <gensio/gensio_control.h>
#include <gensio/gensio_os_funcs_public.h>
#include <gensio/sergensio.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr const char* Rfc2217Prefix = "rfc2217://";
constexpr const char* TcpPrefix = "tcp://";
// Resolving a name waits on the system's resolver, whose own timeouts run
// to tens of seconds; the connection's bound counts from the start.
constexpr uint32_t ResolveBoundMs = NetworkPort::ConnectBoundMs;

int64_t monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

gensio_time msTime(int64_t ms) {
    if (ms < 0) ms = 0;
    gensio_time t;
    t.secs = ms / 1000;
    t.nsecs = int32_t((ms % 1000) * 1000000);
    return t;
}

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

bool validHostName(const std::string& host) {
    if (host.empty() || host.size() > 253) return false;
    size_t start = 0;
    for (;;) {
        size_t end = host.find('.', start);
        if (end == std::string::npos) end = host.size();
        const std::string label = host.substr(start, end - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
        for (char c : label)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
        if (end == host.size()) break;
        start = end + 1;
    }
    // A name of digits and dots only is meant as an address; then it must be one.
    if (host.find_first_not_of("0123456789.") == std::string::npos) {
        in_addr a{};
        return inet_pton(AF_INET, host.c_str(), &a) == 1;
    }
    return true;
}

// Each port has an event loop of its own, run only by the thread that uses
// the port (one at a time: each transaction on a worker of its own). So
// ports on several buses, each on its thread, never run each other's
// callbacks, and no wake-up signal is needed.
gensio_os_funcs* newEventLoop() {
    gensio_os_funcs* funcs = nullptr;
    return gensio_default_os_hnd(0, &funcs) == 0 ? funcs : nullptr;
}

// A peer that went away makes a socket write raise SIGPIPE, which would end
// the program: the calling thread holds it back for the length of a library
// call and takes any that came.
class PipeSignalHold {
public:
    PipeSignalHold() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &previous_);
    }
    ~PipeSignalHold() {
        const timespec none{0, 0};
        while (sigtimedwait(&pipe_, nullptr, &none) == SIGPIPE) {}
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }

private:
    sigset_t pipe_, previous_;
};

// libgensio 2.6 does not hand out its socket: it is found among the
// process's descriptors by its two ends (the local port the library names,
// the server's address and port), which no other socket shares. -1 if not.
int connectedSocket(gensio* io, const std::string& peerAddress, uint16_t peerPort) {
    char local[128] = "";
    gensiods len = sizeof local - 1;
    if (gensio_control(io, GENSIO_CONTROL_DEPTH_FIRST, GENSIO_CONTROL_GET, GENSIO_CONTROL_LPORT, local, &len) != 0)
        return -1;
    local[std::min<gensiods>(len, sizeof local - 1)] = 0;
    const unsigned long localPort = std::strtoul(local, nullptr, 10);
    auto endOf = [](const sockaddr_storage& a, std::string& address, unsigned& port) {
        char text[INET6_ADDRSTRLEN] = {};
        if (a.ss_family == AF_INET) {
            const auto& in = reinterpret_cast<const sockaddr_in&>(a);
            port = ntohs(in.sin_port);
            address = inet_ntop(AF_INET, &in.sin_addr, text, sizeof text) ? text : "";
            return true;
        }
        if (a.ss_family == AF_INET6) {
            const auto& in6 = reinterpret_cast<const sockaddr_in6&>(a);
            port = ntohs(in6.sin6_port);
            address = inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text) ? text : "";
            return true;
        }
        return false;
    };
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    int found = -1;
    while (dirent* entry = readdir(dir)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) continue;
        const int fd = std::atoi(entry->d_name);
        sockaddr_storage mine{}, theirs{};
        socklen_t mineLen = sizeof mine, theirsLen = sizeof theirs;
        std::string address, ignored;
        unsigned port = 0, remotePort = 0;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&mine), &mineLen) != 0 || !endOf(mine, ignored, port) ||
            port != localPort)
            continue;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&theirs), &theirsLen) != 0 ||
            !endOf(theirs, address, remotePort) || remotePort != peerPort || address != peerAddress)
            continue;
        found = fd;
        break;
    }
    closedir(dir);
    return found;
}

// A host that died or a network that went down while the line was quiet
// would leave the socket open for hours: keepalive finds it within about
// eight idle seconds, and a request the far side does not acknowledge
// within five seconds ends the connection.
void watchPeer(int fd) {
    if (fd < 0) return;
    const int on = 1, idleS = 5, intervalS = 1, probes = 3;
    const unsigned userTimeoutMs = 5000;
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleS, sizeof idleS);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalS, sizeof intervalS);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeoutMs, sizeof userTimeoutMs);
}

// Resolves host within a bound, on a thread of its own that may outlive the
// wait (it then finishes on its own and is forgotten).
bool resolveHost(const std::string& host, bool ipv6, std::string& numeric) {
    struct Result {
        std::mutex m;
        std::condition_variable done;
        bool finished = false;
        bool ok = false;
        std::string address;
        bool v6 = false;
    };
    auto result = std::make_shared<Result>();
    std::thread([result, host, ipv6] {
        addrinfo hints{};
        hints.ai_family = ipv6 ? AF_INET6 : AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        bool ok = false;
        std::string address;
        bool v6 = false;
        if (getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0 && found) {
            char text[INET6_ADDRSTRLEN] = {};
            for (addrinfo* a = found; a && !ok; a = a->ai_next) {
                if (a->ai_family == AF_INET) {
                    ok = inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr, text,
                                   sizeof text) != nullptr;
                } else if (a->ai_family == AF_INET6) {
                    ok = inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(a->ai_addr)->sin6_addr, text,
                                   sizeof text) != nullptr;
                    v6 = ok;
                }
            }
            address = text;
            freeaddrinfo(found);
        }
        std::lock_guard<std::mutex> lock(result->m);
        result->ok = ok;
        result->address = address;
        result->v6 = v6;
        result->finished = true;
        result->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(result->m);
    if (!result->done.wait_for(lock, std::chrono::milliseconds(ResolveBoundMs), [&] { return result->finished; }))
        return false;
    if (!result->ok) return false;
    numeric = (result->v6 ? "ipv6," : "ipv4,") + result->address;
    return true;
}

}  // namespace

bool isNetworkPortPath(const std::string& path) {
    return startsWith(path, Rfc2217Prefix) || startsWith(path, TcpPrefix);
}

bool parseNetworkAddress(const std::string& path, NetworkAddress& address) {
    NetworkAddress a;
    std::string rest;
    if (startsWith(path, Rfc2217Prefix)) {
        a.scheme = NetworkAddress::Scheme::Rfc2217;
        rest = path.substr(std::strlen(Rfc2217Prefix));
    } else if (startsWith(path, TcpPrefix)) {
        a.scheme = NetworkAddress::Scheme::Tcp;
        rest = path.substr(std::strlen(TcpPrefix));
    } else {
        return false;
    }
    size_t colon;
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos) return false;
        a.host = rest.substr(1, close - 1);
        in6_addr six{};
        if (a.host.empty() || inet_pton(AF_INET6, a.host.c_str(), &six) != 1) return false;
        a.ipv6 = true;
        colon = close + 1;
        if (colon >= rest.size() || rest[colon] != ':') return false;
    } else {
        colon = rest.find(':');
        if (colon == std::string::npos) return false;
        a.host = rest.substr(0, colon);
        if (!validHostName(a.host)) return false;
    }
    const std::string port = rest.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return false;
    const unsigned long number = std::stoul(port);
    if (number < 1 || number > 65535) return false;
    a.port = uint16_t(number);
    address = a;
    return true;
}

// What the library's callbacks and the waiting thread share. The callbacks
// run on the waiting thread itself, inside the wait on the port's own loop.
struct NetworkPort::State {
    gensio_os_funcs* o = nullptr;
    gensio_waiter* waiter = nullptr;
    gensio* io = nullptr;
    sergensio* sio = nullptr;
    bool writeReady = false;  // the send queue takes more again
    int openError = 0;
    bool openDone = false;
    bool closed = false;      // the connection is gone: closed, reset or failed
    int64_t heardMs = 0;      // when the server last sent anything
    int64_t probeSentMs = 0;  // when the unanswered liveness probe went out; 0: none
    bool probeTimedOut = false;
    bool closeDone = false;
    std::deque<uint8_t> input;
    LineErrors errors;
    // One setting's answer: the request's index travels as the callback's data.
    struct Answer {
        State* state;
        unsigned index;
    };
    Answer answers[6];
    // The settings' answers: the value the server took, per request.
    unsigned answered = 0;
    unsigned settingValue[6] = {};
    bool settingFailed = false;

    ~State() {
        if (io) {
            gensio_free(io);
            // The library finishes a free on its loop (deferred work, the
            // lower layers' own close): passes that do not wait let it,
            // until one finds nothing left, before the loop itself goes.
            PipeSignalHold hold;
            for (int pass = 0; pass < 32; ++pass) {
                gensio_time none = msTime(0);
                if (gensio_os_funcs_service(o, &none) != 0) break;
            }
        }
        if (waiter) gensio_os_funcs_free_waiter(o, waiter);
        if (o) gensio_os_funcs_free(o);
    }

    // Ends the connection within a bound. The library may still owe us
    // callbacks (the settings' answers, the end of an open) until it has
    // closed; a connection that does not close in time is left to it, with
    // this state kept alive, rather than freed under its feet.
    static void release(std::shared_ptr<State> s) {
        if (!s->io) return;
        bool done = true;
        if (s->openDone && s->openError != 0) {
            // Never opened: nothing to close.
        } else {
            // A probe still open is let end first (see serverStoppedAnswering).
            if (s->probeSentMs != 0 && !s->closed)
                s->waitUntil(s->probeSentMs + NetworkPort::ProbeBoundMs, [&] { return s->probeSentMs == 0; });
            // Also when the peer ended it: our side is open until closed,
            // and only a close lets the library give up its socket.
            PipeSignalHold hold;
            done = false;
            if (gensio_close(s->io, &State::closeDoneCb, s.get()) == 0)
                done = s->waitUntil(monotonicMs() + WriteBoundMs, [&] { return s->closeDone; });
        }
        if (done) return;
        static std::mutex keptLock;
        static std::vector<std::shared_ptr<State>> kept;
        std::lock_guard<std::mutex> lock(keptLock);
        kept.push_back(std::move(s));
    }

    void wake() { gensio_os_funcs_wake(o, waiter); }

    // Runs the loop until ready() or the deadline; true when ready(). A
    // byte already here costs nothing more than the check.
    template <typename Ready>
    bool waitUntil(int64_t deadlineMs, Ready ready) {
        if (ready()) return true;
        PipeSignalHold hold;
        while (!ready()) {
            const int64_t left = deadlineMs - monotonicMs();
            if (left <= 0) return false;
            gensio_time t = msTime(left);
            gensio_os_funcs_wait(o, waiter, 1, &t);
        }
        return true;
    }

    static int event(gensio*, void* user, int event, int err, unsigned char* buf, gensiods* buflen,
                     const char* const*) {
        auto* s = static_cast<State*>(user);
        switch (event) {
        case GENSIO_EVENT_READ:
            if (err) {
                s->closed = true;
            } else if (buf && buflen) {
                s->input.insert(s->input.end(), buf, buf + *buflen);
                s->heardMs = monotonicMs();
            }
            s->wake();
            return 0;
        case GENSIO_EVENT_WRITE_READY:
            gensio_set_write_callback_enable(s->io, false);
            s->writeReady = true;
            s->wake();
            return 0;
        case GENSIO_EVENT_SER_LINESTATE: {
            unsigned state = 0;
            if (buf && buflen && *buflen >= sizeof state) std::memcpy(&state, buf, sizeof state);
            if (state & SERGENSIO_LINESTATE_PARITY_ERR) s->errors.parity = true;
            if (state & SERGENSIO_LINESTATE_FRAMING_ERR) s->errors.framing = true;
            if (state & SERGENSIO_LINESTATE_OVERRUN_ERR) s->errors.overrun = true;
            s->heardMs = monotonicMs();
            return 0;
        }
        default:
            return GE_NOTSUP;
        }
    }

    static void openDoneCb(gensio*, int err, void* user) {
        auto* s = static_cast<State*>(user);
        s->openError = err;
        s->openDone = true;
        s->wake();
    }

    // When a wait until deadline must look up to send a probe.
    int64_t nextCheck(int64_t deadline) const {
        if (!sio || probeSentMs != 0) return deadline;
        return std::min(deadline, heardMs + int64_t(NetworkPort::ProbeAfterMs));
    }

    // Over telnet a silent line is asked whether the server still is
    // there; true once the library timed that question out. The library
    // keeps a request until it is answered or timed out and, in this
    // version, does not free one still open when the connection goes: so
    // the probe's end is always waited for, never cut short by a bound of
    // our own.
    bool serverStoppedAnswering() {
        if (probeTimedOut) return true;
        if (!sio || closed) return false;
        const int64_t now = monotonicMs();
        // Past the library's own timeout (it should have ended it): lost all the same.
        if (probeSentMs != 0) return now - probeSentMs >= NetworkPort::ProbeBoundMs;
        if (now - heardMs < NetworkPort::ProbeAfterMs) return false;
        // A baud rate of 0 asks for the present one and changes nothing.
        auto answered = [](sergensio*, int err, unsigned, void* data) {
            auto* st = static_cast<State*>(data);
            st->probeSentMs = 0;
            if (err)
                st->probeTimedOut = true;
            else
                st->heardMs = monotonicMs();
            st->wake();
        };
        PipeSignalHold hold;
        if (sergensio_baud(sio, 0, answered, this) == 0)
            probeSentMs = now;
        else
            heardMs = now;  // asked again after the next quiet spell
        return false;
    }

    static void closeDoneCb(gensio*, void* user) {
        auto* s = static_cast<State*>(user);
        s->closeDone = true;
        s->wake();
    }
};

NetworkPort::NetworkPort() = default;

NetworkPort::~NetworkPort() { close(); }

bool NetworkPort::refuse(PortProblem problem) {
    failure_.problem = problem;
    if (state_) State::release(std::move(state_));
    return false;
}

bool NetworkPort::open(const std::string& url) {
    if (state_) return false;
    failure_ = PortOpenFailure{};
    failure_.path = url;
    NetworkAddress address;
    if (!parseNetworkAddress(url, address)) return refuse(PortProblem::BadAddress);
    const int64_t start = monotonicMs();
    std::string numeric;
    if (!resolveHost(address.host, address.ipv6, numeric)) return refuse(PortProblem::HostUnknown);

    auto s = std::make_shared<State>();
    s->o = newEventLoop();
    if (!s->o) return refuse(PortProblem::Other);
    s->waiter = gensio_os_funcs_alloc_waiter(s->o);
    if (!s->waiter) return refuse(PortProblem::Other);
    state_ = s;
    const bool telnet = address.scheme == NetworkAddress::Scheme::Rfc2217;
    const std::string spec = std::string(telnet ? "telnet(rfc2217=true)," : "") + "tcp(nodelay)," + numeric +
                             "," + std::to_string(address.port);
    {
        PipeSignalHold hold;
        if (str_to_gensio(spec.c_str(), s->o, &State::event, s.get(), &s->io) != 0) {
            s->io = nullptr;
            return refuse(PortProblem::BadAddress);
        }
        if (gensio_open(s->io, &State::openDoneCb, s.get()) != 0) return refuse(PortProblem::Refused);
    }
    if (!s->waitUntil(start + ConnectBoundMs, [&] { return s->openDone; })) {
        // With the telnet layer the open also waits for its first exchange:
        // a server that took the connection but never spoke stalled.
        return refuse(PortProblem::NoAnswer);
    }
    if (s->openError != 0) {
        return refuse(s->openError == GE_CONNREFUSE ? PortProblem::Refused : PortProblem::NoAnswer);
    }
    gensio_set_read_callback_enable(s->io, true);
    watchPeer(connectedSocket(s->io, numeric.substr(numeric.find(',') + 1), address.port));
    s->heardMs = monotonicMs();
    if (!telnet) return true;

    // 9600 baud, 8 data bits, even parity, 1 stop bit, no flow control, each
    // answered with the value the server took; line errors told as they happen.
    s->sio = gensio_to_sergensio(s->io);
    if (!s->sio) return refuse(PortProblem::Stalled);
    static const unsigned wanted[] = {9600, 8, SERGENSIO_PARITY_EVEN, 1, SERGENSIO_FLOWCONTROL_NONE,
                                      SERGENSIO_FLOWCONTROL_NONE};
    auto answered = [](sergensio*, int err, unsigned int val, void* data) {
        auto* a = static_cast<State::Answer*>(data);
        State* st = a->state;
        if (err) st->settingFailed = true;
        st->settingValue[a->index] = val;
        ++st->answered;
        st->wake();
    };
    State::Answer* mine = s->answers;
    for (unsigned i = 0; i < 6; ++i) mine[i] = {s.get(), i};
    int err = 0;
    {
        PipeSignalHold hold;
        err |= sergensio_baud(s->sio, wanted[0], answered, &mine[0]);
        err |= sergensio_datasize(s->sio, wanted[1], answered, &mine[1]);
        err |= sergensio_parity(s->sio, wanted[2], answered, &mine[2]);
        err |= sergensio_stopbits(s->sio, wanted[3], answered, &mine[3]);
        err |= sergensio_flowcontrol(s->sio, wanted[4], answered, &mine[4]);
        err |= sergensio_iflowcontrol(s->sio, wanted[5], answered, &mine[5]);
    }
    const int64_t negotiationEnd = monotonicMs() + NegotiationBoundMs;
    const bool complete = err == 0 && s->waitUntil(negotiationEnd, [&] { return s->answered == 6 || s->closed; });
    if (!complete || s->closed) return refuse(PortProblem::Stalled);
    bool took = !s->settingFailed;
    for (unsigned i = 0; i < 5; ++i)
        if (s->settingValue[i] != wanted[i]) took = false;
    // Input flow control answers with what the server has; anything but
    // none would stop the line.
    if (s->settingValue[5] != SERGENSIO_FLOWCONTROL_NONE && s->settingValue[5] != 0) took = false;
    if (!took) return refuse(PortProblem::SettingsRefused);
    {
        PipeSignalHold hold;
        sergensio_linestate(s->sio, SERGENSIO_LINESTATE_PARITY_ERR | SERGENSIO_LINESTATE_FRAMING_ERR |
                                        SERGENSIO_LINESTATE_OVERRUN_ERR);
    }
    s->errors = LineErrors{};
    s->heardMs = monotonicMs();
    return true;
}

bool NetworkPort::close() {
    if (!state_) return false;
    State::release(std::move(state_));
    return true;
}

ByteTransport::ReadStatus NetworkPort::readByte(uint32_t timeoutMs, uint8_t& byte) {
    if (!state_) return ReadStatus::Failed;
    State& s = *state_;
    const int64_t deadline = monotonicMs() + int64_t(timeoutMs);
    for (;;) {
        // A long wait looks up to send a due probe; it ends when the
        // library times an unanswered one out.
        s.waitUntil(s.nextCheck(deadline), [&] { return !s.input.empty() || s.closed || s.probeTimedOut; });
        if (!s.input.empty()) {
            byte = s.input.front();
            s.input.pop_front();
            return ReadStatus::Byte;
        }
        if (s.closed) return ReadStatus::Failed;
        if (s.serverStoppedAnswering()) {
            s.closed = true;
            return ReadStatus::Failed;
        }
        if (monotonicMs() < deadline) continue;
        if (s.probeSentMs == 0) return ReadStatus::Timeout;
        // The line's silence is the bus's only once the server has said it
        // is there: a timeout waits for the open probe's end, one round trip
        // from a live server, so a frozen one is a lost port before the
        // link gives up on the device.
        s.waitUntil(s.probeSentMs + NetworkPort::ProbeBoundMs,
                    [&] { return s.probeSentMs == 0 || !s.input.empty() || s.closed || s.probeTimedOut; });
    }
}

bool NetworkPort::writeByte(uint8_t byte) {
    if (!state_ || state_->closed) return false;
    State& s = *state_;
    const int64_t deadline = monotonicMs() + WriteBoundMs;
    for (;;) {
        gensiods count = 0;
        int err;
        {
            PipeSignalHold hold;
            err = gensio_write(s.io, &count, &byte, 1, nullptr);
        }
        if (err != 0) {
            s.closed = true;
            return false;
        }
        if (count == 1) return true;
        // The send queue is full: wait until it takes more.
        s.writeReady = false;
        gensio_set_write_callback_enable(s.io, true);
        if (!s.waitUntil(deadline, [&] { return s.writeReady || s.closed; }) || s.closed) return false;
    }
}

bool NetworkPort::purge() {
    if (!state_) return false;
    State& s = *state_;
    // What the socket holds already comes in first (one pass of the loop
    // that does not wait), then goes with the rest.
    {
        PipeSignalHold hold;
        gensio_time none = msTime(0);
        gensio_os_funcs_service(s.o, &none);
    }
    s.input.clear();
    return !s.closed;
}

bool NetworkPort::takeErrors(LineErrors& errors) {
    errors = LineErrors{};
    if (!state_) return false;
    errors = state_->errors;
    state_->errors = LineErrors{};
    return !state_->closed;
}
