#pragma once
// TLS over a connected, non-blocking socket (OpenSSL): the server's
// certificate checked against the system's authorities or a CA file, and
// against the host name or address the operator wrote.
#include <cstdint>
#include <string>

#include "platform/ByteTransport.h"

class TlsChannel {
public:
    TlsChannel() = default;
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // The handshake, within the deadline. On failure the problem says what
    // was wrong (an expired certificate, an unknown authority, another host,
    // no TLS at all) and detail the library's own words.
    PortProblem handshake(int fd, const std::string& host, bool hostIsAddress, const std::string& caFile,
                          int64_t deadlineMs, std::string& detail);
    enum class Io { Done, WantRead, WantWrite, Closed };
    // What was read (count set) or why nothing was.
    Io read(uint8_t* buffer, size_t size, size_t& count);
    Io write(const uint8_t* bytes, size_t size, size_t& count);
    // Bytes already decrypted and waiting, which no poll would show.
    bool pending() const;
    // Says goodbye without waiting for the server's.
    void shutdown();

private:
    void* ctx_ = nullptr;  // SSL_CTX
    void* ssl_ = nullptr;  // SSL
};
