#pragma once
// A small door to the PostgreSQL client library: one connection, statements
// with text parameters, and every wait bounded. The socket is polled by this
// file with a deadline per call (connect included), so a server that stops
// answering half-way costs a caller at most the bound it gave, and a stop
// flag set by another thread ends a wait within a tenth of a second.
// Nothing above this file sees libpq-fe.h.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class PgStatus : uint8_t {
    Ok,
    BadSetting,    // the connection URI cannot be read
    Unreachable,   // no server answered (refused, no route, name unknown, killed mid-call)
    Refused,       // the server answered and refused the login (role, password, TLS, database)
    TimedOut,      // the bound passed before the server answered
    Failed,        // a statement failed (lastError and sqlState say why)
};

using PgValue = std::optional<std::string>;   // nothing: SQL NULL
using PgRow = std::vector<PgValue>;

class PgDb {
public:
    PgDb() = default;
    ~PgDb();
    PgDb(const PgDb&) = delete;
    PgDb& operator=(const PgDb&) = delete;

    // Connects within timeoutMs (the connection's own connect_timeout is
    // never longer), with TCP keepalives so a server gone without a word is
    // found. The URI's password, TLS mode and the rest stay libpq's
    // (~/.pgpass, PGPASSWORD, PGSSLROOTCERT, service files).
    PgStatus connect(const std::string& uri, int timeoutMs);
    void close();
    bool isOpen() const { return conn_ != nullptr; }

    // Runs one statement with $1.. parameters (or, without parameters, a
    // script of several), within timeoutMs; rows, when asked for, are those
    // of the last statement. A timeout or lost connection closes it.
    PgStatus exec(const std::string& sql, const std::vector<PgValue>& params, int timeoutMs,
                  std::vector<PgRow>* rows = nullptr);

    // Set by another thread: every wait ends within a tenth of a second.
    void setStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }

    const std::string& lastError() const { return lastError_; }
    // The five-character SQLSTATE of the last failed statement ("42P01").
    const std::string& sqlState() const { return sqlState_; }

    // The server a URI names, for messages: "host:port/database", never a
    // password. Empty when the URI cannot be read (error then says why).
    static std::string serverName(const std::string& uri, std::string* error = nullptr);

private:
    PgStatus fail(PgStatus status, const std::string& text);
    // Waits until the socket is readable (or writable), the deadline or the stop flag.
    bool waitSocket(bool forWrite, int64_t deadlineMs);
    void* conn_ = nullptr;
    const std::atomic<bool>* stop_ = nullptr;
    std::string lastError_, sqlState_;
};
