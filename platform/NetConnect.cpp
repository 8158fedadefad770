#include "platform/NetConnect.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

int64_t monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

namespace {

struct Endpoint {
    sockaddr_storage address{};
    socklen_t length = 0;
    std::string text;
};

std::string numericText(const sockaddr* a) {
    char text[INET6_ADDRSTRLEN] = {};
    if (a->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, text, sizeof text);
    else if (a->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr, text, sizeof text);
    return text;
}

// The resolver's own timeouts run to tens of seconds: it works on a thread
// of its own that may outlive the wait (it then finishes and is forgotten).
PortProblem lookUp(const NetworkAddress& a, uint32_t boundMs, std::vector<Endpoint>& found, std::string& detail) {
    struct Result {
        std::mutex m;
        std::condition_variable done;
        bool finished = false;
        int status = 0;
        std::vector<Endpoint> endpoints;
    };
    auto result = std::make_shared<Result>();
    const std::string host = a.host;
    in_addr four{};
    const bool numeric = a.ipv6 || inet_pton(AF_INET, a.host.c_str(), &four) == 1;
    const uint16_t port = a.port;
    auto work = [result, host, numeric, port] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = numeric ? AI_NUMERICHOST : AI_ADDRCONFIG;
        addrinfo* list = nullptr;
        const int status = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
        std::vector<Endpoint> endpoints;
        for (addrinfo* i = status == 0 ? list : nullptr; i; i = i->ai_next) {
            if (i->ai_family != AF_INET && i->ai_family != AF_INET6) continue;
            Endpoint e;
            std::memcpy(&e.address, i->ai_addr, i->ai_addrlen);
            e.length = i->ai_addrlen;
            e.text = numericText(i->ai_addr);
            bool seen = false;
            for (const Endpoint& other : endpoints) seen = seen || other.text == e.text;
            if (!seen) endpoints.push_back(e);
        }
        if (list) freeaddrinfo(list);
        std::lock_guard<std::mutex> lock(result->m);
        result->status = status;
        result->endpoints = std::move(endpoints);
        result->finished = true;
        result->done.notify_all();
    };
    if (numeric) {
        work();  // no name server involved
    } else {
        try {
            std::thread(work).detach();
        } catch (const std::system_error&) {
            return PortProblem::Other;
        }
    }
    std::unique_lock<std::mutex> lock(result->m);
    if (!result->done.wait_for(lock, std::chrono::milliseconds(boundMs), [&] { return result->finished; })) {
        detail = std::to_string(boundMs / 1000) + " s";
        return PortProblem::LookupTimedOut;
    }
    if (result->status == EAI_AGAIN) {
        detail = gai_strerror(result->status);
        return PortProblem::LookupTimedOut;
    }
    if (result->status != 0 || result->endpoints.empty()) {
        detail = result->status ? gai_strerror(result->status) : "";
        return PortProblem::HostUnknown;
    }
    found = result->endpoints;
    return PortProblem::None;
}

// A host that died or a network that went down while the line was quiet
// would leave the socket open for hours: keepalive finds it within about
// eight idle seconds, and data the far side does not acknowledge within
// five seconds ends the connection.
void watchPeer(int fd) {
    const int on = 1, idleS = 5, intervalS = 1, probes = 3;
    const unsigned userTimeoutMs = 5000;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleS, sizeof idleS);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalS, sizeof intervalS);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeoutMs, sizeof userTimeoutMs);
}

enum class Attempt { Connected, Refused, Silent, Unreachable };

Attempt tryEndpoint(const Endpoint& e, int64_t deadlineMs, int& fdOut, int& error) {
    const int fd = ::socket(e.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = errno;
        return Attempt::Unreachable;
    }
    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&e.address), e.length);
    if (rc != 0 && errno == EINPROGRESS) {
        for (;;) {
            const int64_t left = deadlineMs - monotonicMs();
            if (left <= 0) {
                ::close(fd);
                return Attempt::Silent;
            }
            pollfd p{fd, POLLOUT, 0};
            const int n = ::poll(&p, 1, int(left));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) continue;
            socklen_t len = sizeof error;
            error = 0;
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
            rc = error == 0 ? 0 : -1;
            break;
        }
    } else if (rc != 0) {
        error = errno;
    }
    if (rc != 0) {
        ::close(fd);
        if (error == ECONNREFUSED) return Attempt::Refused;
        if (error == ETIMEDOUT) return Attempt::Silent;
        return Attempt::Unreachable;
    }
    watchPeer(fd);
    fdOut = fd;
    return Attempt::Connected;
}

}  // namespace

Connected connectToServer(const NetworkAddress& a, uint32_t lookupBoundMs, uint32_t connectBoundMs) {
    Connected c;
    std::vector<Endpoint> endpoints;
    c.problem = lookUp(a, lookupBoundMs, endpoints, c.detail);
    if (c.problem != PortProblem::None) return c;
    if (!a.scope.empty()) {
        const unsigned index = if_nametoindex(a.scope.c_str());
        if (index == 0) {
            c.problem = PortProblem::LinkLocalNoScope;
            c.detail = "%" + a.scope;
            return c;
        }
        for (Endpoint& e : endpoints)
            if (e.address.ss_family == AF_INET6) reinterpret_cast<sockaddr_in6&>(e.address).sin6_scope_id = index;
    }
    // Each address gets an equal share of what is left, so one that never
    // answers does not use up the time of those behind it.
    const int64_t end = monotonicMs() + connectBoundMs;
    bool refused = false, silent = false;
    int lastError = 0;
    std::string tried;
    for (size_t i = 0; i < endpoints.size(); ++i) {
        const int64_t now = monotonicMs();
        if (now >= end) {
            silent = true;
            break;
        }
        const int64_t share = (end - now) / int64_t(endpoints.size() - i);
        tried += (tried.empty() ? "" : ", ") + endpoints[i].text;
        int error = 0;
        switch (tryEndpoint(endpoints[i], now + share, c.fd, error)) {
        case Attempt::Connected:
            c.peer = endpoints[i].text;
            c.detail.clear();
            return c;
        case Attempt::Refused: refused = true; break;
        case Attempt::Silent: silent = true; break;
        case Attempt::Unreachable: lastError = error; break;
        }
    }
    c.detail = tried;
    if (refused && !silent) c.problem = PortProblem::Refused;
    else c.problem = PortProblem::NoAnswer;
    if (!refused && !silent && lastError) c.detail += " (" + std::string(std::strerror(lastError)) + ")";
    return c;
}

uint32_t kernelRoundTripUs(int fd) {
    tcp_info info{};
    socklen_t len = sizeof info;
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &len) != 0) return 0;
    return info.tcpi_rtt;
}
