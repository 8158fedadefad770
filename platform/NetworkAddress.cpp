#include "platform/NetworkAddress.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cctype>
#include <cstring>

namespace {

struct SchemeName {
    const char* prefix;
    NetworkAddress::Scheme scheme;
    bool tls;
};
constexpr SchemeName Schemes[] = {
    {"rfc2217://", NetworkAddress::Scheme::Rfc2217, false},
    {"rfc2217s://", NetworkAddress::Scheme::Rfc2217, true},
    {"tcp://", NetworkAddress::Scheme::Tcp, false},
    {"tcps://", NetworkAddress::Scheme::Tcp, true},
};

// Schemes are told apart in any case (RFC 3986).
const SchemeName* schemeOf(const std::string& path) {
    for (const SchemeName& s : Schemes) {
        const size_t n = std::strlen(s.prefix);
        if (path.size() < n) continue;
        bool same = true;
        for (size_t i = 0; i < n && same; ++i)
            same = std::tolower(static_cast<unsigned char>(path[i])) == s.prefix[i];
        if (same) return &s;
    }
    return nullptr;
}

bool validHostName(const std::string& host, std::string& why) {
    if (host.empty()) {
        why = "\"\"";
        return false;
    }
    if (host.size() > 253) {
        why = std::to_string(host.size()) + " > 253";
        return false;
    }
    size_t start = 0;
    for (;;) {
        size_t end = host.find('.', start);
        if (end == std::string::npos) end = host.size();
        const std::string label = host.substr(start, end - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
            why = "\"" + host + "\"";
            return false;
        }
        for (char c : label)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') {
                why = "\"" + host + "\"";
                return false;
            }
        if (end == host.size()) break;
        start = end + 1;
    }
    // A name of digits and dots only is meant as an address; then it must be one.
    if (host.find_first_not_of("0123456789.") == std::string::npos) {
        in_addr a{};
        if (inet_pton(AF_INET, host.c_str(), &a) != 1) {
            why = "\"" + host + "\"";
            return false;
        }
    }
    return true;
}

}  // namespace

bool isNetworkPortPath(const std::string& path) { return schemeOf(path) != nullptr; }

bool parseNetworkAddress(const std::string& path, NetworkAddress& address) {
    PortProblem problem;
    std::string detail;
    return parseNetworkAddress(path, address, problem, detail);
}

bool parseNetworkAddress(const std::string& path, NetworkAddress& address, PortProblem& problem,
                         std::string& detail) {
    problem = PortProblem::BadAddress;
    detail.clear();
    const SchemeName* scheme = schemeOf(path);
    if (!scheme) return false;
    NetworkAddress a;
    a.scheme = scheme->scheme;
    a.tls = scheme->tls;
    const std::string rest = path.substr(std::strlen(scheme->prefix));
    if (rest.find('@') != std::string::npos) {
        detail = "\"" + rest.substr(0, rest.find('@') + 1) + "\"";
        return false;
    }
    size_t colon;
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos) return false;
        std::string inside = rest.substr(1, close - 1);
        const size_t percent = inside.find('%');
        if (percent != std::string::npos) {
            a.scope = inside.substr(percent + 1);
            if (a.scope.rfind("25", 0) == 0 && a.scope.size() > 2) a.scope = a.scope.substr(2);  // %25eth0
            inside = inside.substr(0, percent);
            if (a.scope.empty() || a.scope.size() >= IF_NAMESIZE) {
                detail = "\"%" + a.scope + "\"";
                return false;
            }
        }
        a.host = inside;
        in6_addr six{};
        if (a.host.empty() || inet_pton(AF_INET6, a.host.c_str(), &six) != 1) {
            detail = "\"" + a.host + "\"";
            return false;
        }
        const bool linkLocal = six.s6_addr[0] == 0xFE && (six.s6_addr[1] & 0xC0) == 0x80;
        if (linkLocal && a.scope.empty()) {
            problem = PortProblem::LinkLocalNoScope;
            return false;
        }
        a.ipv6 = true;
        colon = close + 1;
        if (colon >= rest.size() || rest[colon] != ':') return false;
    } else {
        colon = rest.find(':');
        if (colon == std::string::npos) {
            detail = "\":PORT\"";
            return false;
        }
        a.host = rest.substr(0, colon);
        if (!validHostName(a.host, detail)) return false;
    }
    const std::string port = rest.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) {
        detail = "\":" + port + "\"";
        return false;
    }
    const unsigned long number = std::stoul(port);
    if (number < 1 || number > 65535) {
        detail = "\":" + port + "\"";
        return false;
    }
    a.port = uint16_t(number);
    address = a;
    problem = PortProblem::None;
    return true;
}
