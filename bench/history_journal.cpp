// What the service history costs. Two figures:
//
// - Journaling's added cost on a save+load: the save command and the load
//   command on the demo bus's pump controller (in-process simulator in real
//   time, paced like a 9600-baud wire) once without a journal; then the
//   journal's own work of that pair (the save's entry with its seal and
//   values, the load's entry with its values and backup, each begun and
//   ended as the commands do) timed alone, median of 20, over that wall
//   time. The pair is run once more with the journal on, and the log gives
//   both walls, but their difference is mostly the wire's jitter.
// - The History window's model opening on 100,000 entries of one device:
//   HistoryModel built, the devices read, the device chosen (the query that
//   fills the window's table) and the first screenful of cells formatted,
//   median of 5. The Qt table draws only the rows on screen, so this is
//   what stands between the click and the window.
//
//   history_journal [bus file] [address]
//   history_journal --window-only
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchTable.h"
#include "PacedSession.h"
#include "Timing.h"
#include "app/HistoryModel.h"
#include "files/FileNames.h"
#include "files/JournalRecords.h"
#include "files/ParameterFiles.h"
#include "platform/SqliteDb.h"
#include "session/JournalEntry.h"
#include "session/ServiceJournal.h"

namespace {

constexpr double CostTargetPercent = 2.0;
constexpr double OpenTargetMs = 200.0;
constexpr int Entries = 100000;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Folder {
    std::string path;
    Folder() {
        char name[] = "/tmp/fs-history-bench-XXXXXX";
        path = mkdtemp(name) ? name : "/tmp";
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

// One save and load through the commands; its wall time, or 0 when it failed.
double saveAndLoad(bench::PacedSession& s) {
    const unsigned shown = s.op.shown;
    auto start = std::chrono::steady_clock::now();
    saveParameterFile(s.ctx);
    loadParameterFileCommand(s.ctx);
    const double wall = bench::secondsSince(start);
    return s.op.shown == shown && s.owner.deviceSelected ? wall : 0;
}

bool journalCost(int argc, char** argv) {
    const char* name = "history: journaling's added cost on save+load";
    bench::PacedSession s;
    if (!s.start(argc, argv)) {
        bench::missing(name, "no device");
        return false;
    }
    Folder folder;
    const std::string file = folder.path + "/device.NFO";
    s.op.answer = true;
    s.op.chosenFile = file;
    s.owner.deviceSelected = true;
    s.ctx.texts.messages.Load(FS_DIST_DIR "/messages.eng");
    const double plain = saveAndLoad(s);
    ServiceJournal journal(folder.path + "/history.sqlite");
    s.ctx.journal = &journal;
    const double journaled = saveAndLoad(s);
    if (plain <= 0 || journaled <= 0 || journal.entries({}).size() != 2) {
        bench::missing(name, "the save or the load failed (messages on stderr)");
        return false;
    }
    MemoryStream stream;
    if (!readSealedFile(s.ctx, file, stream)) return false;
    const std::string text = stream.str();
    std::vector<double> costs;
    for (int i = 0; i < 20; ++i) {
        auto start = std::chrono::steady_clock::now();
        {
            JournalEntry save(s.ctx, JournalOperation::Save, file);
            recordSavedFile(save, "1A2B3C4D/5B3D", text);
        }
        {
            JournalEntry load(s.ctx, JournalOperation::Load, file);
            load.record().backup = file;
            load.record().values = journalValuesOfText(text);
            load.setOutcome(true);
        }
        costs.push_back(bench::secondsSince(start));
    }
    const double cost = median(costs);
    std::fprintf(stderr,
                 "history_journal: save+load %.3f s without the journal, %.3f s with it (%+.2f %%, wire jitter "
                 "included); the journal's own work %.2f ms (median of 20, %zu values a file)\n",
                 plain, journaled, (journaled / plain - 1) * 100, cost * 1000, journalValuesOfText(text).size());
    return bench::figure(name, cost / plain * 100, "%", bench::Goal::AtMost, CostTargetPercent, 3);
}

bool windowOpening() {
    const char* name = "history: window model opening on 100,000 entries";
    Folder folder;
    const std::string path = folder.path + "/history.sqlite";
    DeviceLink link;
    bench::SilentOperator op;
    AppContext ctx(link, &op);
    ctx.texts.messages.Load(FS_DIST_DIR "/messages.eng");
    link.deviceName = "PUMPCTRL";
    link.selectedAddress = 1;
    ServiceJournal journal(path);
    ctx.journal = &journal;
    { JournalEntry first(ctx, JournalOperation::Restart); first.setOutcome(true); }
    // The rest in one transaction: how they were written does not matter here.
    {
        SqliteDb db;
        if (db.open(path, 5000) != DbStatus::Ok) return false;
        db.exec("BEGIN");
        SqliteStatement st = db.prepare(
            "INSERT INTO entries(device_id, operation, started, ended, outcome, user, host, port, via, file, seal, "
            "backup, detail) VALUES(1, ?1, ?2, ?2 + 30, 'done', 'tech', 'van', '/dev/ttyUSB0', '', ?3, '', '', '')");
        const char* ops[] = {"send", "save", "load", "restart"};
        for (int i = 1; i < Entries; ++i) {
            st.reset();
            st.bind(1, std::string(ops[i % 4]));
            st.bind(2, int64_t{1780000000} + i * 60);
            st.bind(3, i % 4 == 1 ? "/home/tech/pump-" + std::to_string(i) + ".NFO" : std::string());
            st.step();
        }
        if (db.exec("COMMIT") != DbStatus::Ok) {
            bench::missing(name, db.lastError());
            return false;
        }
    }
    std::vector<double> times;
    size_t shown = 0;
    for (int i = 0; i < 5; ++i) {
        ServiceJournal fresh(path);   // as the window finds it: not yet open
        ctx.journal = &fresh;
        auto start = std::chrono::steady_clock::now();
        HistoryModel model(ctx);
        model.refresh();
        model.selectDevice(0);
        std::string cells;
        for (size_t row = 0; row < std::min<size_t>(40, model.rowCount()); ++row)
            for (int c = 0; c < static_cast<int>(HistoryColumn::Count); ++c)
                cells += model.cell(row, static_cast<HistoryColumn>(c));
        times.push_back(bench::secondsSince(start) * 1000);
        shown = model.rowCount();
    }
    std::fprintf(stderr, "history_journal: %zu entries in the model; openings %.1f .. %.1f ms\n", shown,
                 *std::min_element(times.begin(), times.end()), *std::max_element(times.begin(), times.end()));
    if (shown != Entries) {
        bench::missing(name, "the model did not hold every entry");
        return false;
    }
    return bench::figure(name, median(times), "ms", bench::Goal::AtMost, OpenTargetMs, 1);
}

}  // namespace

int main(int argc, char** argv) {
    const bool windowOnly = argc > 1 && std::string(argv[1]) == "--window-only";
    bool ok = windowOnly || journalCost(argc, argv);
    ok = windowOpening() && ok;
    return ok ? 0 : 1;
}
