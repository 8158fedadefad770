// The progress window and the hand-over around it: the bar never moves back
// and stays full past its maximum, the main window is hidden under the
// working caption, and while transactions wait for the bus the events that
// keep the bar moving start no second transaction.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>
#include <mutex>

#include "app/ui/MainFrame.h"
#include "app/MenuTable.h"
#include "app/ui/ProgressWindow.h"
#include "shell_ui_support.h"

class ProgressTest : public QObject, public ShellTestBed {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void barNeverMovesBackAndStaysFullPastTheMaximum() {
        uint32_t counter = 99;
        ProgressWindow w(&counter, 10, "group", "caption", "title");
        QCOMPARE(w.bar()->minimum(), 0);
        QCOMPARE(w.bar()->maximum(), 10);
        counter = 7;
        w.readCounter();
        QCOMPARE(w.bar()->value(), 7);
        counter = 3;             // an operation starting its next phase
        w.readCounter();
        QCOMPARE(w.bar()->value(), 7);
        counter = 25;
        w.readCounter();
        QCOMPARE(w.bar()->value(), 10);
        counter = 10;
        w.readCounter();
        QCOMPARE(w.bar()->value(), 10);
    }

    void timerFollowsTheCounterAndTheWindowCannotBeClosed() {
        uint32_t counter = 0;
        ProgressWindow w(&counter, 64, "group", "caption", "title");
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        counter = 40;
        QTRY_COMPARE_WITH_TIMEOUT(w.bar()->value(), 40, 2000);
        w.close();
        QVERIFY(w.isVisible());
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(w.isVisible());
    }

    // A window given a cancel flag has a Cancel button; a click or Escape
    // sets the flag once. Without a flag there is no button.
    void cancelButtonSetsTheFlag() {
        uint32_t counter = 0;
        ProgressWindow plain(&counter, 10, "group", "caption", "title");
        QVERIFY(!plain.cancelButton());
        for (bool byKey : {false, true}) {
            std::atomic<bool> cancelled{false};
            ProgressWindow w(&counter, 10, "group", "caption", "title", &cancelled, "Stop");
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QVERIFY(w.cancelButton());
            QCOMPARE(w.cancelButton()->text(), QString("Stop"));
            if (byKey)
                QTest::keyClick(&w, Qt::Key_Escape);
            else
                QTest::mouseClick(w.cancelButton(), Qt::LeftButton);
            QVERIFY(cancelled);
            QVERIFY(!w.cancelButton()->isEnabled());
            QVERIFY(w.isVisible());   // it goes when the operation ends
        }
    }

    // A message or question during a progress window opens above it and
    // takes the keyboard; what a command did stays in the status pane.
    void boxesOpenAboveTheProgressWindow() {
        MainFrame f(ctx());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        uint32_t counter = 0;
        f.ShowProgress(&counter, 10, "working");
        QWidget* progress = f.progressWindow();
        QVERIFY(progress);
        for (int asks = 0; asks < 2; ++asks) {
            bool above = false, focused = false, arrow = false;
            QTimer::singleShot(100, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box) return;
                above = box->parentWidget() == progress && (box->windowFlags() & Qt::WindowStaysOnTopHint);
                focused = QApplication::activeWindow() == box;
                arrow = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::ArrowCursor;
                box->defaultButton()->click();
            });
            QTimer::singleShot(5000, [] {   // never hang, whatever happened
                if (auto* w = QApplication::activeModalWidget()) w->close();
            });
            if (asks == 0) f.message("title", "text", MessageIcon::Exclamation);
            else QVERIFY(f.question("title", "question"));
            QVERIFY(above);
            QVERIFY(focused);
            QVERIFY(arrow);
        }
        f.HideProgress();
        QVERIFY(!QApplication::overrideCursor());

        f.notify("Saved 3 parameters to /tmp/x.NFO");
        QCOMPARE(f.statusText()->text(), QString("Saved 3 parameters to /tmp/x.NFO"));
        QTRY_COMPARE_WITH_TIMEOUT(f.statusText()->text(), qtext(32896), 10000);
    }

    void showHidesTheMainWindowUnderTheWorkingCaption() {
        MainFrame f(ctx());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        uint32_t counter = 55;
        f.ShowProgress(&counter, 100, "scanning");
        QCOMPARE(counter, 0u);
        ProgressWindow* w = f.progressWindow();
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QVERIFY(!f.isVisible());
        QCOMPARE(f.windowTitle(), QString("Service v1.10") + qtext(1));
        QCOMPARE(w->groupBox()->title(), qtext(768));
        QCOMPARE(w->captionLabel()->text(), QString("scanning"));
        QCOMPARE(w->bar()->maximum(), 100);
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

        f.HideProgress();
        QVERIFY(!f.progressWindow());
        QVERIFY(f.isVisible());
        QCOMPARE(f.windowTitle(), QString("Service v1.10"));
        QVERIFY(!QApplication::overrideCursor());
    }

    // The control the operator was at has the keyboard again once the window goes.
    void focusComesBackAfterTheProgressWindow() {
        MainFrame f(ctx());
        f.show();
        QDialog d(&f);
        d.setWindowModality(Qt::ApplicationModal);
        auto* second = new QLineEdit(new QLineEdit(&d));
        d.show();
        second->setFocus();
        uint32_t counter = 0;
        f.ShowProgress(&counter, 6, "identity");
        f.HideProgress();
        QTRY_VERIFY(second->hasFocus());
    }

    void hideRightAfterShowAndAgain() {
        MainFrame f(ctx());
        f.show();
        uint32_t counter = 0;
        for (int i = 0; i < 3; ++i) {
            f.ShowProgress(&counter, 6, "identity");
            f.HideProgress();
        }
        QVERIFY(!f.progressWindow());
        QVERIFY(f.isVisible());
        QVERIFY(!QApplication::overrideCursor());
        // A second Show without Hide does not leave two windows behind.
        f.ShowProgress(&counter, 6, "one");
        f.ShowProgress(&counter, 6, "two");
        QCOMPARE(f.progressWindow()->captionLabel()->text(), QString("two"));
        f.HideProgress();
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(f.isVisible());
    }

    void hiddenMainWindowStaysHiddenForABatchJob() {
        MainFrame f(ctx());
        uint32_t counter = 0;
        f.ShowProgress(&counter, 6, "job");
        f.HideProgress();
        QVERIFY(!f.isVisible());
    }

    void waitsKeepTheBarMovingButStartNoSecondTransaction() {
        // The bus runs in real time: an unanswered read waits 8 x 50 ms.
        useRealTimeBus();
        SimDevice& d = sim->add(5, "SLOWPOKE");
        d.status = 9;
        d.mutedKeys.insert(40);
        QVERIFY(sim->link.Open(1));
        QVERIFY(sim->link.Select(5));
        // The wire is written from the transaction's worker thread.
        std::mutex sentLock;
        std::vector<uint8_t> sent;
        sim->wire.logSink = [&](const WireLogEntry& e) {
            std::lock_guard<std::mutex> hold(sentLock);
            if (e.fromMaster) sent.push_back(e.byte);
        };
        auto sentCount = [&] {
            std::lock_guard<std::mutex> hold(sentLock);
            return sent.size();
        };

        MainFrame f(ctx());
        f.deviceSelected = true;
        f.idle = true;
        f.pollTimer()->start(5);
        int attempts = 0, refused = 0, commandsRun = 0;
        QTimer meddler;
        meddler.setInterval(10);
        connect(&meddler, &QTimer::timeout, [&] {
            if (!sim->link.transactionInFlight()) return;
            ++attempts;
            // A transaction asked for from inside the wait is refused ...
            const size_t before = sentCount();
            sim->link.ReadRegister(46);
            if (sentCount() == before) ++refused;
            // ... and a command arriving meanwhile does not run.
            const bool wasSelected = f.deviceSelected;
            f.dispatch(CMD_DISCONNECT);
            if (f.deviceSelected != wasSelected) ++commandsRun;
        });
        meddler.start();

        uint32_t counter = 0;
        f.ShowProgress(&counter, 100, "waiting");
        counter = 30;
        sim->link.ReadRegister(40);       // nobody answers: the wait pumps events
        const int barDuringWait = f.progressWindow()->bar()->value();
        f.HideProgress();
        meddler.stop();

        QVERIFY(attempts > 0);
        QCOMPARE(refused, attempts);
        QCOMPARE(commandsRun, 0);
        QCOMPARE(barDuringWait, 30);
        QCOMPARE(f.lastStatus, 0u);
        // The wire saw the select and the one read of register 40, nothing else.
        QCOMPARE(sent, (std::vector<uint8_t>{0x28, 0x00}));
    }
};

QTEST_MAIN(ProgressTest)
#include "progress_test.moc"
