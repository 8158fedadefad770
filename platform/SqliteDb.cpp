#include "platform/SqliteDb.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>

#include <chrono>
#include <thread>

namespace {

sqlite3* handle(void* p) { return static_cast<sqlite3*>(p); }
sqlite3_stmt* statement(void* p) { return static_cast<sqlite3_stmt*>(p); }

DbStatus statusOf(int code) {
    switch (code & 0xFF) {   // extended codes carry the primary one in the low byte
    case SQLITE_OK: return DbStatus::Ok;
    case SQLITE_ROW: return DbStatus::Row;
    case SQLITE_DONE: return DbStatus::Done;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH: return DbStatus::CannotOpen;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return DbStatus::Busy;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT: return DbStatus::NotDatabase;
    case SQLITE_READONLY: return DbStatus::ReadOnly;
    case SQLITE_FULL: return DbStatus::Full;
    default: return DbStatus::Failed;
    }
}

}  // namespace

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept : stmt_(other.stmt_), db_(other.db_) {
    other.stmt_ = nullptr;
}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(statement(stmt_));
        stmt_ = other.stmt_;
        db_ = other.db_;
        other.stmt_ = nullptr;
    }
    return *this;
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(statement(stmt_)); }

void SqliteStatement::bind(int index, int64_t value) { sqlite3_bind_int64(statement(stmt_), index, value); }

void SqliteStatement::bind(int index, const std::string& value) {
    sqlite3_bind_text(statement(stmt_), index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::bindNull(int index) { sqlite3_bind_null(statement(stmt_), index); }

DbStatus SqliteStatement::step() {
    if (!stmt_) return DbStatus::Failed;
    const int code = sqlite3_step(statement(stmt_));
    if (code == SQLITE_ROW) return DbStatus::Row;
    if (code == SQLITE_DONE) return DbStatus::Done;
    return db_->note(code);
}

void SqliteStatement::reset() {
    sqlite3_reset(statement(stmt_));
    sqlite3_clear_bindings(statement(stmt_));
}

int64_t SqliteStatement::integer(int column) const { return sqlite3_column_int64(statement(stmt_), column); }

std::optional<int64_t> SqliteStatement::optionalInteger(int column) const {
    if (sqlite3_column_type(statement(stmt_), column) == SQLITE_NULL) return std::nullopt;
    return integer(column);
}

std::string SqliteStatement::text(int column) const {
    const auto* bytes = sqlite3_column_text(statement(stmt_), column);
    if (!bytes) return {};
    return std::string(reinterpret_cast<const char*>(bytes),
                       static_cast<size_t>(sqlite3_column_bytes(statement(stmt_), column)));
}

SqliteDb::~SqliteDb() { close(); }

DbStatus SqliteDb::note(int code) {
    lastStatus_ = statusOf(code);
    if (lastStatus_ != DbStatus::Ok && lastStatus_ != DbStatus::Row && lastStatus_ != DbStatus::Done)
        lastError_ = db_ ? sqlite3_errmsg(handle(db_)) : sqlite3_errstr(code);
    return lastStatus_;
}

DbStatus SqliteDb::open(const std::string& path, int busyMs, bool create) {
    close();
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    const int code = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    db_ = db;
    if (code != SQLITE_OK) {
        DbStatus s = note(code);
        close();
        return s;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, busyMs);
    // The first statement reads the header: a file that is no database
    // fails here. Reading writes nothing, not even to a new, empty file.
    SqliteStatement st = prepare("PRAGMA schema_version");
    const DbStatus s = st.valid() ? st.step() : lastStatus_;
    if (s != DbStatus::Row) {
        st = SqliteStatement();
        close();
        return lastStatus_ = s == DbStatus::Done ? DbStatus::Failed : s;
    }
    return lastStatus_ = DbStatus::Ok;
}

namespace {

// A database in WAL mode (header bytes 18 and 19 are 2) without its log
// file: closed cleanly, all of it in the one file.
bool walWithoutLog(const std::string& path) {
    unsigned char header[20] = {};
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    const size_t got = std::fread(header, 1, sizeof header, f);
    std::fclose(f);
    struct stat st {};
    return got == sizeof header && header[18] == 2 && header[19] == 2 && ::stat((path + "-wal").c_str(), &st) != 0;
}

// What tells whether a file changed: its size and time of last change.
bool sameStat(const struct stat& a, const struct stat& b) {
    return a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// A file name as an SQLite URI ("file:" and the path, its %, ? and # escaped).
std::string fileUri(const std::string& path, const char* query) {
    std::string uri = "file:";
    for (char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
            uri += escaped;
        } else {
            uri += c;
        }
    }
    return uri + "?" + query;
}

}  // namespace

DbStatus SqliteDb::openCopy(const std::string& path, int busyMs) {
    // A reader of a WAL database makes its log and shared-memory files
    // beside it when they are not there, and leaves them. A database closed
    // cleanly is read as the file it is instead, and the copy is kept only
    // when nobody wrote meanwhile (a writer would have made the log first).
    struct stat before {}, after {};
    if (walWithoutLog(path) && ::stat(path.c_str(), &before) == 0 &&
        copyFrom(fileUri(path, "immutable=1"), busyMs) == DbStatus::Ok && ::stat(path.c_str(), &after) == 0 &&
        sameStat(before, after) && walWithoutLog(path))
        return DbStatus::Ok;
    return copyFrom(path, busyMs);
}

DbStatus SqliteDb::copyFrom(const std::string& name, int busyMs) {
    close();
    sqlite3* file = nullptr;
    int code = sqlite3_open_v2(name.c_str(), &file, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI, nullptr);
    if (code == SQLITE_OK) {
        sqlite3_extended_result_codes(file, 1);
        sqlite3_busy_timeout(file, busyMs);
    }
    sqlite3* memory = nullptr;
    if (code == SQLITE_OK) code = sqlite3_open_v2(":memory:", &memory, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (code == SQLITE_OK) {
        sqlite3_backup* backup = sqlite3_backup_init(memory, "main", file, "main");
        if (!backup) {
            code = sqlite3_errcode(memory);
        } else {
            // A writer's lock is waited for as the busy timeout says.
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(busyMs);
            while ((code = sqlite3_backup_step(backup, -1)) == SQLITE_BUSY || code == SQLITE_LOCKED) {
                if (std::chrono::steady_clock::now() >= until) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            if (code == SQLITE_DONE) code = SQLITE_OK;
            sqlite3_backup_finish(backup);
        }
    }
    if (code != SQLITE_OK) {
        lastStatus_ = statusOf(code);
        lastError_ = file ? sqlite3_errmsg(file) : sqlite3_errstr(code);
        if (file && sqlite3_errcode(file) == SQLITE_OK) lastError_ = sqlite3_errstr(code);
    }
    sqlite3_close_v2(file);
    if (code != SQLITE_OK) {
        sqlite3_close_v2(memory);
        return lastStatus_;
    }
    db_ = memory;
    sqlite3_extended_result_codes(memory, 1);
    return lastStatus_ = DbStatus::Ok;
}

DbStatus SqliteDb::useWriteAheadLog(int busyMs) {
    // Switching a new database to WAL takes a lock SQLite does not wait
    // for: a program opening it at that moment is told "busy" at once, so
    // the switch is tried again, in short sleeps, for the busy timeout.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(busyMs);
    DbStatus s;
    while ((s = exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;")) ==
               DbStatus::Busy &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return s;
}

void SqliteDb::close() {
    if (db_) sqlite3_close_v2(handle(db_));
    db_ = nullptr;
}

DbStatus SqliteDb::exec(const std::string& sql) {
    if (!db_) return DbStatus::CannotOpen;
    char* error = nullptr;
    const int code = sqlite3_exec(handle(db_), sql.c_str(), nullptr, nullptr, &error);
    sqlite3_free(error);
    return code == SQLITE_OK ? (lastStatus_ = DbStatus::Ok) : note(code);
}

SqliteStatement SqliteDb::prepare(const std::string& sql) {
    if (!db_) {
        lastStatus_ = DbStatus::CannotOpen;
        return {};
    }
    sqlite3_stmt* stmt = nullptr;
    const int code = sqlite3_prepare_v2(handle(db_), sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr);
    if (code != SQLITE_OK) {
        note(code);
        return {};
    }
    return SqliteStatement(stmt, this);
}

int64_t SqliteDb::lastInsertId() const { return db_ ? sqlite3_last_insert_rowid(handle(db_)) : 0; }
