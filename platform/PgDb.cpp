#include "platform/PgDb.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstring>

namespace {

PGconn* handle(void* p) { return static_cast<PGconn*>(p); }

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// libpq's words end with a new line; a message has its own.
std::string trimmed(const char* text) {
    std::string s;
    // One line: the library's hints come on lines of their own.
    for (const char* c = text ? text : ""; *c; ++c) {
        const bool blank = *c == '\n' || *c == '\t' || *c == ' ';
        if (!blank) s += *c;
        else if (!s.empty() && s.back() != ' ') s += ' ';
    }
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

bool mentions(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// A login that failed: no server there, or one that said no.
PgStatus loginFailure(const std::string& text) {
    for (const char* unreachable : {"could not connect", "could not translate host name", "Connection refused",
                                    "No route to host", "Network is unreachable", "server closed the connection",
                                    "could not receive data", "Connection reset"})
        if (mentions(text, unreachable)) return PgStatus::Unreachable;
    if (mentions(text, "timeout expired")) return PgStatus::TimedOut;
    return PgStatus::Refused;
}

}  // namespace

PgDb::~PgDb() { close(); }

void PgDb::close() {
    if (conn_) PQfinish(handle(conn_));
    conn_ = nullptr;
}

PgStatus PgDb::fail(PgStatus status, const std::string& text) {
    lastError_ = text;
    if (status != PgStatus::Failed) {
        sqlState_.clear();
        close();
    }
    return status;
}

bool PgDb::waitSocket(bool forWrite, int64_t deadlineMs) {
    // In slices, so a stop asked by another thread is seen soon.
    constexpr int64_t SLICE_MS = 100;
    for (;;) {
        if (stop_ && stop_->load()) return false;
        const int64_t left = deadlineMs - nowMs();
        if (left <= 0) return false;
        pollfd p{PQsocket(handle(conn_)), static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
        if (p.fd < 0) return false;
        const int n = ::poll(&p, 1, static_cast<int>(std::min(left, SLICE_MS)));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

std::string PgDb::serverName(const std::string& uri, std::string* error) {
    char* message = nullptr;
    PQconninfoOption* options = PQconninfoParse(uri.c_str(), &message);
    if (!options) {
        // libpq quotes the whole URI, password and all: it is left out.
        std::string text = trimmed(message ? message : "out of memory");
        for (size_t at; !uri.empty() && (at = text.find(uri)) != std::string::npos;) text.replace(at, uri.size(), "...");
        if (error) *error = text;
        PQfreemem(message);
        return {};
    }
    std::string host, port, db, user, service;
    for (PQconninfoOption* o = options; o->keyword; ++o) {
        if (!o->val || !*o->val) continue;
        const std::string key = o->keyword;
        if (key == "host" || (key == "hostaddr" && host.empty())) host = o->val;
        else if (key == "port") port = o->val;
        else if (key == "dbname") db = o->val;
        else if (key == "user") user = o->val;
        else if (key == "service") service = o->val;
    }
    PQconninfoFree(options);
    if (host.empty() && !service.empty()) return "service " + service;
    if (host.empty() || host.front() == '/') host = "local socket" + (host.empty() ? "" : " " + host);
    if (db.empty()) db = user;
    return host + (port.empty() ? "" : ":" + port) + "/" + db;
}

PgStatus PgDb::connect(const std::string& uri, int timeoutMs) {
    close();
    std::string error;
    if (serverName(uri, &error).empty()) return fail(PgStatus::BadSetting, error);
    const int64_t deadline = nowMs() + timeoutMs;
    // The URI first, then what this program asks for over it: libpq's own
    // connect bound (whole seconds, at least 1) and keepalives that find a
    // server gone without a word within about ten seconds.
    const std::string seconds = std::to_string(std::clamp((timeoutMs + 999) / 1000, 1, 3));
    const char* keys[] = {"dbname", "connect_timeout", "keepalives", "keepalives_idle", "keepalives_interval",
                          "keepalives_count", "tcp_user_timeout", "fallback_application_name", nullptr};
    const char* values[] = {uri.c_str(), seconds.c_str(), "1", "5", "2", "3", "10000", "fieldservice", nullptr};
    PGconn* c = PQconnectStartParams(keys, values, 1);
    conn_ = c;
    if (!c) return fail(PgStatus::Failed, "out of memory");
    if (PQstatus(c) == CONNECTION_BAD) return fail(loginFailure(trimmed(PQerrorMessage(c))), trimmed(PQerrorMessage(c)));
    PostgresPollingStatusType polled = PGRES_POLLING_WRITING;
    while (polled != PGRES_POLLING_OK) {
        if (polled == PGRES_POLLING_FAILED) {
            const std::string text = trimmed(PQerrorMessage(c));
            return fail(loginFailure(text), text);
        }
        if (!waitSocket(polled == PGRES_POLLING_WRITING, deadline)) {
            char text[48];
            std::snprintf(text, sizeof text, "no answer within %.1f s", timeoutMs / 1000.0);
            return fail(PgStatus::TimedOut, text);
        }
        polled = PQconnectPoll(c);
    }
    PQsetnonblocking(c, 1);
    return PgStatus::Ok;
}

PgStatus PgDb::exec(const std::string& sql, const std::vector<PgValue>& params, int timeoutMs,
                    std::vector<PgRow>* rows) {
    if (!conn_) return fail(PgStatus::Unreachable, "not connected");
    PGconn* c = handle(conn_);
    const int64_t deadline = nowMs() + timeoutMs;
    std::vector<const char*> values;
    for (const PgValue& p : params) values.push_back(p ? p->c_str() : nullptr);
    const int sent = params.empty() ? PQsendQuery(c, sql.c_str())
                                    : PQsendQueryParams(c, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                                        values.data(), nullptr, nullptr, 0);
    if (!sent) return fail(PgStatus::Unreachable, trimmed(PQerrorMessage(c)));
    // A long statement may not fit the socket at once.
    int flushed;
    while ((flushed = PQflush(c)) == 1)
        if (!waitSocket(true, deadline)) return fail(PgStatus::TimedOut, "no answer in time");
    if (flushed < 0) return fail(PgStatus::Unreachable, trimmed(PQerrorMessage(c)));
    PgStatus status = PgStatus::Ok;
    if (rows) rows->clear();
    for (;;) {
        while (PQisBusy(c)) {
            if (!waitSocket(false, deadline)) return fail(PgStatus::TimedOut, "no answer in time");
            if (!PQconsumeInput(c)) return fail(PgStatus::Unreachable, trimmed(PQerrorMessage(c)));
        }
        PGresult* r = PQgetResult(c);
        if (!r) break;
        const ExecStatusType s = PQresultStatus(r);
        if (s == PGRES_FATAL_ERROR || s == PGRES_BAD_RESPONSE || s == PGRES_NONFATAL_ERROR) {
            if (status == PgStatus::Ok) {
                status = PgStatus::Failed;
                lastError_ = trimmed(PQresultErrorMessage(r));
                const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
                sqlState_ = state ? state : "";
            }
        } else if (s == PGRES_TUPLES_OK && rows && status == PgStatus::Ok) {
            rows->clear();
            const int n = PQntuples(r), columns = PQnfields(r);
            rows->reserve(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) {
                PgRow row;
                row.reserve(static_cast<size_t>(columns));
                for (int j = 0; j < columns; ++j)
                    row.push_back(PQgetisnull(r, i, j) ? PgValue{} : PgValue{std::string(PQgetvalue(r, i, j),
                                                                            static_cast<size_t>(PQgetlength(r, i, j)))});
                rows->push_back(std::move(row));
            }
        }
        PQclear(r);
    }
    if (PQstatus(c) == CONNECTION_BAD) return fail(PgStatus::Unreachable, trimmed(PQerrorMessage(c)));
    return status;
}
