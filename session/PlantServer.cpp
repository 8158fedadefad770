#include "session/PlantServer.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <utility>

namespace {

// Entries sent in one transaction: few enough that a server lost half-way
// costs little, many enough that the commits do not set the pace.
constexpr size_t BATCH = 250;
// Taken while the schema is made, so two laptops make it once ("FSVH").
constexpr const char* SCHEMA_LOCK = "SELECT pg_advisory_xact_lock(1179866696);";

// One entry, its unit (made or brought to the entry's address and versions
// when the entry is its newest) and, once it has ended, its values. An
// entry the server has whole already is left as it is; one it has without
// its end gets the end.
constexpr const char* INSERT_ENTRY = R"(
WITH d AS (
  INSERT INTO fieldservice.devices AS o
    (unit_key, name, register40, register44, address, version, release, parameter_version, last_started)
  VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $11)
  ON CONFLICT (unit_key) DO UPDATE SET
    address = CASE WHEN EXCLUDED.last_started >= o.last_started THEN EXCLUDED.address ELSE o.address END,
    version = CASE WHEN EXCLUDED.last_started >= o.last_started THEN EXCLUDED.version ELSE o.version END,
    release = CASE WHEN EXCLUDED.last_started >= o.last_started THEN EXCLUDED.release ELSE o.release END,
    parameter_version = CASE WHEN EXCLUDED.last_started >= o.last_started THEN EXCLUDED.parameter_version
                        ELSE o.parameter_version END,
    last_started = GREATEST(o.last_started, EXCLUDED.last_started)
  RETURNING id),
e AS (
  INSERT INTO fieldservice.entries AS o
    (uid, device_id, operation, started, ended, outcome, "user", host, port, via, file, seal, backup, detail,
     address, version, release, parameter_version)
  SELECT $9::uuid, d.id, $10, $11, $12, $13, $14, $15, $16, $17, $18, $19, $20, $21, $5, $6, $7, $8 FROM d
  ON CONFLICT (uid) DO UPDATE SET ended = EXCLUDED.ended, outcome = EXCLUDED.outcome, file = EXCLUDED.file,
    seal = EXCLUDED.seal, backup = EXCLUDED.backup, detail = EXCLUDED.detail
    WHERE o.ended IS NULL AND EXCLUDED.ended IS NOT NULL
  RETURNING id, ended)
INSERT INTO fieldservice.entry_values(entry_id, number, on_off, before, after, read_back, outcome)
SELECT e.id, v.n, v.o, v.b, v.a, v.r, v.c FROM e,
  unnest($22::integer[], $23::boolean[], $24::bigint[], $25::bigint[], $26::bigint[], $27::text[]) AS v(n, o, b, a, r, c)
WHERE e.ended IS NOT NULL
)";

constexpr const char* ENTRY_COLUMNS =
    "id, device_id, operation, started, ended, outcome, \"user\", host, port, via, file, seal, backup, detail, "
    "address, version, release, parameter_version, uid";

PgValue number(int64_t v) { return std::to_string(v); }
PgValue number(const std::optional<int64_t>& v) { return v ? number(*v) : PgValue{}; }

int64_t integer(const PgValue& v, int64_t none = -1) {
    if (!v) return none;
    try {
        return std::stoll(*v);
    } catch (...) {
        return none;
    }
}

std::optional<int64_t> optionalInteger(const PgValue& v) {
    if (!v) return std::nullopt;
    return integer(v);
}

// An array literal of values as text ("{1,NULL,3}"); quoted: each element in quotes.
template <typename Each>
std::string arrayOf(const std::vector<JournalValue>& values, Each each, bool quoted = false) {
    std::string out = "{";
    for (const JournalValue& v : values) {
        if (out.size() > 1) out += ',';
        const PgValue text = each(v);
        out += !text ? std::string("NULL") : quoted ? "\"" + *text + "\"" : *text;
    }
    return out + "}";
}

JournalRow rowOf(const PgRow& r) {
    JournalRow row;
    row.id = integer(r[0], 0);
    row.deviceId = integer(r[1], 0);
    row.operation = operationOfKey(r[2].value_or("")).value_or(JournalOperation::Restart);
    row.started = integer(r[3], 0);
    row.ended = optionalInteger(r[4]);
    if (r[5]) row.outcome = *r[5] == "done" ? JournalOutcome::Done : JournalOutcome::Failed;
    std::string* texts[] = {&row.user, &row.host, &row.port, &row.via, &row.file, &row.seal, &row.backup, &row.detail};
    for (size_t i = 0; i < std::size(texts); ++i) *texts[i] = r[6 + i].value_or("");
    row.address = integer(r[14]);
    row.version = integer(r[15]);
    row.release = integer(r[16]);
    row.parameterVersion = integer(r[17]);
    row.uid = r[18].value_or("");
    return row;
}

JournalValue valueOf(const PgRow& r, size_t first) {
    JournalValue v;
    v.number = static_cast<uint32_t>(integer(r[first], 0));
    v.onOff = r[first + 1].value_or("f") == "t";
    v.before = optionalInteger(r[first + 2]);
    v.after = optionalInteger(r[first + 3]);
    v.readBack = optionalInteger(r[first + 4]);
    v.outcome = valueOutcomeOfKey(r[first + 5].value_or(""));
    return v;
}

}  // namespace

std::string plantUnitKey(const DeviceIdentity& d) {
    if (d.register40 >= 0 || d.register44 >= 0)
        return d.name + "/" + std::to_string(d.register40) + "/" + std::to_string(d.register44);
    return d.name + "@" + std::to_string(d.address);
}

int64_t PlantServer::nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

PlantServer::PlantServer(std::string uri, int boundMs)
    : uri_(std::move(uri)), name_(PgDb::serverName(uri_)), boundMs_(boundMs) {}

bool PlantServer::fail(PlantProblem problem, const std::string& text) {
    problem_ = problem;
    problemText_ = text;
    return false;
}

bool PlantServer::failed(PgStatus status) {
    switch (status) {
    case PgStatus::Ok: return true;
    case PgStatus::BadSetting: return fail(PlantProblem::BadSetting, db_.lastError());
    case PgStatus::Unreachable: return fail(PlantProblem::Unreachable, db_.lastError());
    case PgStatus::Refused: return fail(PlantProblem::Refused, db_.lastError());
    case PgStatus::TimedOut: return fail(PlantProblem::TimedOut, db_.lastError());
    case PgStatus::Failed: break;
    }
    // A statement that failed leaves the connection in no transaction.
    const std::string text = db_.lastError();
    if (db_.isOpen()) db_.exec("ROLLBACK", {}, boundMs_);
    return fail(PlantProblem::Failed, text);
}

bool PlantServer::open() {
    // Each call is told on its own: a problem before it is not its own.
    problem_ = PlantProblem::None;
    problemText_.clear();
    if (db_.isOpen()) return true;
    std::string error;
    if (name_.empty()) {
        PgDb::serverName(uri_, &error);
        return fail(PlantProblem::BadSetting, error);
    }
    if (!failed(db_.connect(uri_, boundMs_))) return false;
    // The server ends what the program would stop waiting for anyway.
    std::vector<PgRow> rows;
    const std::string bound = std::to_string(boundMs_);
    PgStatus s = db_.exec("SET statement_timeout = " + bound + "; SET lock_timeout = " + bound + ";"
                          "SET idle_in_transaction_session_timeout = " + std::to_string(boundMs_ * 10),
                          {}, boundMs_);
    if (s == PgStatus::Ok)
        s = db_.exec("SELECT to_regclass('fieldservice.schema_info') IS NOT NULL, "
                     "(SELECT string_agg(tablename, ', ' ORDER BY tablename) FROM pg_tables WHERE schemaname = "
                     "'fieldservice')",
                     {}, boundMs_, &rows);
    if (!failed(s)) return db_.close(), false;
    const bool ours = !rows.empty() && rows[0][0] == "t";
    const std::string tables = rows.empty() ? std::string() : rows[0][1].value_or("");
    if (!ours && !tables.empty()) {
        db_.close();
        return fail(PlantProblem::Foreign, "tables: " + tables);
    }
    if (!ours) {
        // An empty database: the schema is made, when the role may.
        if (!failed(db_.exec(std::string(SCHEMA_LOCK) + PLANT_SCHEMA_SQL, {}, boundMs_))) return db_.close(), false;
    }
    s = db_.exec("SELECT application, version, extract(epoch FROM now())::bigint FROM fieldservice.schema_info LIMIT 1",
                 {}, boundMs_, &rows);
    if (!failed(s)) return db_.close(), false;
    if (rows.empty() || rows[0][0].value_or("") != PLANT_APPLICATION) {
        db_.close();
        return fail(PlantProblem::Foreign, "schema_info: " + (rows.empty() ? std::string("empty") : rows[0][0].value_or("")));
    }
    serverVersion_ = static_cast<int>(integer(rows[0][1], 0));
    serverClock_ = integer(rows[0][2], 0);
    clockSkew_ = std::llabs(static_cast<int64_t>(std::time(nullptr)) - serverClock_);
    // A newer program's schema keeps what this one reads; it is not written.
    writable_ = serverVersion_ <= PLANT_SCHEMA_VERSION;
    return true;
}

bool PlantServer::sendBatch(const std::vector<WaitingEntry>& batch, std::vector<std::pair<int64_t, bool>>& taken) {
    if (!failed(db_.exec("BEGIN", {}, boundMs_))) return false;
    for (const WaitingEntry& w : batch) {
        const JournalRow& r = w.row;
        // Below 0x100 lie the address and the password: never sent.
        std::vector<JournalValue> values;
        for (const JournalValue& v : w.values)
            if (v.number >= 0x100) values.push_back(v);
        std::vector<PgValue> params = {
            plantUnitKey(w.device), w.device.name, number(w.device.register40), number(w.device.register44),
            number(r.address), number(r.version), number(r.release), number(r.parameterVersion), r.uid,
            std::string(operationKey(r.operation)), number(r.started), number(r.ended),
            r.outcome ? PgValue(r.outcome == JournalOutcome::Done ? "done" : "failed") : PgValue{}, r.user, r.host,
            r.port, r.via, r.file, r.seal, r.backup, r.detail,
            arrayOf(values, [](const JournalValue& v) { return number(int64_t{v.number}); }),
            arrayOf(values, [](const JournalValue& v) { return PgValue(v.onOff ? "t" : "f"); }),
            arrayOf(values, [](const JournalValue& v) { return number(v.before); }),
            arrayOf(values, [](const JournalValue& v) { return number(v.after); }),
            arrayOf(values, [](const JournalValue& v) { return number(v.readBack); }),
            arrayOf(values, [](const JournalValue& v) {
                return v.outcome ? PgValue(valueOutcomeKey(*v.outcome)) : PgValue{};
            }, true)};
        if (!failed(db_.exec(INSERT_ENTRY, params, boundMs_))) return false;
        taken.emplace_back(r.id, r.ended.has_value());
    }
    return failed(db_.exec("COMMIT", {}, boundMs_));
}

PlantSendResult PlantServer::send(ServiceJournal& journal, int64_t deadlineMs) {
    PlantSendResult result;
    if (open() && !writable_)
        fail(PlantProblem::NewerSchema, std::to_string(serverVersion_));
    else if (db_.isOpen()) {
        int64_t after = 0;
        while (nowMs() < deadlineMs) {
            const std::vector<WaitingEntry> batch = journal.waitingEntries(after, BATCH);
            if (batch.empty()) break;
            std::vector<std::pair<int64_t, bool>> taken;
            if (!sendBatch(batch, taken)) break;
            // Not noted here (a lock held past its timeout): sent again later, stored once.
            journal.markSent(taken);
            result.sent += taken.size();
            // An entry from the server's future: the laptop's clock ran ahead.
            for (const WaitingEntry& w : batch) clockSkew_ = std::max(clockSkew_, w.row.started - serverClock_);
            after = batch.back().row.id;
        }
    }
    result.waiting = journal.waitingCount();
    result.clockSkew = clockSkew_;
    return result;
}

std::vector<JournalDevice> PlantServer::devices() {
    std::vector<JournalDevice> out;
    std::vector<PgRow> rows;
    if (!open() || !failed(db_.exec("SELECT id, address, name, version, release, parameter_version, register40, "
                                     "register44, last_started FROM fieldservice.devices ORDER BY name, address, id",
                                     {}, boundMs_, &rows)))
        return out;
    for (const PgRow& r : rows) {
        JournalDevice d;
        d.id = integer(r[0], 0);
        d.identity = {integer(r[1]), r[2].value_or(""), integer(r[3]), integer(r[4]), integer(r[5]), integer(r[6]),
                      integer(r[7])};
        d.lastTime = integer(r[8], 0);
        out.push_back(std::move(d));
    }
    return out;
}

std::vector<JournalRow> PlantServer::page(const PlantQuery& q) {
    std::vector<JournalRow> out;
    std::string sql = std::string("SELECT ") + ENTRY_COLUMNS + " FROM fieldservice.entries WHERE device_id = $1";
    std::vector<PgValue> params = {number(q.deviceId)};
    auto param = [&params](PgValue v) {
        params.push_back(std::move(v));
        return "$" + std::to_string(params.size());
    };
    if (q.operation) sql += " AND operation = " + param(std::string(operationKey(*q.operation)));
    if (q.state == EntryState::Done) sql += " AND ended IS NOT NULL AND outcome = 'done'";
    if (q.state == EntryState::Failed) sql += " AND ended IS NOT NULL AND outcome IS DISTINCT FROM 'done'";
    if (q.state == EntryState::Interrupted) sql += " AND ended IS NULL";
    if (!q.text.empty())
        sql += " AND strpos(lower(concat_ws(chr(10), file, backup, \"user\", host, port, detail, via)), lower(" +
               param(q.text) + ")) > 0";
    if (q.after) {
        const std::string started = param(number(q.after->first));
        sql += " AND (started, id) < (" + started + "::bigint, " + param(number(q.after->second)) + "::bigint)";
    }
    sql += " ORDER BY started DESC, id DESC LIMIT " + std::to_string(q.limit);
    std::vector<PgRow> rows;
    if (!open() || !failed(db_.exec(sql, params, boundMs_, &rows))) return out;
    out.reserve(rows.size());
    for (const PgRow& r : rows) out.push_back(rowOf(r));
    return out;
}

std::vector<ValuePoint> PlantServer::valueHistory(int64_t deviceId, uint32_t n) {
    std::vector<ValuePoint> out;
    std::vector<PgRow> rows;
    if (!open() ||
        !failed(db_.exec("SELECT e.id, e.started, e.operation, v.number, v.on_off, v.before, v.after, v.read_back, "
                         "v.outcome FROM fieldservice.entry_values v JOIN fieldservice.entries e ON e.id = v.entry_id "
                         "WHERE v.number = $1 AND e.device_id = $2 AND e.outcome IS NOT NULL ORDER BY e.started, e.id",
                         {number(int64_t{n}), number(deviceId)}, boundMs_, &rows)))
        return out;
    for (const PgRow& r : rows) {
        ValuePoint p;
        p.entryId = integer(r[0], 0);
        p.time = integer(r[1], 0);
        p.operation = operationOfKey(r[2].value_or("")).value_or(JournalOperation::Restart);
        p.value = valueOf(r, 3);
        out.push_back(p);
    }
    return out;
}

std::vector<uint32_t> PlantServer::parameterNumbers(int64_t deviceId) {
    std::vector<uint32_t> out;
    std::vector<PgRow> rows;
    if (!open() || !failed(db_.exec("SELECT DISTINCT v.number FROM fieldservice.entry_values v JOIN "
                                     "fieldservice.entries e ON e.id = v.entry_id WHERE e.device_id = $1 ORDER BY 1",
                                     {number(deviceId)}, boundMs_, &rows)))
        return out;
    for (const PgRow& r : rows) out.push_back(static_cast<uint32_t>(integer(r[0], 0)));
    return out;
}
