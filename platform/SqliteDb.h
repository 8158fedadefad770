#pragma once
// A small door to the SQLite library: one connection, statements with bound
// values, and every failure as a status with the library's words, never an
// exception. Nothing above this file sees sqlite3.h.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What became of a call, in the terms the journal needs to tell the operator.
enum class DbStatus : uint8_t {
    Ok,
    Row,          // step(): a row is there to read
    Done,         // step(): no (more) rows
    CannotOpen,   // missing folder, no rights, a full disk on creation
    Busy,         // another program holds the lock past the busy timeout
    NotDatabase,  // the file is not SQLite or is damaged
    ReadOnly,     // the file or its folder may not be written
    Full,         // the disk is full
    Failed,       // anything else (a mistake in a statement, out of memory)
};

class SqliteDb;

// One prepared statement. Bind indexes start at 1, column indexes at 0.
class SqliteStatement {
public:
    SqliteStatement() = default;
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool valid() const { return stmt_ != nullptr; }
    void bind(int index, int64_t value);
    void bind(int index, const std::string& value);
    void bindNull(int index);
    void bind(int index, const std::optional<int64_t>& value) {
        if (value) bind(index, *value);
        else bindNull(index);
    }
    // Row, Done, or a failure.
    DbStatus step();
    // Ready to run again with new bindings.
    void reset();

    int64_t integer(int column) const;
    std::optional<int64_t> optionalInteger(int column) const;
    std::string text(int column) const;

private:
    friend class SqliteDb;
    SqliteStatement(void* stmt, SqliteDb* db) : stmt_(stmt), db_(db) {}
    void* stmt_ = nullptr;
    SqliteDb* db_ = nullptr;
};

class SqliteDb {
public:
    SqliteDb() = default;
    ~SqliteDb();
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;

    // Opens (creating it when create is set) the database at path and waits
    // up to busyMs for another writer's lock on every later call. Nothing is
    // written: the caller looks at the file first (see useWriteAheadLog). A
    // file that is not a database is found here, not at the first query.
    DbStatus open(const std::string& path, int busyMs, bool create = true);
    // A copy of the database at path in memory, read through a read-only
    // connection: what the copy becomes (brought up to date) is never written
    // back, and no file is created.
    DbStatus openCopy(const std::string& path, int busyMs);
    // Write-ahead-log mode, so a reader never blocks a writer, with every
    // commit on the disk before it returns (synchronous FULL: in WAL mode
    // NORMAL may lose the last commits on a power cut), and foreign keys.
    DbStatus useWriteAheadLog(int busyMs);
    void close();
    bool isOpen() const { return db_ != nullptr; }

    // Runs statements that return nothing (schema, BEGIN, COMMIT).
    DbStatus exec(const std::string& sql);
    // A statement to bind and step; invalid (and lastError set) on failure.
    SqliteStatement prepare(const std::string& sql);
    int64_t lastInsertId() const;

    // The library's words for the last failure, for the operator's message.
    const std::string& lastError() const { return lastError_; }
    DbStatus lastStatus() const { return lastStatus_; }

private:
    friend class SqliteStatement;
    DbStatus note(int code);
    // The database named (a path or a file: URI) copied into memory.
    DbStatus copyFrom(const std::string& name, int busyMs);
    void* db_ = nullptr;
    std::string lastError_;
    DbStatus lastStatus_ = DbStatus::Ok;
};
