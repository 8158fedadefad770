// The service history through the real commands on the simulated demo bus,
// and the database's bad days: a crash mid-load, two writers, a first-version
// file, a file that is no database, a folder it may not write, another
// program's lock held past the timeout; and, for the journal and --history
// alike, a newer schema, another program's database, a second-version file,
// no database at all and a query that fails. A unit keeps its history across
// an address change and a firmware update.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/HistoryModel.h"
#include "app/HistoryPrint.h"
#include "files/Compare.h"
#include "files/Format.h"
#include "files/ParameterFiles.h"
#include "params/DeviceCommands.h"
#include "params/ParameterDialogModel.h"
#include "params/ParameterTable.h"
#include "platform/SqliteDb.h"
#include "session/JournalEntry.h"
#include "support/ChildProcess.h"
#include "support/SimFixture.h"
#include "support/Support.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t SECRET_PASSWORD = 7654321;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct History : ::testing::Test {
    History() {
        fx.ctx.texts.messages.Load(FS_SOURCE_DIR "/install/messages.eng");
        fx.ctx.journal = &journal;
        EXPECT_TRUE(fx.connect(1));
    }
    std::vector<JournalRow> all() { return journal.entries({}); }
    // Two restarts, each journaled (or not): the work goes on whatever the database.
    void twoRestartsGoOn() {
        fx.op.clear();
        const unsigned restarts = fx.device(1)->restarts;
        for (int i = 0; i < 2; ++i) {
            fx.op.answers.push_back(true);
            restartCommand(fx.ctx);
        }
        EXPECT_EQ(fx.device(1)->restarts, restarts + 2);
    }
    std::string databaseBytes() const {
        std::string bytes;
        for (const std::string& f : {dbPath, dbPath + "-wal"}) bytes += readFile(f);
        return bytes;
    }
    TempDir dir;
    std::string dbPath = dir.file("history.sqlite");
    ServiceJournal journal{dbPath, true, 1000};   // a short busy timeout: one case waits it out
    SimFixture fx;
};

std::string sqliteText(const std::string& path, const std::string& sql) {
    SqliteDb db;
    if (db.open(path, 1000, false) != DbStatus::Ok) return "cannot open";
    SqliteStatement st = db.prepare(sql);
    return st.valid() && st.step() == DbStatus::Row ? st.text(0) : "no row";
}

}  // namespace

TEST_F(History, EveryOperationLeavesItsEntryAndNeverThePassword) {
    AppContext& ctx = fx.ctx;
    fx.frame.currentParameterNumber = 0x0106;
    {
        ParameterDialogModel dialog(ctx, 0);
        ASSERT_TRUE(dialog.open());
        dialog.valueFieldChanged("120");
        dialog.send();
        dialog.ok();
    }
    ParameterTable table(ctx);
    table.read();
    ASSERT_GT(table.rows().size(), 2u);
    table.setValueText(1, "2");
    table.writeChanges();
    changePasswordCommand(ctx, true, [](uint32_t) { return std::optional<uint32_t>(SECRET_PASSWORD); });
    const std::string saved = dir.file("pump.NFO");
    fx.op.files.push_back(saved);
    saveParameterFile(ctx);
    ASSERT_TRUE(fs::exists(saved));
    fx.op.answers.push_back(true);
    restartCommand(ctx);
    ctx.settings.backupBeforeLoad = ctx.settings.verifyAfterLoad = true;
    ctx.settings.installDirectory = dir.path();
    fx.op.answers.push_back(true);   // the load asks first
    EXPECT_TRUE(loadComparedFile(ctx, saved));
    changeAddressCommand(ctx, [](uint8_t) { return std::optional<uint8_t>(0x21); });

    const std::vector<JournalRow> rows = all();   // newest first
    std::vector<std::string> ops;
    for (const JournalRow& r : rows) ops.push_back(operationKey(r.operation));
    EXPECT_EQ(ops, (std::vector<std::string>{"address", "load", "restart", "save", "password", "send", "send"}));
    for (const JournalRow& r : rows) {
        EXPECT_EQ(r.outcome, JournalOutcome::Done) << operationKey(r.operation) << " " << r.detail;
        EXPECT_TRUE(r.ended);
        EXPECT_FALSE(r.user.empty());
        EXPECT_EQ(r.port, fx.link.portPath());
    }
    EXPECT_EQ(rows[0].detail, "01 > 21");
    EXPECT_EQ(rows[1].via, "compare");
    EXPECT_EQ(rows[1].file, saved);
    EXPECT_TRUE(fs::exists(rows[1].backup)) << rows[1].backup;
    EXPECT_NE(rows[1].detail.find("read back:"), std::string::npos) << rows[1].detail;
    EXPECT_EQ(rows[3].file, saved);
    EXPECT_NE(rows[3].seal.find('/'), std::string::npos);
    EXPECT_EQ(rows[5].via, "table");
    EXPECT_EQ(rows[6].detail, "0106: 300 > 120");

    // The dialog's send: the value before and after, and the value over time.
    const std::vector<JournalValue> sent = journal.values(rows[6].id);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].number, 0x0106u);
    EXPECT_EQ(sent[0].before, 300);
    EXPECT_EQ(sent[0].after, 120);
    const auto devices = journal.devices();
    ASSERT_EQ(devices.size(), 1u);
    // One unit: found at its new address since the address change.
    EXPECT_EQ(devices[0].identity, (DeviceIdentity{0x21, "PUMPCTRL", fx.link.version, fx.link.release,
                                                   fx.link.parameterVersion, fx.link.register40, fx.link.register44}));
    const auto history = journal.valueHistory(devices[0].id, 0x0106);
    ASSERT_EQ(history.size(), 3u);   // sent, saved, loaded
    EXPECT_EQ(history.back().value.after, 120);

    // Nothing of the password in the database, in any form it could take.
    const std::string bytes = databaseBytes();
    for (const std::string& form : {std::to_string(SECRET_PASSWORD), formatText("%o", SECRET_PASSWORD),
                                    formatText("%x", SECRET_PASSWORD), formatText("%X", SECRET_PASSWORD)})
        EXPECT_EQ(bytes.find(form), std::string::npos) << form;
    const uint32_t raw = SECRET_PASSWORD;
    EXPECT_EQ(bytes.find(std::string(reinterpret_cast<const char*>(&raw), 3)), std::string::npos);

    // The printed history: every entry of the device, by name or address.
    for (const char* device : {"pumpctrl", "21"}) {
        std::ostringstream out;
        EXPECT_EQ(printHistory(ctx, device, true, out), 0);
        const std::string printed = out.str();
        EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1 + 7) << printed;
    }
    std::ostringstream none;
    EXPECT_EQ(printHistory(ctx, "VALVE01", false, none), 2);

    // The way back: a load's backup is its file, and a file gone is said.
    HistoryModel model(ctx);
    model.refresh();
    ASSERT_EQ(model.selectedDevice(), -1);
    model.selectDevice(0);
    model.setFilter(JournalOperation::Load, "");
    ASSERT_EQ(model.rowCount(), 1u);
    EXPECT_EQ(model.entryFile(0), rows[1].backup);
    EXPECT_FALSE(model.fileMissing(0));
    fs::remove(rows[1].backup);
    EXPECT_TRUE(model.fileMissing(0));
    model.setFilter(std::nullopt, "pump.NFO");
    EXPECT_EQ(model.rowCount(), 2u);   // the save and the load
}

TEST_F(History, KillNineMidLoadLeavesAnInterruptedEntryInAnIntactDatabase) {
    const std::string dist = FS_DIST_DIR;
    if (!fs::exists(dist + "/fieldservice") || !fs::exists(dist + "/fieldsim")) GTEST_SKIP() << "programs not built";
    // The file to load, saved from the in-process demo bus.
    MemoryStream stream;
    ASSERT_TRUE(writeParameterText(fx.ctx, stream));
    ASSERT_TRUE(writeSealedFile(fx.ctx, dir.file("pump.NFO"), stream));
    for (const char* f : {"messages.eng", "errors.eng", "parameters.eng"}) fs::copy_file(dist + "/" + f, dir.file(f));
    ChildOptions quiet;
    quiet.workingDirectory = dir.path();
    quiet.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
    quiet.stderrFile = dir.file("sim.err");
    quiet.captureStdout = true;
    Child sim;
    ASSERT_TRUE(sim.start({dist + "/fieldsim", FS_SOURCE_DIR "/install/demo.bus"}, quiet));
    const std::string pty = sim.readLine(10000);
    ASSERT_FALSE(pty.empty());
    dir.write("config.ini", "[BASIC Configurations]\nlanguage=eng\nserial_port=1\nhistory_database=" + dbPath +
                                "\n[Port Devices]\ncom1=" + pty + "\n");
    quiet.stderrFile = dir.file("job.err");
    Child job;
    ASSERT_TRUE(job.start({dist + "/fieldservice", "/l", "pump.NFO"}, quiet));
    // Killed once the load's entry is there with its backup: the load is writing.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (sqliteText(dbPath, "SELECT count(*) FROM entries WHERE ended IS NULL AND backup != ''") != "1" &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(::kill(job.pid, SIGKILL), 0);
    job.exitCode(10000);

    EXPECT_EQ(sqliteText(dbPath, "PRAGMA integrity_check"), "ok");
    ServiceJournal after(dbPath);
    const auto rows = after.entries({});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].via, "batch");
    EXPECT_FALSE(rows[0].ended);
    EXPECT_EQ(rows[0].file, dir.file("pump.NFO"));
    EXPECT_TRUE(fs::exists(rows[0].backup)) << rows[0].backup;   // the way back
    HistoryModel model(fx.ctx);
    ServiceJournal* own = fx.ctx.journal;
    fx.ctx.journal = &after;
    model.refresh();
    model.selectDevice(0);
    EXPECT_EQ(model.cell(0, HistoryColumn::Outcome), "interrupted");
    fx.ctx.journal = own;
}

TEST_F(History, TwoWritersAtOnceLoseNothing) {
    constexpr int EACH = 150;
    auto writer = [this](const std::string& user) {
        ServiceJournal own(dbPath);
        JournalStart start;
        start.user = user;
        start.device.name = "PUMPCTRL";
        for (int i = 0; i < EACH; ++i) {
            JournalEnd end;
            end.outcome = JournalOutcome::Done;
            end.values = {{0x100, false, i, i + 1, std::nullopt, ValueOutcome::Written}};
            EXPECT_TRUE(own.end(own.begin(start), end)) << own.problemText();
        }
    };
    std::thread a(writer, "a"), b(writer, "b");
    a.join();
    b.join();
    EXPECT_EQ(all().size(), 2u * EACH);
    EXPECT_EQ(journal.devices().size(), 1u);
}

TEST_F(History, AFirstVersionDatabaseIsBroughtUpToDate) {
    fs::copy_file(FS_SOURCE_DIR "/tests/data/history-v1.sqlite", dbPath);
    const auto devices = journal.devices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].identity.register40, -1);
    const auto rows = journal.entries({});
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_FALSE(rows[1].ended);   // the load the old version saw cut off
    EXPECT_EQ(rows[2].seal, "1A2B3C4D/5B3D");
    EXPECT_EQ(sqliteText(dbPath, "PRAGMA user_version"), std::to_string(JOURNAL_SCHEMA_VERSION));
    // Each old entry got its own unique id, and waits for a plant's server.
    EXPECT_EQ(sqliteText(dbPath, "SELECT count(DISTINCT uid) || '/' || sum(sent = 0) FROM entries WHERE uid LIKE "
                                 "'________-____-4___-____-____________'"),
              "3/3");
    JournalEntry entry(fx.ctx, JournalOperation::Restart);
    EXPECT_TRUE(entry.active());
}

// Each database the journal cannot use: said once, the work goes on, and the
// next operation tries again.
TEST_F(History, AnUnusableDatabaseIsSaidOnceAndNeverStopsTheWork) {
    struct Case {
        const char* name;
        std::function<std::string()> make;   // the database path
        JournalProblem problem;
    };
    SqliteDb lockHolder;   // another program's write, open past the timeout
    const std::vector<Case> cases = {
        {"not SQLite", [&] { dir.write("text.sqlite", std::string(4096, 'x')); return dir.file("text.sqlite"); },
         JournalProblem::Damaged},
        {"folder it may not write", [] { return std::string("/proc/self/fieldservice/history.sqlite"); },
         JournalProblem::CannotOpen},
        {"locked past the timeout",
         [&] {
             const std::string p = dir.file("locked.sqlite");
             ServiceJournal(p).devices();   // a database of this version, empty
             lockHolder.open(p, 1000);
             lockHolder.exec("BEGIN EXCLUSIVE");
             return p;
         },
         JournalProblem::Busy},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.make();
        const std::string before = readFile(path);
        journal.configure(path, true);
        twoRestartsGoOn();
        EXPECT_EQ(journal.problem(), c.problem) << journal.problemText();
        EXPECT_EQ(fx.op.messages.size(), 1u);   // said once for both operations
        EXPECT_TRUE(journal.devices().empty());
        EXPECT_EQ(readFile(path), before);      // nothing written
    }
    // Put right, the next operation writes again; a new failure is said again.
    journal.configure(dbPath, true);
    fx.op.answers.push_back(true);
    restartCommand(fx.ctx);
    EXPECT_EQ(all().size(), 1u);
    EXPECT_EQ(journal.problem(), JournalProblem::None);
    journal.configure(dir.file("text.sqlite"), true);
    fx.op.clear();
    fx.op.answers.push_back(true);
    restartCommand(fx.ctx);
    EXPECT_EQ(fx.op.messages.size(), 1u);
}

namespace {

// A database as version 2 wrote it: a unit seen before and after a firmware
// update (two rows then), and a device without registers 40 and 44 twice.
std::string secondVersion(const TempDir& dir) {
    const std::string path = dir.file("v2.sqlite");
    SqliteDb db;
    db.open(path, 1000);
    db.exec(R"(
CREATE TABLE devices(id INTEGER PRIMARY KEY, address INTEGER, name TEXT, version INTEGER, release INTEGER,
  parameter_version INTEGER, register40 INTEGER NOT NULL DEFAULT -1, register44 INTEGER NOT NULL DEFAULT -1);
CREATE TABLE entries(id INTEGER PRIMARY KEY, device_id INTEGER NOT NULL REFERENCES devices(id),
  operation TEXT NOT NULL, started INTEGER NOT NULL, ended INTEGER, outcome TEXT, user TEXT, host TEXT, port TEXT,
  via TEXT, file TEXT, seal TEXT, backup TEXT, detail TEXT);
CREATE TABLE entry_values(entry_id INTEGER NOT NULL REFERENCES entries(id), number INTEGER NOT NULL,
  on_off INTEGER NOT NULL, before INTEGER, after INTEGER, read_back INTEGER);
INSERT INTO devices VALUES(1, 1, 'PUMPCTRL', 3, 7, 2, 4660, 17), (2, 18, 'VALVEDRV', 1, 0, 1, -1, -1),
  (3, 1, 'PUMPCTRL', 4, 0, 2, 4660, 17), (4, 18, 'VALVEDRV', 2, 0, 1, -1, -1);
INSERT INTO entries(id, device_id, operation, started, ended, outcome, user, detail) VALUES
  (1, 1, 'send', 1780000000, 1780000001, 'done', 'tech', '0106: 300 > 120'),
  (2, 2, 'restart', 1780000100, NULL, NULL, 'tech', ''),
  (3, 3, 'load', 1780000200, 1780000260, 'failed', 'tech', 'read back: 3 of 4 equal'),
  (4, 4, 'restart', 1780000300, 1780000301, 'done', 'tech', '');
INSERT INTO entry_values VALUES(1, 262, 0, 300, 120, NULL);
PRAGMA user_version = 2;
)");
    db.useWriteAheadLog(1000);   // as version 2 kept it
    return path;
}

// A database of this version whose entries lack a column: the devices and
// the entries' ids are read, the entries' rows are not.
std::string brokenEntries(const TempDir& dir) {
    const std::string path = dir.file("broken.sqlite");
    {
        ServiceJournal journal(path);
        JournalStart start;
        start.device.name = "PUMPCTRL";
        journal.end(journal.begin(start), {});
    }
    SqliteDb db;
    db.open(path, 1000);
    db.exec("ALTER TABLE entries DROP COLUMN seal");
    return path;
}

std::string withTables(const TempDir& dir, const std::string& name, const std::string& sql) {
    SqliteDb db;
    db.open(dir.file(name), 1000);
    db.exec(sql);
    return dir.file(name);
}

struct DatabaseCase {
    const char* name;
    std::function<std::string(const TempDir&)> make;   // the database's path
    int printStatus;                                   // of --history, read only
    bool printsRows;
    JournalProblem problem;   // of the operations that write to it
    int entriesAfter;         // the entries then (-1: not counted), of so many devices
    int devicesAfter;
};

const DatabaseCase DATABASE_CASES[] = {
    {"NewerSchema",
     [](const TempDir& d) {
         return withTables(d, "newer.sqlite", "CREATE TABLE future(x); PRAGMA application_id = " +
                                                  std::to_string(JOURNAL_APPLICATION_ID) + "; PRAGMA user_version = 9;");
     },
     1, false, JournalProblem::NewerSchema, -1, -1},
    {"ForeignApplicationId",
     [](const TempDir& d) {
         return withTables(d, "other.sqlite", "CREATE TABLE devices(x); PRAGMA application_id = 1234; PRAGMA user_version = 2;");
     },
     1, false, JournalProblem::Foreign, -1, -1},
    {"ForeignSqliteWithUserVersion0",
     [](const TempDir& d) { return withTables(d, "notes.sqlite", "CREATE TABLE notes(id INTEGER, text TEXT);"); },
     1, false, JournalProblem::Foreign, -1, -1},
    // Its four rows are two units (the demo pump restarted here is one of them).
    {"OurSecondVersionMigratedWithItsEntries", secondVersion, 0, true, JournalProblem::None, 4 + 2, 2},
    {"MissingDatabaseCreatesNothingWhenRead", [](const TempDir& d) { return d.file("none/history.sqlite"); }, 0,
     false, JournalProblem::None, 2, 1},
    {"FailingQuery", brokenEntries, 1, false, JournalProblem::Failed, -1, -1},
};

struct HistoryDatabase : History, ::testing::WithParamInterface<DatabaseCase> {};

std::string bytesOrAbsent(const std::string& path) { return fs::exists(path) ? readFile(path) : "absent"; }

// The files of a folder (none when there is no folder).
std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// Each database --history reads (creating nothing, changing nothing, rows
// only when every query succeeded) and the journal writes to (said once, the
// work goes on, another program's file or a newer one untouched, ours brought
// up to date with every entry kept).
TEST_P(HistoryDatabase, IsReadOnlyByHistoryAndUsedOnlyWhenOurs) {
    const DatabaseCase& c = GetParam();
    const std::string path = c.make(dir);
    const std::string before = bytesOrAbsent(path);
    const std::vector<std::string> filesBefore = filesIn(fs::path(path).parent_path());
    fx.op.clear();
    ServiceJournal reader(path);
    reader.setReadOnly(true);
    fx.ctx.journal = &reader;
    std::ostringstream out;
    EXPECT_EQ(printHistory(fx.ctx, "", false, out), c.printStatus);
    EXPECT_EQ(!out.str().empty(), c.printsRows) << out.str();
    EXPECT_EQ(fx.op.messages.size(), c.printsRows ? 0u : 1u);
    EXPECT_EQ(bytesOrAbsent(path), before);
    EXPECT_EQ(filesIn(fs::path(path).parent_path()), filesBefore);   // no log, no lock file, no folder
    EXPECT_EQ(fs::exists(fs::path(path).parent_path()), before != "absent");

    fx.ctx.journal = &journal;
    journal.configure(path, true);
    twoRestartsGoOn();
    EXPECT_EQ(journal.problem(), c.problem) << journal.problemText();
    EXPECT_EQ(fx.op.messages.size(), c.problem == JournalProblem::None ? 0u : 1u);
    // Neither a newer program's file nor another program's is changed.
    if (c.problem == JournalProblem::NewerSchema || c.problem == JournalProblem::Foreign) {
        EXPECT_EQ(readFile(path), before);
    }
    if (c.entriesAfter < 0) return;
    EXPECT_EQ(all().size(), static_cast<size_t>(c.entriesAfter));
    EXPECT_EQ(journal.devices().size(), static_cast<size_t>(c.devicesAfter));
    EXPECT_EQ(sqliteText(path, "PRAGMA application_id"), std::to_string(JOURNAL_APPLICATION_ID));
    EXPECT_EQ(sqliteText(path, "PRAGMA user_version"), std::to_string(JOURNAL_SCHEMA_VERSION));
}

INSTANTIATE_TEST_SUITE_P(Databases, HistoryDatabase, ::testing::ValuesIn(DATABASE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// The demo pump (registers 40 and 44) and valve drive (none) each keep one
// history across an address change and, for the pump, a firmware update;
// each entry shows the address and version of its time.
TEST_F(History, ADeviceKeepsItsHistoryAcrossAnAddressChangeAndAFirmwareUpdate) {
    AppContext& ctx = fx.ctx;
    auto restart = [&] {
        fx.op.answers.push_back(true);
        restartCommand(ctx);
    };
    auto moveTo = [&](uint8_t address) {
        changeAddressCommand(ctx, [address](uint8_t) { return std::optional<uint8_t>(address); });
        ASSERT_TRUE(fx.connect(address));
    };
    restart();
    moveTo(0x21);
    restart();
    fx.device(0x21)->version = 4;
    fx.device(0x21)->release = 1;
    ASSERT_TRUE(fx.connect(0x21));
    restart();
    ASSERT_TRUE(fx.connect(0x12));
    restart();
    moveTo(0x13);
    restart();

    const auto devices = journal.devices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].identity.address, 0x21);
    EXPECT_EQ(devices[0].identity.version, 4);
    EXPECT_EQ(devices[1].identity.address, 0x13);
    std::vector<std::string> seen;
    for (const JournalDevice& d : devices)
        for (const JournalRow& r : journal.entries([&] {
                 JournalQuery q;
                 q.deviceId = d.id;
                 return q;
             }()))
            seen.push_back(std::string(operationKey(r.operation)) + " " + journalAddressText(r.address) + " " +
                           std::to_string(r.version) + "." + std::to_string(r.release));
    EXPECT_EQ(seen, (std::vector<std::string>{"restart 21 4.1", "restart 21 3.7", "address 01 3.7", "restart 01 3.7",
                                              "restart 13 2.11", "address 12 2.11", "restart 12 2.11"}));

    // --history by the unit's address now: its whole history, old addresses included.
    std::ostringstream out;
    EXPECT_EQ(printHistory(ctx, "21", true, out), 0);
    const std::string printed = out.str();
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1 + 4) << printed;
    EXPECT_NE(printed.find(",PUMPCTRL,01,3.7,address,"), std::string::npos) << printed;

    // Its values over time say what became of each, without one the device refused.
    JournalStart start;
    start.device = selectedDeviceIdentity(ctx);
    for (ValueOutcome outcome : {ValueOutcome::Verified, ValueOutcome::Refused}) {
        JournalEnd end;
        end.values = {{0x106, false, {}, 200, 200, outcome}};
        ASSERT_TRUE(journal.end(journal.begin(start), end));
    }
    HistoryModel model(ctx);
    model.refresh();
    model.selectDevice(1);   // the valve drive, after the pump by name
    const auto shown = model.valueRows(0x106);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].back(), "verified");
}

// An end that could not be written (another program's lock) is written at
// the next operation, so the entry does not stay "interrupted"; a database
// file replaced while open is said, and the history goes on in the new one.
TEST_F(History, WhatCouldNotBeWrittenIsWrittenLaterAndAReplacedFileIsSaid) {
    auto restart = [this] {
        fx.op.answers.push_back(true);
        restartCommand(fx.ctx);
    };
    {
        JournalEntry entry(fx.ctx, JournalOperation::Restart);
        SqliteDb lockHolder;
        lockHolder.open(dbPath, 1000);
        lockHolder.exec("BEGIN EXCLUSIVE");
        entry.finish(true);
        EXPECT_EQ(journal.pendingEnds(), 1u);
    }
    restart();
    EXPECT_EQ(journal.pendingEnds(), 0u);
    EXPECT_EQ(all().back().outcome, JournalOutcome::Done);

    fs::rename(dbPath, dbPath + ".old");
    restart();
    ASSERT_EQ(fx.op.messages.size(), 2u);   // the lock, then the file replaced
    EXPECT_NE(fx.op.messages[1].text.find("replaced or removed"), std::string::npos);
    EXPECT_EQ(all().size(), 1u);   // the new file's
    EXPECT_EQ(ServiceJournal(dbPath + ".old").entries({}).size(), 2u);
}
