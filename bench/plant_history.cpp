// What the plant's service history costs, against a PostgreSQL 15 server of
// the benchmark's own on loopback (made as the tests make theirs). Two figures:
//
// - Sending 10,000 waiting entries: a laptop's journal holding 10,000
//   entries that never reached the server (ten values each, as a load
//   verified), all sent by one send as --history-sync sends them, wall time.
// - The plant's view opening on 1,000,000 entries of one device: the
//   server filled in one statement, then HistoryModel built with the server
//   set, the devices read, the device chosen and the first screenful of
//   cells formatted, median of 5. The view reads one page (keyset, LIMIT),
//   never the device's whole history.
//
//   plant_history
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchTable.h"
#include "PacedSession.h"
#include "Timing.h"
#include "app/HistoryModel.h"
#include "link/DeviceLink.h"
#include "platform/SqliteDb.h"
#include "session/AppContext.h"
#include "session/PlantServer.h"
#include "session/ServiceJournal.h"
#include "support/PlantPostgres.h"
#include <filesystem>

namespace {

constexpr int Waiting = 10000;
constexpr int ValuesEach = 10;
constexpr double SendTargetS = 10.0;
constexpr int PlantEntries = 1000000;
constexpr double OpenTargetMs = 300.0;

struct Folder {
    std::string path;
    Folder() {
        char name[] = "/tmp/fs-plant-bench-XXXXXX";
        path = mkdtemp(name) ? name : "/tmp";
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string file(const std::string& name) const { return path + "/" + name; }
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool sending(const PlantPostgres& pg, const Folder& dir) {
    const char* name = "plant history: sending 10,000 waiting entries";
    const std::string path = dir.file("history.sqlite");
    {
        // One entry through the journal makes the database and its device;
        // the rest in one transaction: how they were written does not matter.
        ServiceJournal journal(path);
        JournalStart start;
        start.operation = JournalOperation::Load;
        start.device = {1, "PUMPCTRL", 3, 7, 2, 4660, 17};
        journal.begin(start);
    }
    SqliteDb db;
    if (db.open(path, 5000) != DbStatus::Ok) return false;
    db.exec("BEGIN");
    SqliteStatement entry = db.prepare(
        "INSERT INTO entries(device_id, operation, started, ended, outcome, user, host, port, via, file, seal, "
        "backup, detail, address, version, release, parameter_version, uid) VALUES(1, 'load', ?1, ?1 + 30, 'done', "
        "'tech', 'van', '/dev/ttyUSB0', 'batch', ?2, '', '/home/tech/backups/PUMPCTRL-01.NFO', "
        "'read back: 312 of 312 equal', 1, 3, 7, 2, lower(hex(randomblob(16))))");
    SqliteStatement value = db.prepare(
        "INSERT INTO entry_values(entry_id, number, on_off, before, after, read_back, outcome) "
        "VALUES(?1, ?2, 0, NULL, ?3, ?3, 'verified')");
    for (int i = 1; i < Waiting; ++i) {
        entry.reset();
        entry.bind(1, int64_t{1780000000} + i * 60);
        entry.bind(2, "/home/tech/pump-" + std::to_string(i) + ".NFO");
        entry.step();
        const int64_t id = db.lastInsertId();
        for (int v = 0; v < ValuesEach; ++v) {
            value.reset();
            value.bind(1, id);
            value.bind(2, int64_t{0x100 + 2 * v});
            value.bind(3, int64_t{i + v});
            value.step();
        }
    }
    entry = SqliteStatement();
    value = SqliteStatement();
    if (db.exec("COMMIT") != DbStatus::Ok) {
        bench::missing(name, db.lastError());
        return false;
    }
    db.close();
    ServiceJournal journal(path);
    PlantServer server(pg.uri("plant"));
    const auto start = std::chrono::steady_clock::now();
    const PlantSendResult result = server.send(journal, PlantServer::nowMs() + 600000);
    const double seconds = bench::secondsSince(start);
    std::fprintf(stderr, "plant_history: %zu sent in %.2f s, %lld still waiting, %s on the server\n", result.sent,
                 seconds, static_cast<long long>(result.waiting),
                 pg.sql("plant", "SELECT count(*) FROM fieldservice.entries").c_str());
    if (server.problem() != PlantProblem::None || result.sent != static_cast<size_t>(Waiting)) {
        bench::missing(name, "the send failed: " + server.problemText());
        return false;
    }
    return bench::figure(name, seconds, "s", bench::Goal::AtMost, SendTargetS, 2);
}

bool viewOpening(const PlantPostgres& pg, const Folder& dir) {
    const char* name = "plant history: view of 1,000,000 entries opening (first page)";
    // The pump controller has the entries sent above; a million more of it.
    const std::string filled = pg.sql(
        "plant",
        "INSERT INTO fieldservice.entries(uid, device_id, operation, started, ended, outcome, \"user\", host, port, "
        "via, file, seal, backup, detail, address, version, release, parameter_version) "
        "SELECT gen_random_uuid(), (SELECT min(id) FROM fieldservice.devices), "
        "(ARRAY['send','save','load','restart'])[1 + i % 4], 1700000000 + i * 30, 1700000000 + i * 30 + 20, 'done', "
        "'tech' || (i % 7), 'van' || (i % 3), '/dev/ttyUSB0', '', '/home/tech/pump-' || i || '.NFO', '', '', '', "
        "1, 3, 7, 2 FROM generate_series(1, " +
            std::to_string(PlantEntries - Waiting) + ") AS i; ANALYZE fieldservice.entries; "
                                                     "SELECT count(*) FROM fieldservice.entries");
    if (filled != std::to_string(PlantEntries)) {
        bench::missing(name, "the server was not filled: " + filled);
        return false;
    }
    DeviceLink link;
    bench::SilentOperator op;
    AppContext ctx(link, &op);
    ctx.texts.messages.Load(FS_DIST_DIR "/messages.eng");
    ctx.settings.historyServer = pg.uri("plant");
    ServiceJournal journal(dir.file("history.sqlite"));
    ctx.journal = &journal;
    std::vector<double> times;
    size_t shown = 0;
    for (int i = 0; i < 5; ++i) {
        auto start = std::chrono::steady_clock::now();
        HistoryModel model(ctx);
        model.refresh();
        model.selectDevice(0);
        std::string cells;
        for (size_t row = 0; row < std::min<size_t>(40, model.rowCount()); ++row)
            for (int c = 0; c < static_cast<int>(HistoryColumn::Count); ++c)
                cells += model.cell(row, static_cast<HistoryColumn>(c));
        times.push_back(bench::secondsSince(start) * 1000);
        shown = model.plantView() ? model.rowCount() : 0;
    }
    std::fprintf(stderr, "plant_history: %zu rows read for the first page; openings %.1f .. %.1f ms\n", shown,
                 *std::min_element(times.begin(), times.end()), *std::max_element(times.begin(), times.end()));
    if (shown == 0) {
        bench::missing(name, "the plant's view did not open");
        return false;
    }
    return bench::figure(name, median(times), "ms", bench::Goal::AtMost, OpenTargetMs, 1);
}

}  // namespace

int main() {
    PlantPostgres pg;
    if (!PlantPostgres::installed() || !pg.start() || pg.sql("postgres", "CREATE DATABASE plant") != "") {
        bench::missing("plant history: sending 10,000 waiting entries", "no PostgreSQL 15 server could be started");
        bench::missing("plant history: view of 1,000,000 entries opening (first page)", "no server");
        return 1;
    }
    Folder dir;
    const bool sent = sending(pg, dir);
    const bool opened = sent && viewOpening(pg, dir);
    return sent && opened ? 0 : 1;
}
