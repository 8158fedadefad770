#include "platform/TlsChannel.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include "platform/NetConnect.h"

namespace {

SSL* sslOf(void* p) { return static_cast<SSL*>(p); }

PortProblem verifyProblem(long result) {
    switch (result) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return PortProblem::TlsExpired;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return PortProblem::TlsHostMismatch;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
        return PortProblem::TlsUnknownAuthority;
    default:
        return PortProblem::TlsFailed;
    }
}

// A peer that answers our greeting with something that is not TLS (a
// telnet server's options, a bus's bytes) or hangs up on it.
bool notTls(unsigned long error) {
    if (ERR_GET_LIB(error) != ERR_LIB_SSL) return false;
    switch (ERR_GET_REASON(error)) {
    case SSL_R_WRONG_VERSION_NUMBER:
    case SSL_R_PACKET_LENGTH_TOO_LONG:
    case SSL_R_UNEXPECTED_EOF_WHILE_READING:
    case SSL_R_HTTP_REQUEST:
    case SSL_R_UNSUPPORTED_PROTOCOL:
        return true;
    default:
        return false;
    }
}

}  // namespace

TlsChannel::~TlsChannel() {
    if (ssl_) SSL_free(sslOf(ssl_));
    if (ctx_) SSL_CTX_free(static_cast<SSL_CTX*>(ctx_));
}

PortProblem TlsChannel::handshake(int fd, const std::string& host, bool hostIsAddress, const std::string& caFile,
                                  int64_t deadlineMs, std::string& detail) {
    ERR_clear_error();
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) return PortProblem::TlsFailed;
    ctx_ = ctx;
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    if (!caFile.empty()) {
        if (SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr) != 1) {
            detail = caFile;
            return PortProblem::TlsFailed;
        }
    } else if (SSL_CTX_set_default_verify_paths(ctx) != 1) {
        return PortProblem::TlsFailed;
    }
    SSL* ssl = SSL_new(ctx);
    if (!ssl) return PortProblem::TlsFailed;
    ssl_ = ssl;
    SSL_set_fd(ssl, fd);
    if (hostIsAddress) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl, host.c_str());
        SSL_set1_host(ssl, host.c_str());
    }
    for (;;) {
        ERR_clear_error();
        const int rc = SSL_connect(ssl);
        if (rc == 1) return PortProblem::None;
        const int why = SSL_get_error(ssl, rc);
        short events = 0;
        if (why == SSL_ERROR_WANT_READ) events = POLLIN;
        else if (why == SSL_ERROR_WANT_WRITE) events = POLLOUT;
        if (events == 0) {
            const long verified = SSL_get_verify_result(ssl);
            if (verified != X509_V_OK) {
                detail = X509_verify_cert_error_string(verified);
                return verifyProblem(verified);
            }
            const unsigned long error = ERR_peek_last_error();
            if (error) {
                char text[256];
                ERR_error_string_n(error, text, sizeof text);
                detail = text;
            }
            // Hung up on our greeting, or answered it with something else.
            if (why == SSL_ERROR_SYSCALL || why == SSL_ERROR_ZERO_RETURN || notTls(error))
                return PortProblem::TlsNotSpoken;
            return PortProblem::TlsFailed;
        }
        const int64_t left = deadlineMs - monotonicMs();
        if (left <= 0) return PortProblem::TlsNotSpoken;  // no answer to the greeting
        pollfd p{fd, events, 0};
        ::poll(&p, 1, int(left));
    }
}

TlsChannel::Io TlsChannel::read(uint8_t* buffer, size_t size, size_t& count) {
    count = 0;
    ERR_clear_error();
    const int rc = SSL_read_ex(sslOf(ssl_), buffer, size, &count);
    if (rc == 1) return Io::Done;
    switch (SSL_get_error(sslOf(ssl_), rc)) {
    case SSL_ERROR_WANT_READ: return Io::WantRead;
    case SSL_ERROR_WANT_WRITE: return Io::WantWrite;
    default: return Io::Closed;
    }
}

TlsChannel::Io TlsChannel::write(const uint8_t* bytes, size_t size, size_t& count) {
    count = 0;
    ERR_clear_error();
    const int rc = SSL_write_ex(sslOf(ssl_), bytes, size, &count);
    if (rc == 1) return Io::Done;
    switch (SSL_get_error(sslOf(ssl_), rc)) {
    case SSL_ERROR_WANT_READ: return Io::WantRead;
    case SSL_ERROR_WANT_WRITE: return Io::WantWrite;
    default: return Io::Closed;
    }
}

bool TlsChannel::pending() const { return ssl_ && SSL_pending(sslOf(ssl_)) > 0; }

void TlsChannel::shutdown() {
    if (ssl_ && SSL_is_init_finished(sslOf(ssl_))) SSL_shutdown(sslOf(ssl_));
}
