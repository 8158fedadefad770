// The bus monitor window: opened from the Parameters menu at any time, it
// records while open and only then; the kind boxes, Pause and Clear decide
// what its table shows; failures stand out; F1 opens its help.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include "app/ui/BusMonitorWindow.h"
#include "app/ui/HelpWindow.h"
#include "app/ui/MainFrame.h"
#include "link/DeviceLink.h"
#include "shell_ui_support.h"

class BusMonitorTest : public QObject, public ShellTestBed {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() {
        setUp();
        sim->add(3, "VALVE");
    }
    void cleanup() { tearDown(); }

    void opensBeforeConnectingAndRecordsOnlyWhileOpen() {
        MainFrame f(ctx());
        QAction* item = f.commandAction(40030);
        QVERIFY(item);
        QVERIFY(item->isEnabled());
        item->trigger();
        BusMonitorWindow* m = f.busMonitor();
        QVERIFY(m && m->isVisible());

        DeviceLink& link = ctx().link;
        QVERIFY(link.Open(1));
        QVERIFY(link.Select(3));
        QVERIFY(!link.Select(9));   // nobody there: a failure, in colour
        m->refresh();
        QAbstractItemModel* rows = m->table()->model();
        QCOMPARE(rows->rowCount(), 2);
        QVERIFY(!rows->index(0, 5).data(Qt::ForegroundRole).isValid());
        QVERIFY(rows->index(1, 5).data(Qt::ForegroundRole).isValid());
        QCOMPARE(rows->index(1, 2).data().toString(), QString("09"));

        m->close();
        QCOMPARE(ctx().link.monitor(), nullptr);
        link.Select(3);
        QCOMPARE(m->log().recorder().recorded(), uint64_t(2));
        // Opened again, it starts afresh.
        item->trigger();
        QCOMPARE(m->table()->model()->rowCount(), 0);
        QVERIFY(ctx().link.monitor() == &m->log().recorder());
    }

    void savesCsvByItsExtensionAndF1OpensHelp() {
        MainFrame f(ctx());
        f.commandAction(40030)->trigger();
        BusMonitorWindow* m = f.busMonitor();
        QVERIFY(ctx().link.Open(1));
        QVERIFY(ctx().link.Select(3));
        m->refresh();
        const TempDir& dir = install->dir();
        QVERIFY(m->save(dir.file("bus.CSV")));
        QVERIFY(m->save(dir.file("bus.txt")));
        const std::string csv = dir.read("bus.CSV");
        const std::string text = dir.read("bus.txt");
        QVERIFY(csv.find(",selected,83,03,0\r\n") != std::string::npos);
        QVERIFY(text.find("selected") != std::string::npos);
        QVERIFY(text.find(",selected") == std::string::npos);

        m->show();
        QVERIFY(QTest::qWaitForWindowExposed(m));
        m->activateWindow();
        QTRY_VERIFY(m->isActiveWindow());
        QTest::keyClick(m, Qt::Key_F1);
        QVERIFY(f.helpWindow() && f.helpWindow()->isVisible());
    }

    // A name typed without an extension takes the chosen filter's.
    void theChosenFilterGivesTheExtension() {
        MainFrame f(ctx());
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QTest::keyClick(dialog->findChild<QComboBox*>("fileTypeCombo"), Qt::Key_Down);   // the CSV filter
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText("bus");
            QMetaObject::invokeMethod(dialog, "accept");
        });
        const auto chosen = f.chooseSaveFile(FileChoice{"T (*.TXT)|*.TXT|C (*.CSV)|*.CSV|", "TXT", install->dir().path(), {}, {}});
        QCOMPARE(QString::fromStdString(chosen.value_or("")), QString::fromStdString(install->dir().file("bus.CSV")));
    }

    // The result in sight at the default size, Pause/Resume, an address filter that keeps the place.
    void pauseSaysResumeAndTheAddressFilterKeepsThePlace() {
        sim->add(5, "PUMP");
        MainFrame f(ctx());
        f.commandAction(40030)->trigger();
        BusMonitorWindow* m = f.busMonitor();
        QVERIFY(QTest::qWaitForWindowExposed(m));
        QTableView* table = m->table();
        const int needed = table->fontMetrics().horizontalAdvance(QStringLiteral("value 12345678 (305419896)"));
        QVERIFY(table->columnViewportPosition(int(BusColumn::Result)) + needed <= table->viewport()->width());
        for (const char* label : {"text 33233", "text 33094"}) {
            QTest::mouseClick(m->pauseButton(), Qt::LeftButton);
            QCOMPARE(m->pauseButton()->text(), QString(label));
        }
        QVERIFY(ctx().link.Open(1));
        for (int i = 0; i < 120; ++i) QVERIFY(ctx().link.Select(i % 2 ? 5 : 3));
        m->refresh();
        QAbstractItemModel* rows = table->model();
        table->scrollTo(rows->index(40, 0), QAbstractItemView::PositionAtTop);
        QCOMPARE(table->rowAt(0), 40);
        m->addressBox()->setCurrentIndex(m->addressBox()->findData(5));
        QCOMPARE(rows->rowCount(), 60);
        for (int r = 0; r < 60; ++r) QCOMPARE(rows->index(r, int(BusColumn::Target)).data().toString(), QString("05"));
        QCOMPARE(table->rowAt(0), 20);   // row 41 before: the first of address 5 after row 40
    }
};

QTEST_MAIN(BusMonitorTest)
#include "bus_monitor_test.moc"
