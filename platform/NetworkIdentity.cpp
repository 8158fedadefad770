#include "platform/NetworkIdentity.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/NetworkPort.h"

namespace {

std::string lowerCase(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The URL as the parser reads it: the scheme in lower case, and a TLS
// scheme as its plain one (the address is the same).
std::string plainSchemeUrl(const std::string& url) {
    const size_t end = url.find("://");
    if (end == std::string::npos) return url;
    std::string scheme = lowerCase(url.substr(0, end));
    if (scheme == "tcps") scheme = "tcp";
    if (scheme == "rfc2217s") scheme = "rfc2217";
    return scheme + url.substr(end);
}

std::string endpoint(const std::string& address, bool v6, uint16_t port) {
    return (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

// Every address getaddrinfo gives for host, numeric, with the port.
std::set<std::string> resolvedEndpoints(const std::string& host, bool ipv6, uint16_t port) {
    std::set<std::string> found;
    addrinfo hints{};
    hints.ai_family = ipv6 ? AF_INET6 : AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list) return found;
    for (addrinfo* a = list; a; a = a->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        if (a->ai_family == AF_INET) {
            if (inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr, text, sizeof text))
                found.insert(endpoint(text, false, port));
        } else if (a->ai_family == AF_INET6) {
            const in6_addr& six = reinterpret_cast<sockaddr_in6*>(a->ai_addr)->sin6_addr;
            if (IN6_IS_ADDR_V4MAPPED(&six)) {
                if (inet_ntop(AF_INET, &six.s6_addr[12], text, sizeof text)) found.insert(endpoint(text, false, port));
            } else if (inet_ntop(AF_INET6, &six, text, sizeof text)) {
                found.insert(endpoint(text, true, port));
            }
        }
    }
    freeaddrinfo(list);
    return found;
}

}  // namespace

bool looksLikeNetworkUrl(const std::string& port) {
    const size_t end = port.find("://");
    if (end == std::string::npos || end == 0) return false;
    for (size_t i = 0; i < end; ++i)
        if (!std::isalnum(static_cast<unsigned char>(port[i]))) return false;
    return true;
}

std::string networkHostPart(const std::string& url) {
    const size_t start = url.find("://");
    if (start == std::string::npos) return {};
    const std::string rest = url.substr(start + 3);
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        return close == std::string::npos ? rest : rest.substr(0, close + 1);
    }
    return rest.substr(0, rest.rfind(':'));
}

NetworkAddressFault networkAddressFault(const std::string& url) {
    NetworkAddress address;
    if (parseNetworkAddress(plainSchemeUrl(url), address)) return NetworkAddressFault::None;
    const std::string host = networkHostPart(url);
    if (host.find('@') != std::string::npos) return NetworkAddressFault::UserInfo;
    if (host.size() > 253) return NetworkAddressFault::HostTooLong;
    return NetworkAddressFault::Other;
}

std::vector<NetworkIdentity> networkIdentities(const std::vector<std::string>& urls, uint32_t boundMs) {
    struct Shared {
        std::mutex m;
        std::condition_variable done;
        std::vector<std::set<std::string>> found;
        std::vector<bool> finished;
    };
    auto shared = std::make_shared<Shared>();
    shared->found.resize(urls.size());
    shared->finished.assign(urls.size(), true);
    std::vector<NetworkIdentity> identities(urls.size());
    for (size_t i = 0; i < urls.size(); ++i) {
        NetworkAddress address;
        if (!parseNetworkAddress(plainSchemeUrl(urls[i]), address)) continue;
        identities[i].endpoints.insert(endpoint(lowerCase(address.host), address.ipv6, address.port));
        shared->finished[i] = false;
        try {
            std::thread([shared, i, address] {
                std::set<std::string> found = resolvedEndpoints(address.host, address.ipv6, address.port);
                std::lock_guard<std::mutex> lock(shared->m);
                shared->found[i] = std::move(found);
                shared->finished[i] = true;
                shared->done.notify_all();
            }).detach();
        } catch (const std::system_error&) {
            shared->finished[i] = true;   // no thread: the name as written is all there is
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    std::unique_lock<std::mutex> lock(shared->m);
    shared->done.wait_until(lock, deadline, [&] {
        for (bool f : shared->finished)
            if (!f) return false;
        return true;
    });
    // What finished within the bound counts; a lookup still running is left
    // to finish on its own.
    for (size_t i = 0; i < urls.size(); ++i)
        if (shared->finished[i]) identities[i].endpoints.insert(shared->found[i].begin(), shared->found[i].end());
    return identities;
}

std::string sharedEndpoint(const NetworkIdentity& a, const NetworkIdentity& b) {
    for (const std::string& e : a.endpoints)
        if (b.endpoints.count(e)) return e;
    return {};
}
