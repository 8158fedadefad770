#pragma once
// The address of a port on the network, as the operator writes it:
// rfc2217://HOST:PORT (telnet with the COM port option), tcp://HOST:PORT
// (raw bytes), and the same over TLS, rfc2217s:// and tcps://.
#include <cstdint>
#include <string>

#include "platform/ByteTransport.h"

struct NetworkAddress {
    enum class Scheme { Rfc2217, Tcp };
    Scheme scheme = Scheme::Tcp;
    bool tls = false;
    std::string host;       // a host name, a dotted IPv4 address or an IPv6 address (without brackets or scope)
    bool ipv6 = false;
    std::string scope;      // an IPv6 link-local address's interface (fe80::1%eth0)
    uint16_t port = 0;
};

// Whether path names a network port at all (begins with one of the four
// schemes, in any case); such a path is never a device file.
bool isNetworkPortPath(const std::string& path);

// Strict: the scheme, "://", a host name (letters, digits, hyphens and dots
// in labels of 1 to 63, 253 in all), a dotted IPv4 address or an IPv6
// address in brackets (a link-local one with its interface, %eth0 or
// %25eth0), ":", a port 1 to 65535 in decimal, and nothing else. On false,
// problem says why: BadAddress, or LinkLocalNoScope; detail names the part
// that is wrong.
bool parseNetworkAddress(const std::string& path, NetworkAddress& address);
bool parseNetworkAddress(const std::string& path, NetworkAddress& address, PortProblem& problem,
                         std::string& detail);
