#include "session/ServiceJournal.h"

#include <filesystem>

#include "platform/UserDirs.h"

namespace {

constexpr const char* OPERATION_KEYS[JournalOperationCount] = {"send", "password", "address", "restart",
                                                               "save", "load", "putback"};
constexpr const char* VALUE_OUTCOME_KEYS[ValueOutcomeCount] = {"recorded", "written", "verified",  "differs",
                                                              "moving",   "refused", "no answer", "put back"};

// The tables of the present version. Each statement may run on a database
// that has some of them already (a migration ends with them).
constexpr const char* SCHEMA = R"(
CREATE TABLE IF NOT EXISTS devices(
  id INTEGER PRIMARY KEY, address INTEGER, name TEXT, version INTEGER, release INTEGER,
  parameter_version INTEGER, register40 INTEGER NOT NULL DEFAULT -1, register44 INTEGER NOT NULL DEFAULT -1);
CREATE TABLE IF NOT EXISTS entries(
  id INTEGER PRIMARY KEY, device_id INTEGER NOT NULL REFERENCES devices(id), operation TEXT NOT NULL,
  started INTEGER NOT NULL, ended INTEGER, outcome TEXT, user TEXT, host TEXT, port TEXT, via TEXT,
  file TEXT, seal TEXT, backup TEXT, detail TEXT);
CREATE INDEX IF NOT EXISTS entries_by_device ON entries(device_id, id);
CREATE TABLE IF NOT EXISTS entry_values(
  entry_id INTEGER NOT NULL REFERENCES entries(id), number INTEGER NOT NULL, on_off INTEGER NOT NULL,
  before INTEGER, after INTEGER, read_back INTEGER);
CREATE INDEX IF NOT EXISTS values_by_entry ON entry_values(entry_id);
CREATE INDEX IF NOT EXISTS values_by_number ON entry_values(number, entry_id);
)";

// Version 1 to 2: the two further identity values (unknown for the devices
// it saw) and the parameter values of each entry.
constexpr const char* MIGRATE_1_TO_2 = R"(
ALTER TABLE devices ADD COLUMN register40 INTEGER NOT NULL DEFAULT -1;
ALTER TABLE devices ADD COLUMN register44 INTEGER NOT NULL DEFAULT -1;
)";

constexpr const char* ENTRY_COLUMNS =
    "id, device_id, operation, started, ended, outcome, user, host, port, via, file, seal, backup, detail";

JournalProblem problemOf(DbStatus status) {
    switch (status) {
    case DbStatus::CannotOpen: return JournalProblem::CannotOpen;
    case DbStatus::Busy: return JournalProblem::Busy;
    case DbStatus::NotDatabase: return JournalProblem::Damaged;
    case DbStatus::ReadOnly: return JournalProblem::ReadOnly;
    case DbStatus::Full: return JournalProblem::Full;
    default: return JournalProblem::Failed;
    }
}

bool finished(DbStatus s) { return s == DbStatus::Done || s == DbStatus::Ok || s == DbStatus::Row; }

JournalRow rowOf(const SqliteStatement& st) {
    JournalRow r;
    r.id = st.integer(0);
    r.deviceId = st.integer(1);
    r.operation = operationOfKey(st.text(2)).value_or(JournalOperation::Restart);
    r.started = st.integer(3);
    r.ended = st.optionalInteger(4);
    const std::string outcome = st.text(5);
    if (!outcome.empty()) r.outcome = outcome == "done" ? JournalOutcome::Done : JournalOutcome::Failed;
    r.user = st.text(6);
    r.host = st.text(7);
    r.port = st.text(8);
    r.via = st.text(9);
    r.file = st.text(10);
    r.seal = st.text(11);
    r.backup = st.text(12);
    r.detail = st.text(13);
    return r;
}

JournalValue valueOf(const SqliteStatement& st, int first) {
    JournalValue v;
    v.number = static_cast<uint32_t>(st.integer(first));
    v.onOff = st.integer(first + 1) != 0;
    v.before = st.optionalInteger(first + 2);
    v.after = st.optionalInteger(first + 3);
    v.readBack = st.optionalInteger(first + 4);
    return v;
}

}  // namespace

const char* operationKey(JournalOperation op) { return OPERATION_KEYS[static_cast<size_t>(op)]; }

const char* valueOutcomeKey(ValueOutcome outcome) { return VALUE_OUTCOME_KEYS[static_cast<size_t>(outcome)]; }

std::optional<ValueOutcome> valueOutcomeOfKey(const std::string& key) {
    for (size_t i = 0; i < std::size(VALUE_OUTCOME_KEYS); ++i)
        if (key == VALUE_OUTCOME_KEYS[i]) return static_cast<ValueOutcome>(i);
    return std::nullopt;
}

std::optional<JournalOperation> operationOfKey(const std::string& key) {
    for (size_t i = 0; i < std::size(OPERATION_KEYS); ++i)
        if (key == OPERATION_KEYS[i]) return static_cast<JournalOperation>(i);
    return std::nullopt;
}

ServiceJournal::ServiceJournal(std::string path, bool enabled, int busyMs)
    : path_(std::move(path)), enabled_(enabled), busyMs_(busyMs) {}

void ServiceJournal::configure(const std::string& path, bool enabled) {
    // Another database is another story: its problems are told afresh.
    if (path != path_) {
        db_.close();
        succeed();
    }
    path_ = path;
    enabled_ = enabled;
}

bool ServiceJournal::problemIsNew() {
    if (problem_ == JournalProblem::None || told_) return false;
    told_ = true;
    return true;
}

bool ServiceJournal::fail(DbStatus status) {
    problem_ = problemOf(status);
    problemText_ = db_.lastError();
    // Opened again at the next operation: the lock may be gone, the disk
    // emptied, the file put right.
    db_.close();
    return false;
}

void ServiceJournal::succeed() {
    problem_ = JournalProblem::None;
    problemText_.clear();
    told_ = false;
}

bool ServiceJournal::ready() {
    if (!enabled()) return false;
    if (db_.isOpen()) return true;
    std::error_code ec;
    const std::string folder = std::filesystem::path(path_).parent_path().string();
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) makeUserFolder(folder);
    DbStatus s = db_.open(path_, busyMs_);
    if (s != DbStatus::Ok) return fail(s);
    return migrate();
}

// Creates the tables of a new database or brings an older one up to date,
// under a write lock so that two programs starting at once do it once.
bool ServiceJournal::migrate() {
    auto version = [this]() -> std::optional<int64_t> {
        SqliteStatement st = db_.prepare("PRAGMA user_version");
        if (!st.valid() || st.step() != DbStatus::Row) return std::nullopt;
        return st.integer(0);
    };
    std::optional<int64_t> v = version();
    if (!v) return fail(db_.lastStatus());
    if (*v == JOURNAL_SCHEMA_VERSION) return true;
    // A newer program's database: nothing read, nothing written.
    if (*v > JOURNAL_SCHEMA_VERSION) {
        problem_ = JournalProblem::NewerSchema;
        problemText_ = std::to_string(*v);
        db_.close();
        return false;
    }
    DbStatus s = db_.exec("BEGIN IMMEDIATE");
    if (s != DbStatus::Ok) return fail(s);
    v = version();   // another program may have done it meanwhile
    if (v && *v == 1) s = db_.exec(MIGRATE_1_TO_2);
    if (v && *v < JOURNAL_SCHEMA_VERSION && s == DbStatus::Ok) s = db_.exec(SCHEMA);
    if (v && *v < JOURNAL_SCHEMA_VERSION && s == DbStatus::Ok)
        s = db_.exec("PRAGMA user_version = " + std::to_string(JOURNAL_SCHEMA_VERSION));
    if (!v || s != DbStatus::Ok) {
        const DbStatus failed = v ? s : db_.lastStatus();
        db_.exec("ROLLBACK");
        return fail(failed);
    }
    s = db_.exec("COMMIT");
    if (s != DbStatus::Ok) {
        db_.exec("ROLLBACK");
        return fail(s);
    }
    return true;
}

int64_t ServiceJournal::deviceIdOf(const DeviceIdentity& d) {
    SqliteStatement find = db_.prepare(
        "SELECT id FROM devices WHERE address IS ?1 AND name IS ?2 AND version IS ?3 AND release IS ?4 "
        "AND parameter_version IS ?5 AND register40 IS ?6 AND register44 IS ?7");
    SqliteStatement add = db_.prepare(
        "INSERT INTO devices(address, name, version, release, parameter_version, register40, register44) "
        "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    if (!find.valid() || !add.valid()) return 0;
    for (SqliteStatement* st : {&find, &add}) {
        st->bind(1, d.address);
        st->bind(2, d.name);
        st->bind(3, d.version);
        st->bind(4, d.release);
        st->bind(5, d.parameterVersion);
        st->bind(6, d.register40);
        st->bind(7, d.register44);
    }
    DbStatus s = find.step();
    if (s == DbStatus::Row) return find.integer(0);
    if (s != DbStatus::Done || add.step() != DbStatus::Done) return 0;
    return db_.lastInsertId();
}

int64_t ServiceJournal::begin(const JournalStart& start) {
    if (!ready()) return 0;
    DbStatus s = db_.exec("BEGIN IMMEDIATE");
    if (s != DbStatus::Ok) return fail(s), 0;
    const int64_t device = deviceIdOf(start.device);
    SqliteStatement st = db_.prepare(
        "INSERT INTO entries(device_id, operation, started, user, host, port, via, file) "
        "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    if (device == 0 || !st.valid()) {
        const DbStatus failed = db_.lastStatus();
        db_.exec("ROLLBACK");
        return fail(failed), 0;
    }
    st.bind(1, device);
    st.bind(2, std::string(operationKey(start.operation)));
    st.bind(3, start.time);
    st.bind(4, start.user);
    st.bind(5, start.host);
    st.bind(6, start.port);
    st.bind(7, start.via);
    st.bind(8, start.file);
    s = st.step();
    const int64_t id = db_.lastInsertId();
    if (s != DbStatus::Done || (s = db_.exec("COMMIT")) != DbStatus::Ok) {
        db_.exec("ROLLBACK");
        return fail(s), 0;
    }
    succeed();
    return id;
}

bool ServiceJournal::end(int64_t entryId, const JournalEnd& e) {
    if (entryId == 0 || !ready()) return false;
    DbStatus s = db_.exec("BEGIN IMMEDIATE");
    if (s != DbStatus::Ok) return fail(s);
    SqliteStatement update = db_.prepare(
        "UPDATE entries SET ended = ?2, outcome = ?3, file = CASE WHEN ?4 = '' THEN file ELSE ?4 END, "
        "seal = ?5, backup = ?6, detail = ?7 WHERE id = ?1");
    SqliteStatement value = db_.prepare(
        "INSERT INTO entry_values(entry_id, number, on_off, before, after, read_back) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    s = update.valid() && value.valid() ? DbStatus::Ok : db_.lastStatus();
    if (s == DbStatus::Ok) {
        update.bind(1, entryId);
        update.bind(2, e.time);
        update.bind(3, std::string(e.outcome == JournalOutcome::Done ? "done" : "failed"));
        update.bind(4, e.file);
        update.bind(5, e.seal);
        update.bind(6, e.backup);
        update.bind(7, e.detail);
        s = update.step();
    }
    for (const JournalValue& v : e.values) {
        if (!finished(s)) break;
        value.reset();
        value.bind(1, entryId);
        value.bind(2, static_cast<int64_t>(v.number));
        value.bind(3, static_cast<int64_t>(v.onOff));
        value.bind(4, v.before);
        value.bind(5, v.after);
        value.bind(6, v.readBack);
        s = value.step();
    }
    if (!finished(s) || (s = db_.exec("COMMIT")) != DbStatus::Ok) {
        db_.exec("ROLLBACK");
        return fail(s);
    }
    succeed();
    return true;
}

bool ServiceJournal::noteBackup(int64_t entryId, const std::string& backup) {
    if (entryId == 0 || !ready()) return false;
    SqliteStatement st = db_.prepare("UPDATE entries SET backup = ?2 WHERE id = ?1");
    if (!st.valid()) return fail(db_.lastStatus());
    st.bind(1, entryId);
    st.bind(2, backup);
    const DbStatus s = st.step();
    if (s != DbStatus::Done) return fail(s);
    succeed();
    return true;
}

std::vector<JournalDevice> ServiceJournal::devices() {
    std::vector<JournalDevice> out;
    if (!ready()) return out;
    SqliteStatement st = db_.prepare(
        "SELECT d.id, d.address, d.name, d.version, d.release, d.parameter_version, d.register40, d.register44, "
        "(SELECT COUNT(*) FROM entries e WHERE e.device_id = d.id), "
        "(SELECT started FROM entries e WHERE e.device_id = d.id ORDER BY id DESC LIMIT 1) "
        "FROM devices d WHERE EXISTS (SELECT 1 FROM entries e WHERE e.device_id = d.id) "
        "ORDER BY d.name, d.address, d.id");
    DbStatus s = st.valid() ? DbStatus::Ok : db_.lastStatus();
    while (st.valid() && (s = st.step()) == DbStatus::Row) {
        JournalDevice d;
        d.id = st.integer(0);
        d.identity = {st.integer(1), st.text(2), st.integer(3), st.integer(4), st.integer(5), st.integer(6),
                      st.integer(7)};
        d.entries = st.integer(8);
        d.lastTime = st.integer(9);
        out.push_back(std::move(d));
    }
    if (s != DbStatus::Done) fail(s);
    else succeed();
    return out;
}

namespace {
// The statement of a query: its columns, then its conditions, newest first.
std::string querySql(const std::string& columns, const JournalQuery& q) {
    std::string sql = "SELECT " + columns + " FROM entries WHERE (?1 = 0 OR device_id = ?1)";
    if (q.operation) sql += " AND operation = ?2";
    if (!q.text.empty())
        sql += " AND (instr(lower(file), lower(?3)) OR instr(lower(backup), lower(?3)) OR instr(lower(user), lower(?3))"
               " OR instr(lower(host), lower(?3)) OR instr(lower(port), lower(?3)) OR instr(lower(detail), lower(?3))"
               " OR instr(lower(via), lower(?3)))";
    if (q.fromId) sql += " AND id >= ?4";
    if (q.toId) sql += " AND id <= ?5";
    sql += " ORDER BY id DESC";
    if (q.limit) sql += " LIMIT " + std::to_string(q.limit);
    return sql;
}

void bindQuery(SqliteStatement& st, const JournalQuery& q) {
    st.bind(1, q.deviceId);
    if (q.operation) st.bind(2, std::string(operationKey(*q.operation)));
    if (!q.text.empty()) st.bind(3, q.text);
    if (q.fromId) st.bind(4, q.fromId);
    if (q.toId) st.bind(5, q.toId);
}
}  // namespace

template <typename Row, typename Read>
std::vector<Row> ServiceJournal::queryRows(const std::string& columns, const JournalQuery& q, Read read) {
    std::vector<Row> out;
    if (!ready()) return out;
    SqliteStatement st = db_.prepare(querySql(columns, q));
    DbStatus s = st.valid() ? DbStatus::Ok : db_.lastStatus();
    if (st.valid()) {
        bindQuery(st, q);
        while ((s = st.step()) == DbStatus::Row) out.push_back(read(st));
    }
    if (s != DbStatus::Done) fail(s);
    else succeed();
    return out;
}

std::vector<JournalRow> ServiceJournal::entries(const JournalQuery& q) {
    return queryRows<JournalRow>(ENTRY_COLUMNS, q, [](SqliteStatement& st) { return rowOf(st); });
}

std::vector<int64_t> ServiceJournal::entryIds(const JournalQuery& q) {
    return queryRows<int64_t>("id", q, [](SqliteStatement& st) { return st.integer(0); });
}

std::optional<JournalRow> ServiceJournal::entry(int64_t id) {
    if (!ready()) return std::nullopt;
    SqliteStatement st = db_.prepare(std::string("SELECT ") + ENTRY_COLUMNS + " FROM entries WHERE id = ?1");
    if (!st.valid()) return fail(db_.lastStatus()), std::nullopt;
    st.bind(1, id);
    if (st.step() == DbStatus::Row) return rowOf(st);
    return std::nullopt;
}

std::vector<JournalValue> ServiceJournal::values(int64_t entryId) {
    std::vector<JournalValue> out;
    if (!ready()) return out;
    SqliteStatement st = db_.prepare(
        "SELECT number, on_off, before, after, read_back FROM entry_values WHERE entry_id = ?1 ORDER BY number");
    if (!st.valid()) return fail(db_.lastStatus()), out;
    st.bind(1, entryId);
    while (st.step() == DbStatus::Row) out.push_back(valueOf(st, 0));
    return out;
}

std::vector<ValuePoint> ServiceJournal::valueHistory(int64_t deviceId, uint32_t number) {
    std::vector<ValuePoint> out;
    if (!ready()) return out;
    SqliteStatement st = db_.prepare(
        "SELECT e.id, e.started, e.operation, v.number, v.on_off, v.before, v.after, v.read_back "
        "FROM entry_values v JOIN entries e ON e.id = v.entry_id "
        "WHERE v.number = ?1 AND e.device_id = ?2 AND e.outcome IS NOT NULL ORDER BY e.id");
    if (!st.valid()) return fail(db_.lastStatus()), out;
    st.bind(1, static_cast<int64_t>(number));
    st.bind(2, deviceId);
    while (st.step() == DbStatus::Row) {
        ValuePoint p;
        p.entryId = st.integer(0);
        p.time = st.integer(1);
        p.operation = operationOfKey(st.text(2)).value_or(JournalOperation::Restart);
        p.value = valueOf(st, 3);
        out.push_back(p);
    }
    return out;
}

std::vector<uint32_t> ServiceJournal::parameterNumbers(int64_t deviceId) {
    std::vector<uint32_t> out;
    if (!ready()) return out;
    SqliteStatement st = db_.prepare(
        "SELECT DISTINCT v.number FROM entry_values v JOIN entries e ON e.id = v.entry_id "
        "WHERE e.device_id = ?1 ORDER BY v.number");
    if (!st.valid()) return fail(db_.lastStatus()), out;
    st.bind(1, deviceId);
    while (st.step() == DbStatus::Row) out.push_back(static_cast<uint32_t>(st.integer(0)));
    return out;
}
