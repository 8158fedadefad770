// The History window over a journal the real commands wrote on the simulated
// demo bus: the entries, the filter, two saves compared, a missing file
// said, and a save loaded back into the device from the window.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "app/ui/HistoryWindow.h"
#include "files/ParameterFiles.h"
#include "files/ui/CompareDialog.h"
#include "params/ParameterTable.h"
#include "platform/SqliteDb.h"
#include "session/ServiceJournal.h"
#include "support/SimFixture.h"
#include "support/Support.h"

class HistoryWindowTest : public QObject {
    Q_OBJECT
    std::unique_ptr<SimFixture> fx;
    std::unique_ptr<TempDir> dir;
    std::unique_ptr<ServiceJournal> journal;

    void save(const std::string& name) {
        fx->op.files.push_back(dir->file(name));
        saveParameterFile(fx->ctx);
    }
    void select(HistoryWindow& w, std::initializer_list<int> rows) {
        w.entryTable()->clearSelection();
        for (int r : rows)
            w.entryTable()->selectionModel()->select(w.entryTable()->model()->index(r, 0),
                                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() {
        fx = std::make_unique<SimFixture>();
        fx->holdStill();   // two saves of the device are compared value by value
        dir = std::make_unique<TempDir>();
        journal = std::make_unique<ServiceJournal>(dir->file("history.sqlite"));
        QVERIFY(fx->ctx.texts.messages.Load(FS_SOURCE_DIR "/install/messages.eng"));
        fx->ctx.journal = journal.get();
        fx->ctx.settings.installDirectory = dir->path();
        QVERIFY(fx->connect(1));
        // A save, a value changed in the table, another save.
        save("before.NFO");
        ParameterTable table(fx->ctx);
        table.read();
        table.setValueText(0, "7");
        table.writeChanges();
        save("after.NFO");
        fx->op.clear();
    }
    void cleanup() {
        fx.reset();
        journal.reset();
        dir.reset();
    }

    void showsFiltersComparesAndLoadsBack() {
        HistoryWindow w(fx->ctx, {}, nullptr);
        QCOMPARE(w.deviceList()->count(), 1);
        QCOMPARE(w.entryTable()->model()->rowCount(), 3);
        w.searchField()->setText("before");
        QCOMPARE(w.entryTable()->model()->rowCount(), 1);
        w.searchField()->clear();
        w.operationBox()->setCurrentIndex(1 + static_cast<int>(JournalOperation::Save));
        QCOMPARE(w.entryTable()->model()->rowCount(), 2);
        // The table's parameter has its values over time: saved, sent, saved.
        QVERIFY(w.parameterBox()->count() > 0);
        QCOMPARE(w.valueTable()->rowCount(), 3);

        select(w, {0, 1});
        QVERIFY(w.compareEntriesButton()->isEnabled());
        QString differing;
        QTimer::singleShot(50, [&] {
            if (auto* d = qobject_cast<CompareDialog*>(QApplication::activeModalWidget())) {
                differing = d->countLabel()->text();
                d->accept();
            }
        });
        QTimer::singleShot(5000, [] {   // never hang, whatever happened
            if (auto* m = QApplication::activeModalWidget()) m->close();
        });
        w.compareEntries();
        QCOMPARE(differing, QString("1 parameters differ"));

        // A file gone: shown, and said when it would be used.
        std::filesystem::remove(dir->file("after.NFO"));
        select(w, {0});
        QVERIFY(w.noteLabel()->text().contains("after.NFO"));
        w.loadIntoDevice();
        QCOMPARE(fx->op.messages.size(), size_t(1));

        // The earlier save loaded back through the safe load.
        select(w, {1});
        QVERIFY(w.noteLabel()->text().isEmpty());
        fx->op.answers.push_back(true);
        w.loadIntoDevice();
        QCOMPARE(fx->param(1, 0x0100), std::optional<uint32_t>(1));
        w.operationBox()->setCurrentIndex(0);
        QCOMPARE(w.entryTable()->model()->rowCount(), 4);
        QCOMPARE(w.entryTable()->model()->index(0, 1).data().toString(), QString("Load (history)"));
    }

    // Connected to the valve drive: the pump's entries filtered by outcome, a
    // load of one of its files asked about first (No the default), and a
    // query that fails said in the window instead of rows.
    void filtersByOutcomeAsksForAnotherDeviceAndSaysAFailedQuery() {
        QVERIFY(fx->connect(0x12));
        HistoryWindow w(fx->ctx, {}, nullptr);
        w.outcomeBox()->setCurrentIndex(1 + static_cast<int>(EntryState::Interrupted));
        QCOMPARE(w.entryTable()->model()->rowCount(), 0);
        w.outcomeBox()->setCurrentIndex(1 + static_cast<int>(EntryState::Done));

        select(w, {2});
        const unsigned writes = fx->writes(0x12);
        w.loadIntoDevice();
        QCOMPARE(fx->op.questions.size(), size_t(1));
        QVERIFY(fx->op.questionsDefaultNo.back());
        const std::string& question = fx->op.questions.back().text;
        for (const char* part : {"PUMPCTRL at address 01, version 3.7", "VALVEDRV at address 12"})
            QVERIFY2(question.find(part) != std::string::npos, question.c_str());
        QCOMPARE(fx->writes(0x12), writes);

        SqliteDb db;
        QCOMPARE(db.open(dir->file("history.sqlite"), 1000, false), DbStatus::Ok);
        QCOMPARE(db.exec("ALTER TABLE entries DROP COLUMN seal"), DbStatus::Ok);
        w.searchField()->setText("NFO");
        w.entryTable()->model()->index(0, 0).data();   // drawn: the page is read
        QTRY_COMPARE(w.entryTable()->model()->rowCount(), 0);
        QTRY_VERIFY(w.noteLabel()->text().contains("could not be read"));
    }
};

QTEST_MAIN(HistoryWindowTest)
#include "history_window_test.moc"
