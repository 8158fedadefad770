#pragma once
// Which bus a network port reaches, whatever its URL's spelling: the
// addresses its host resolves to (every one of them), each with the port.
// Two URLs that share an address and port are one bus: tcp://PLC7:04001 and
// rfc2217://plc7:4001, tcp://localhost:4001 and rfc2217s://127.0.0.1:4001.
// The scheme does not count: a device server gives a port one protocol.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct NetworkIdentity {
    // "127.0.0.1:4001", "[::1]:4001" (an IPv4 address mapped into IPv6 as
    // IPv4); and the host as written, in lower case, with the port
    // ("plc7:4001"), so a name that does not resolve within the bound still
    // meets its other spellings. Empty for a URL that is no network address.
    std::set<std::string> endpoints;
};

// Whether the port is written as a URL ("scheme://..."), whatever the scheme.
bool looksLikeNetworkUrl(const std::string& port);

// Why a URL is no network address the port can use, where the operator
// needs more than the general rule.
enum class NetworkAddressFault {
    None,
    UserInfo,      // "rfc2217://user@host:4001": a device server asks for no user
    HostTooLong,   // more than 253 characters
    Other,         // anything else parseNetworkAddress refuses
};
NetworkAddressFault networkAddressFault(const std::string& url);
// The host part of a URL as written (between "://" and the port).
std::string networkHostPart(const std::string& url);

// The identity of each URL, looked up all at once: each lookup on a thread
// of its own that may outlive the wait, the wait bounded by boundMs for all
// of them together, so a name server that does not answer costs the bound
// once, not once per port.
std::vector<NetworkIdentity> networkIdentities(const std::vector<std::string>& urls, uint32_t boundMs = 3000);

// An endpoint the two share; empty when none.
std::string sharedEndpoint(const NetworkIdentity& a, const NetworkIdentity& b);
