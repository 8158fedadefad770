#include "session/ServiceJournal.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <utility>


#include "platform/UserDirs.h"

namespace {

constexpr const char* OPERATION_KEYS[JournalOperationCount] = {"send", "password", "address", "restart",
                                                               "save", "load", "putback"};
constexpr const char* VALUE_OUTCOME_KEYS[ValueOutcomeCount] = {"recorded", "written", "verified",  "differs",
                                                              "moving",   "refused", "no answer", "put back"};

// The tables of the present version. Each statement may run on a database
// that has some of them already (a migration ends with them). A device is a
// unit (see sameUnit): its address and versions are the last seen, each
// entry keeps those it was made with.
constexpr const char* SCHEMA = R"(
CREATE TABLE IF NOT EXISTS devices(
  id INTEGER PRIMARY KEY, address INTEGER, name TEXT, version INTEGER, release INTEGER,
  parameter_version INTEGER, register40 INTEGER NOT NULL DEFAULT -1, register44 INTEGER NOT NULL DEFAULT -1);
CREATE TABLE IF NOT EXISTS entries(
  id INTEGER PRIMARY KEY, device_id INTEGER NOT NULL REFERENCES devices(id), operation TEXT NOT NULL,
  started INTEGER NOT NULL, ended INTEGER, outcome TEXT, user TEXT, host TEXT, port TEXT, via TEXT,
  file TEXT, seal TEXT, backup TEXT, detail TEXT,
  address INTEGER, version INTEGER, release INTEGER, parameter_version INTEGER,
  uid TEXT, sent INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS entries_by_device ON entries(device_id, id);
CREATE UNIQUE INDEX IF NOT EXISTS entries_by_uid ON entries(uid);
CREATE INDEX IF NOT EXISTS entries_waiting ON entries(id) WHERE sent < 2;
CREATE TABLE IF NOT EXISTS entry_values(
  entry_id INTEGER NOT NULL REFERENCES entries(id), number INTEGER NOT NULL, on_off INTEGER NOT NULL,
  before INTEGER, after INTEGER, read_back INTEGER, outcome TEXT);
CREATE INDEX IF NOT EXISTS values_by_entry ON entry_values(entry_id);
CREATE INDEX IF NOT EXISTS values_by_number ON entry_values(number, entry_id);
)";

// The tables a journal of version 1 or 2 has (and no others).
constexpr const char* OUR_TABLES[] = {"devices", "entries", "entry_values"};

// Version 1 to 2: the two further identity values (unknown for the devices
// it saw) and the parameter values of each entry.
constexpr const char* MIGRATE_1_TO_2 = R"(
ALTER TABLE devices ADD COLUMN register40 INTEGER NOT NULL DEFAULT -1;
ALTER TABLE devices ADD COLUMN register44 INTEGER NOT NULL DEFAULT -1;
CREATE TABLE IF NOT EXISTS entry_values(
  entry_id INTEGER NOT NULL REFERENCES entries(id), number INTEGER NOT NULL, on_off INTEGER NOT NULL,
  before INTEGER, after INTEGER, read_back INTEGER);
)";

// Version 2 to 3: each value's outcome (unknown before); each entry keeps
// the address and versions of its device row; the rows that are one unit
// (the same name and further identity values, or without them the same name
// and address: a firmware update made a new row before) become one device,
// the one seen first, showing the address and versions of its newest entry.
constexpr const char* MIGRATE_2_TO_3 = R"(
ALTER TABLE entry_values ADD COLUMN outcome TEXT;
ALTER TABLE entries ADD COLUMN address INTEGER;
ALTER TABLE entries ADD COLUMN version INTEGER;
ALTER TABLE entries ADD COLUMN release INTEGER;
ALTER TABLE entries ADD COLUMN parameter_version INTEGER;
UPDATE entries SET (address, version, release, parameter_version) =
  (SELECT d.address, d.version, d.release, d.parameter_version FROM devices d WHERE d.id = entries.device_id);
CREATE TEMP TABLE unit_of AS SELECT d.id AS id,
  (SELECT MIN(o.id) FROM devices o WHERE o.name IS d.name AND CASE WHEN d.register40 >= 0 OR d.register44 >= 0
     THEN o.register40 = d.register40 AND o.register44 = d.register44
     ELSE o.register40 < 0 AND o.register44 < 0 AND o.address IS d.address END) AS unit
  FROM devices d;
UPDATE entries SET device_id = (SELECT unit FROM unit_of WHERE unit_of.id = entries.device_id);
DELETE FROM devices WHERE id NOT IN (SELECT unit FROM unit_of);
UPDATE devices SET (address, version, release, parameter_version) =
  (SELECT e.address, e.version, e.release, e.parameter_version FROM entries e WHERE e.device_id = devices.id
   ORDER BY e.id DESC LIMIT 1)
  WHERE EXISTS (SELECT 1 FROM entries e WHERE e.device_id = devices.id);
DROP TABLE temp.unit_of;
)";

// A random (version 4) UUID, made by SQLite as the entry is written.
#define NEW_UID                                                                                                  \
    "lower(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-' || " \
    "substr('89AB', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)))"

// Version 3 to 4: each entry's unique id, and what the plant's server has
// of it (0: nothing, 1: its start, 2: all of it). Every older entry waits
// for the server, once one is set.
constexpr const char* MIGRATE_3_TO_4 =
    "ALTER TABLE entries ADD COLUMN uid TEXT;"
    "ALTER TABLE entries ADD COLUMN sent INTEGER NOT NULL DEFAULT 0;"
    "UPDATE entries SET uid = " NEW_UID ";";

// Sent: 0 nothing, 1 the start without the end, 2 all of it.
constexpr const char* ENTRY_COLUMNS =
    "id, device_id, operation, started, ended, outcome, user, host, port, via, file, seal, backup, detail, "
    "address, version, release, parameter_version, uid, (sent = 0 OR (sent = 1 AND ended IS NOT NULL))";
constexpr const char* WAITING = "(sent = 0 OR (sent = 1 AND ended IS NOT NULL))";

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
    r.address = st.optionalInteger(14).value_or(-1);
    r.version = st.optionalInteger(15).value_or(-1);
    r.release = st.optionalInteger(16).value_or(-1);
    r.parameterVersion = st.optionalInteger(17).value_or(-1);
    r.uid = st.text(18);
    r.waiting = st.integer(19) != 0;
    return r;
}

JournalValue valueOf(const SqliteStatement& st, int first) {
    JournalValue v;
    v.number = static_cast<uint32_t>(st.integer(first));
    v.onOff = st.integer(first + 1) != 0;
    v.before = st.optionalInteger(first + 2);
    v.after = st.optionalInteger(first + 3);
    v.readBack = st.optionalInteger(first + 4);
    v.outcome = valueOutcomeOfKey(st.text(first + 5));
    return v;
}

// What a query's steps ended with: Done, or the failure.
template <typename Each>
DbStatus eachRow(SqliteStatement& st, Each each) {
    DbStatus s;
    while ((s = st.step()) == DbStatus::Row) each(st);
    return s;
}

}  // namespace

bool sameUnit(const DeviceIdentity& unit, const DeviceIdentity& device) {
    if (unit.name != device.name) return false;
    const bool unitKnown = unit.register40 >= 0 || unit.register44 >= 0;
    const bool deviceKnown = device.register40 >= 0 || device.register44 >= 0;
    if (unitKnown && deviceKnown) return unit.register40 == device.register40 && unit.register44 == device.register44;
    return unit.address == device.address;
}

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
    // Another database is another story: its problems are told afresh, and
    // ends kept for the old one are not the new one's.
    if (path != path_) {
        db_.close();
        pending_.clear();
        succeed();
    }
    path_ = path;
    enabled_ = enabled;
}

void ServiceJournal::setReadOnly(bool readOnly) {
    if (readOnly != readOnly_) db_.close();
    readOnly_ = readOnly;
}

bool ServiceJournal::problemIsNew() {
    if (problem_ == JournalProblem::None || told_) return false;
    told_ = true;
    return true;
}

bool ServiceJournal::takeReplaced() { return std::exchange(replaced_, false); }

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

bool ServiceJournal::sameFile() const {
    struct stat st {};
    return ::stat(path_.c_str(), &st) == 0 && static_cast<uint64_t>(st.st_dev) == fileDevice_ &&
           static_cast<uint64_t>(st.st_ino) == fileInode_;
}

bool ServiceJournal::ready() {
    if (!enabled()) return false;
    if (db_.isOpen()) {
        if (readOnly_ || sameFile()) return true;
        // Another program replaced or removed the file: the connection would
        // go on writing to the old one, which nobody reads any more. The
        // ends kept for it are not the new file's. What the old file's log
        // holds goes into it first (by the descriptors still open) and the
        // log is emptied: left under the path's name, it would be taken for
        // the log of the file there now, or deleted with the last entries.
        db_.exec("PRAGMA wal_checkpoint(TRUNCATE)");
        db_.close();
        pending_.clear();
        replaced_ = true;
    }
    if (readOnly_) {
        const DbStatus s = db_.openCopy(path_, busyMs_);
        if (s != DbStatus::Ok) return fail(s);
        return ours() && migrate();
    }
    std::error_code ec;
    const std::string folder = std::filesystem::path(path_).parent_path().string();
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) makeUserFolder(folder);
    const DbStatus s = db_.open(path_, busyMs_);
    if (s != DbStatus::Ok) return fail(s);
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0) {
        fileDevice_ = static_cast<uint64_t>(st.st_dev);
        fileInode_ = static_cast<uint64_t>(st.st_ino);
    }
    // Looked at before anything is written, even the switch to WAL.
    if (!ours()) return false;
    const DbStatus wal = db_.useWriteAheadLog(busyMs_);
    if (wal != DbStatus::Ok) return fail(wal);
    return migrate();
}

bool ServiceJournal::ours() {
    auto number = [this](const char* pragma) -> std::optional<int64_t> {
        SqliteStatement st = db_.prepare(pragma);
        if (!st.valid() || st.step() != DbStatus::Row) return std::nullopt;
        return st.integer(0);
    };
    // One read transaction: another program making the journal at this
    // moment is seen before or after, never half-way.
    const DbStatus begun = db_.exec("BEGIN");
    if (begun != DbStatus::Ok) return fail(begun);
    const std::optional<int64_t> id = number("PRAGMA application_id");
    const std::optional<int64_t> version = number("PRAGMA user_version");
    std::vector<std::string> tables;
    SqliteStatement st =
        db_.prepare("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                    "ORDER BY name");
    const DbStatus listed =
        st.valid() ? eachRow(st, [&](SqliteStatement& row) { tables.push_back(row.text(0)); }) : db_.lastStatus();
    st = SqliteStatement();
    if (!id || !version || listed != DbStatus::Done) return fail(listed == DbStatus::Done ? db_.lastStatus() : listed);
    db_.exec("COMMIT");
    auto refuse = [this](JournalProblem problem, std::string text) {
        problem_ = problem;
        problemText_ = std::move(text);
        db_.close();
        return false;
    };
    if (*id != 0 && *id != JOURNAL_APPLICATION_ID) {
        char text[40];
        std::snprintf(text, sizeof text, "application id 0x%08X", static_cast<unsigned>(static_cast<uint32_t>(*id)));
        return refuse(JournalProblem::Foreign, text);
    }
    // A newer program's database: nothing read, nothing written.
    if (*version > JOURNAL_SCHEMA_VERSION) return refuse(JournalProblem::NewerSchema, std::to_string(*version));
    if (*id == JOURNAL_APPLICATION_ID) return true;
    // Without an id: an empty file is ours to make; versions 1 and 2 carried
    // no id and are ours when their tables are (devices and entries, at
    // most the values beside them). Any other tables are another program's.
    auto isOurs = [](const std::string& t) {
        return std::find(std::begin(OUR_TABLES), std::end(OUR_TABLES), t) != std::end(OUR_TABLES);
    };
    const bool ourTables = std::all_of(tables.begin(), tables.end(), isOurs) &&
                           std::count(tables.begin(), tables.end(), "devices") &&
                           std::count(tables.begin(), tables.end(), "entries");
    if (*version == 0 && tables.empty()) return true;
    if ((*version == 1 || *version == 2) && ourTables) return true;
    std::string names;
    for (const std::string& t : tables) names += (names.empty() ? "" : ", ") + t;
    return refuse(JournalProblem::Foreign, "user_version " + std::to_string(*version) + ", tables: " + names);
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
    DbStatus s = db_.exec("BEGIN IMMEDIATE");
    if (s != DbStatus::Ok) return fail(s);
    v = version();   // another program may have done it meanwhile
    if (v && *v == 1) s = db_.exec(MIGRATE_1_TO_2);
    if (v && (*v == 1 || *v == 2) && s == DbStatus::Ok) s = db_.exec(MIGRATE_2_TO_3);
    if (v && *v >= 1 && *v <= 3 && s == DbStatus::Ok) s = db_.exec(MIGRATE_3_TO_4);
    if (v && *v < JOURNAL_SCHEMA_VERSION && s == DbStatus::Ok) s = db_.exec(SCHEMA);
    if (v && *v < JOURNAL_SCHEMA_VERSION && s == DbStatus::Ok)
        s = db_.exec("PRAGMA application_id = " + std::to_string(JOURNAL_APPLICATION_ID) +
                     "; PRAGMA user_version = " + std::to_string(JOURNAL_SCHEMA_VERSION));
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

// The unit the identity is (see sameUnit), its address and versions brought
// to the identity's; a new one when none is.
int64_t ServiceJournal::deviceIdOf(const DeviceIdentity& d) {
    SqliteStatement find = db_.prepare(
        "SELECT id FROM devices d WHERE name IS ?2 AND ("
        "  (?6 >= 0 OR ?7 >= 0) AND register40 = ?6 AND register44 = ?7"
        "  OR address IS ?1 AND (register40 < 0 AND register44 < 0 OR ?6 < 0 AND ?7 < 0)) "
        "ORDER BY ((?6 >= 0 OR ?7 >= 0) AND register40 = ?6 AND register44 = ?7) DESC, "
        "  (SELECT MAX(e.id) FROM entries e WHERE e.device_id = d.id) DESC, id DESC LIMIT 1");
    SqliteStatement add = db_.prepare(
        "INSERT INTO devices(address, name, version, release, parameter_version, register40, register44) "
        "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    SqliteStatement update = db_.prepare(
        "UPDATE devices SET address = ?1, version = ?3, release = ?4, parameter_version = ?5, "
        "register40 = CASE WHEN ?6 >= 0 OR ?7 >= 0 THEN ?6 ELSE register40 END, "
        "register44 = CASE WHEN ?6 >= 0 OR ?7 >= 0 THEN ?7 ELSE register44 END WHERE id = ?8 AND name IS ?2");
    if (!find.valid() || !add.valid() || !update.valid()) return 0;
    for (SqliteStatement* st : {&find, &add, &update}) {
        st->bind(1, d.address);
        st->bind(2, d.name);
        st->bind(3, d.version);
        st->bind(4, d.release);
        st->bind(5, d.parameterVersion);
        st->bind(6, d.register40);
        st->bind(7, d.register44);
    }
    DbStatus s = find.step();
    if (s == DbStatus::Row) {
        const int64_t id = find.integer(0);
        update.bind(8, id);
        return update.step() == DbStatus::Done ? id : 0;
    }
    if (s != DbStatus::Done || add.step() != DbStatus::Done) return 0;
    return db_.lastInsertId();
}

int64_t ServiceJournal::begin(const JournalStart& start) {
    if (readOnly_ || !ready()) return 0;
    // Ends kept from before go first; when they still cannot be written the
    // entry is begun all the same, and the problem stays (told once).
    const bool pendingWritten = writePending();
    if (!pendingWritten && !ready()) return 0;
    DbStatus s = db_.exec("BEGIN IMMEDIATE");
    if (s != DbStatus::Ok) return fail(s), 0;
    const int64_t device = deviceIdOf(start.device);
    SqliteStatement st = db_.prepare(
        "INSERT INTO entries(device_id, operation, started, user, host, port, via, file, address, version, release, "
        "parameter_version, uid) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, " NEW_UID ")");
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
    st.bind(9, start.device.address);
    st.bind(10, start.device.version);
    st.bind(11, start.device.release);
    st.bind(12, start.device.parameterVersion);
    s = st.step();
    const int64_t id = db_.lastInsertId();
    if (s != DbStatus::Done || (s = db_.exec("COMMIT")) != DbStatus::Ok) {
        db_.exec("ROLLBACK");
        return fail(s), 0;
    }
    if (pendingWritten) succeed();
    return id;
}

bool ServiceJournal::end(int64_t entryId, const JournalEnd& e) {
    if (entryId == 0 || readOnly_) return false;
    if (ready() && writePending() && writeEnd(entryId, e)) {
        succeed();
        return true;
    }
    // Kept for the next operation; a few hundred at most, the oldest first.
    constexpr size_t KEPT = 256;
    if (enabled() && pending_.size() < KEPT) pending_.emplace_back(entryId, e);
    return false;
}

bool ServiceJournal::writePending() {
    while (!pending_.empty()) {
        if (!writeEnd(pending_.front().first, pending_.front().second)) return false;
        pending_.erase(pending_.begin());
    }
    return true;
}

bool ServiceJournal::writeEnd(int64_t entryId, const JournalEnd& e) {
    if (!db_.isOpen()) return false;
    DbStatus s = db_.exec("BEGIN IMMEDIATE");
    if (s != DbStatus::Ok) return fail(s);
    SqliteStatement update = db_.prepare(
        "UPDATE entries SET ended = ?2, outcome = ?3, file = CASE WHEN ?4 = '' THEN file ELSE ?4 END, "
        "seal = ?5, backup = ?6, detail = ?7 WHERE id = ?1");
    SqliteStatement value = db_.prepare(
        "INSERT INTO entry_values(entry_id, number, on_off, before, after, read_back, outcome) "
        "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    // An address change: the unit answers at its new address from now on.
    SqliteStatement moved = db_.prepare(
        "UPDATE devices SET address = ?2 WHERE id = (SELECT device_id FROM entries WHERE id = ?1)");
    s = update.valid() && value.valid() && moved.valid() ? DbStatus::Ok : db_.lastStatus();
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
    if (finished(s) && e.address) {
        moved.bind(1, entryId);
        moved.bind(2, *e.address);
        s = moved.step();
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
        if (v.outcome) value.bind(7, std::string(valueOutcomeKey(*v.outcome)));
        else value.bindNull(7);
        s = value.step();
    }
    if (!finished(s) || (s = db_.exec("COMMIT")) != DbStatus::Ok) {
        db_.exec("ROLLBACK");
        return fail(s);
    }
    return true;
}

bool ServiceJournal::noteBackup(int64_t entryId, const std::string& backup) {
    if (entryId == 0 || readOnly_ || !ready()) return false;
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
    const DbStatus s = !st.valid() ? db_.lastStatus() : eachRow(st, [&](SqliteStatement& row) {
        JournalDevice d;
        d.id = row.integer(0);
        d.identity = {row.integer(1), row.text(2), row.integer(3), row.integer(4), row.integer(5), row.integer(6),
                      row.integer(7)};
        d.entries = row.integer(8);
        d.lastTime = row.integer(9);
        out.push_back(std::move(d));
    });
    if (s != DbStatus::Done) fail(s);
    else succeed();
    return out;
}

namespace {
// The statement of a query: its columns, then its conditions, newest first.
std::string querySql(const std::string& columns, const JournalQuery& q) {
    std::string sql = "SELECT " + columns + " FROM entries WHERE (?1 = 0 OR device_id = ?1)";
    if (q.operation) sql += " AND operation = ?2";
    if (q.state == EntryState::Done) sql += " AND ended IS NOT NULL AND outcome = 'done'";
    if (q.state == EntryState::Failed) sql += " AND ended IS NOT NULL AND outcome IS NOT 'done'";
    if (q.state == EntryState::Interrupted) sql += " AND ended IS NULL";
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
        s = eachRow(st, [&](SqliteStatement& row) { out.push_back(read(row)); });
    }
    // A query that failed gives nothing, never the part it read.
    if (s != DbStatus::Done) return fail(s), std::vector<Row>{};
    succeed();
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
    const DbStatus s = st.step();
    if (s == DbStatus::Row) return succeed(), rowOf(st);
    if (s != DbStatus::Done) fail(s);
    else succeed();
    return std::nullopt;
}

std::vector<JournalValue> ServiceJournal::values(int64_t entryId) {
    std::vector<JournalValue> out;
    if (!ready()) return out;
    SqliteStatement st = db_.prepare(
        "SELECT number, on_off, before, after, read_back, outcome FROM entry_values WHERE entry_id = ?1 "
        "ORDER BY number");
    if (!st.valid()) return fail(db_.lastStatus()), out;
    st.bind(1, entryId);
    const DbStatus s = eachRow(st, [&](SqliteStatement& row) { out.push_back(valueOf(row, 0)); });
    if (s != DbStatus::Done) return fail(s), std::vector<JournalValue>{};
    succeed();
    return out;
}

std::vector<ValuePoint> ServiceJournal::valueHistory(int64_t deviceId, uint32_t number) {
    std::vector<ValuePoint> out;
    if (!ready()) return out;
    SqliteStatement st = db_.prepare(
        "SELECT e.id, e.started, e.operation, v.number, v.on_off, v.before, v.after, v.read_back, v.outcome "
        "FROM entry_values v JOIN entries e ON e.id = v.entry_id "
        "WHERE v.number = ?1 AND e.device_id = ?2 AND e.outcome IS NOT NULL ORDER BY e.id");
    if (!st.valid()) return fail(db_.lastStatus()), out;
    st.bind(1, static_cast<int64_t>(number));
    st.bind(2, deviceId);
    const DbStatus s = eachRow(st, [&](SqliteStatement& row) {
        ValuePoint p;
        p.entryId = row.integer(0);
        p.time = row.integer(1);
        p.operation = operationOfKey(row.text(2)).value_or(JournalOperation::Restart);
        p.value = valueOf(row, 3);
        out.push_back(p);
    });
    if (s != DbStatus::Done) return fail(s), std::vector<ValuePoint>{};
    succeed();
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
    const DbStatus s = eachRow(st, [&](SqliteStatement& row) { out.push_back(static_cast<uint32_t>(row.integer(0))); });
    if (s != DbStatus::Done) return fail(s), std::vector<uint32_t>{};
    succeed();
    return out;
}

std::vector<WaitingEntry> ServiceJournal::waitingEntries(int64_t afterId, size_t limit, bool withValues) {
    std::vector<WaitingEntry> out;
    if (!ready()) return out;
    std::string columns;
    for (const char* c : {"e.id", "e.device_id", "e.operation", "e.started", "e.ended", "e.outcome", "e.user",
                          "e.host", "e.port", "e.via", "e.file", "e.seal", "e.backup", "e.detail", "e.address",
                          "e.version", "e.release", "e.parameter_version", "e.uid", "1"})
        columns += std::string(columns.empty() ? "" : ", ") + c;
    SqliteStatement st = db_.prepare("SELECT " + columns +
                                     ", d.name, d.register40, d.register44 FROM entries e JOIN devices d ON "
                                     "d.id = e.device_id WHERE e.sent < 2 AND " +
                                     std::string(WAITING) + " AND e.id > ?1 ORDER BY e.id LIMIT ?2");
    if (!st.valid()) return fail(db_.lastStatus()), out;
    st.bind(1, afterId);
    st.bind(2, static_cast<int64_t>(limit));
    DbStatus s = eachRow(st, [&](SqliteStatement& row) {
        WaitingEntry w;
        w.row = rowOf(row);
        w.device = {w.row.address, row.text(20), w.row.version, w.row.release, w.row.parameterVersion,
                    row.integer(21), row.integer(22)};
        out.push_back(std::move(w));
    });
    st = SqliteStatement();
    for (WaitingEntry& w : out) {
        if (s != DbStatus::Done) break;
        if (!w.row.ended || !withValues) continue;
        SqliteStatement v = db_.prepare(
            "SELECT number, on_off, before, after, read_back, outcome FROM entry_values WHERE entry_id = ?1 "
            "ORDER BY number");
        if (!v.valid()) return fail(db_.lastStatus()), std::vector<WaitingEntry>{};
        v.bind(1, w.row.id);
        s = eachRow(v, [&](SqliteStatement& row) { w.values.push_back(valueOf(row, 0)); });
    }
    if (s != DbStatus::Done) return fail(s), std::vector<WaitingEntry>{};
    succeed();
    return out;
}

int64_t ServiceJournal::waitingCount() {
    if (!ready()) return -1;
    SqliteStatement st = db_.prepare(std::string("SELECT count(*) FROM entries WHERE sent < 2 AND ") + WAITING);
    if (!st.valid()) return fail(db_.lastStatus()), -1;
    const DbStatus s = st.step();
    if (s != DbStatus::Row) return fail(s), -1;
    succeed();
    return st.integer(0);
}

bool ServiceJournal::markSent(const std::vector<std::pair<int64_t, bool>>& sent) {
    if (readOnly_ || !ready()) return false;
    DbStatus s = db_.exec("BEGIN IMMEDIATE");
    if (s != DbStatus::Ok) return fail(s);
    // Never back: an entry sent whole stays so whatever a slower sender says.
    SqliteStatement st = db_.prepare("UPDATE entries SET sent = ?2 WHERE id = ?1 AND sent < ?2");
    s = st.valid() ? DbStatus::Done : db_.lastStatus();
    for (const auto& [id, whole] : sent) {
        if (s != DbStatus::Done) break;
        st.reset();
        st.bind(1, id);
        st.bind(2, int64_t{whole ? 2 : 1});
        s = st.step();
    }
    st = SqliteStatement();
    if (s != DbStatus::Done || (s = db_.exec("COMMIT")) != DbStatus::Ok) {
        db_.exec("ROLLBACK");
        return fail(s);
    }
    succeed();
    return true;
}
