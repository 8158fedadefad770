// The main window: menus after the loader, enabling, accelerators, hints,
// title, the panel's pixels and the status poll.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTextBrowser>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "app/ui/HelpWindow.h"
#include "app/ui/MainFrame.h"
#include "app/PanelLayout.h"
#include "app/MenuTable.h"
#include "shell_ui_support.h"

namespace {

std::vector<uint32_t> menuIds(QMenu* menu) {
    std::vector<uint32_t> ids;
    for (QAction* a : menu->actions()) ids.push_back(a->isSeparator() ? 0u : a->data().toUInt());
    return ids;
}

QRgb pixel(const MainFrame& f, int x, int y) { return f.surface().pixel(x, y) & 0xFFFFFFu; }

// Fills the link's image with a device, as a connect leaves it.
void identify(DeviceLink& link) {
    link.connected = 1;
    link.deviceName = "PUMPCTRL";
    link.selectedAddress = 5;
    link.version = 1;
    link.release = 5;
    link.parameterVersion = 3;
    link.password = 0;
    link.register40 = -1;
    link.register44 = 100;
}

}  // namespace

class MainFrameTest : public QObject, public ShellTestBed {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void menuStaysTheSameAfterTwoLoaderRuns() {
        MainFrame f(ctx());
        QVERIFY(ctx().settings.installationLoaded);
        const std::vector<uint32_t> first = menuIds(f.menu(1));
        QVERIFY(f.LoadInstallation());
        QVERIFY(f.LoadInstallation());
        QCOMPARE(menuIds(f.menu(1)), first);
        const std::vector<uint32_t> expected = {40017, 40007, 40011, 40012, 0, 40008, 40009, 0, 40016,
                                                0, 40030, 0, 40013, 40015, 0, 40042, 40041, 40040, 40043};
        QCOMPARE(first, expected);
        QCOMPARE(menuIds(f.menu(0)), (std::vector<uint32_t>{40004, 40005, 0, 40003, 0, 40001}));
        QCOMPARE(menuIds(f.menu(2)), (std::vector<uint32_t>{57667, 40002}));
        QCOMPARE(f.menu(0)->title(), qtext(128));
        QCOMPARE(f.menu(1)->title(), qtext(144));
        QCOMPARE(f.menu(2)->title(), qtext(160));
        // Captions by text number, accelerators shown beside them.
        QCOMPARE(f.commandAction(40004)->text(), qtext(132) + "\tCtrl+C");
        QCOMPARE(f.commandAction(40017)->text(), qtext(155));
        QCOMPARE(f.commandAction(40001)->objectName(), QString("40001"));
        QCOMPARE(f.statusText()->text(), qtext(32896));
    }

    void titleIsTextZeroBlankVersion() {
        reinstall("");
        MainFrame f(ctx());
        QCOMPARE(f.windowTitle(), QString(" v1.10"));
    }

    void failedReloadKeepsCaptions() {
        MainFrame f(ctx());
        RecordingOperator op;
        ctx().setOperator(&op);
        std::filesystem::remove(install->dir().file("messages.test"));
        QVERIFY(!f.LoadInstallation());
        QCOMPARE(op.messages.size(), size_t(1));
        QCOMPARE(op.messages[0].caption, std::string("Loader Error"));
        QCOMPARE(f.windowTitle(), QString("Service v1.10"));
        QCOMPARE(f.commandAction(40004)->text(), qtext(132) + "\tCtrl+C");
    }

    void enablingFollowsTheRules() {
        MainFrame f(ctx());
        emit f.menu(0)->aboutToShow();
        emit f.menu(1)->aboutToShow();
        QVERIFY(f.commandAction(40004)->isEnabled());
        QVERIFY(!f.commandAction(40005)->isEnabled());
        QVERIFY(!f.commandAction(40011)->isEnabled());
        QVERIFY(f.commandAction(40007)->isEnabled());
        QVERIFY(!f.commandAction(40009)->isEnabled());
        f.deviceSelected = true;
        emit f.menu(1)->aboutToShow();
        QVERIFY(!f.commandAction(40004)->isEnabled());
        QVERIFY(f.commandAction(40005)->isEnabled());
        QVERIFY(f.commandAction(40011)->isEnabled());
        QVERIFY(f.commandAction(40015)->isEnabled());
        QVERIFY(!f.commandAction(40009)->isEnabled());
    }

    void acceleratorsObeyTheRuleOfTheMoment() {
        MainFrame f(ctx());
        RecordingOperator op;
        ctx().setOperator(&op);
        f.show();
        QApplication::setActiveWindow(&f);
        QVERIFY(QTest::qWaitForWindowActive(&f));

        // No device: Ctrl+S and Ctrl+D do nothing at all.
        QTest::keyClick(&f, Qt::Key_S, Qt::ControlModifier);
        QTest::keyClick(&f, Qt::Key_D, Qt::ControlModifier);
        QVERIFY(op.choices.empty());
        QVERIFY(op.messages.empty());

        // A device selected since the menu was last opened: Ctrl+S asks for a file.
        f.deviceSelected = true;
        QTest::keyClick(&f, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(op.choices.size(), size_t(1));
        QVERIFY(f.idle);
        // ... and Ctrl+C, now disabled, is ignored.
        QTest::keyClick(&f, Qt::Key_C, Qt::ControlModifier);
        QVERIFY(op.progress.empty());
        QVERIFY(f.deviceSelected);
        // Ctrl+D disconnects.
        QTest::keyClick(&f, Qt::Key_D, Qt::ControlModifier);
        QVERIFY(!f.deviceSelected);
    }

    void hintsFollowTheHighlightedItem() {
        MainFrame f(ctx());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QMenu* m = f.menu(0);
        // Opened from the menu bar, as the operator does: the bar then hears
        // of every item highlighted in the menu too.
        f.menuBar()->setActiveAction(m->menuAction());
        QVERIFY(QTest::qWaitForWindowExposed(m));
        QAction* connectItem = f.commandAction(40004);
        QTest::mouseMove(m, m->actionGeometry(connectItem).center());
        QTRY_COMPARE(f.statusText()->text(), qtext(32900));
        QAction* options = f.commandAction(40003);
        QTest::mouseMove(m, m->actionGeometry(options).center());
        QTRY_COMPARE(f.statusText()->text(), qtext(32899));
        m->hide();
        QCOMPARE(f.statusText()->text(), qtext(32896));
    }

    void panelIsWhiteWithoutADeviceAndTintedWithOne() {
        MainFrame f(ctx());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QTRY_VERIFY(f.painted());
        QCOMPARE(pixel(f, 10, 10), QRgb(0xFFFFFF));
        QCOMPARE(pixel(f, 2, 6), QRgb(0xFFFFFF));

        identify(sim->link);
        f.deviceSelected = true;
        f.RenderPanel();
        const int w = f.panel()->width();
        const PanelLayout l = panelLayout(w, f.panel()->height(), 8);
        // Frame outside the tint stays black; grid lines inside it become (15, 15, 15).
        QCOMPARE(pixel(f, 2, 6), QRgb(0x000000));
        QCOMPARE(pixel(f, 4, 28), QRgb(0x0F0F0F));
        QCOMPARE(pixel(f, l.boxX, 18), QRgb(0x0F0F0F));
        // Empty cell space is tinted grey, in both columns, in every row.
        for (int row = 0; row < 8; ++row) {
            QCOMPARE(pixel(f, 6, 10 + 20 * row), QRgb(0xF0F0F0));
            QCOMPARE(pixel(f, w - 7, 10 + 20 * row), QRgb(0xF0F0F0));
        }
        // Below the table the surface is white.
        QCOMPARE(pixel(f, 20, 20 * 8 + 20), QRgb(0xFFFFFF));

        // The label column starts at x = 8: ink from there, none left of it.
        int firstInk = -1;
        for (int x = 5; x < 40 && firstInk < 0; ++x)
            for (int y = 9; y < 27; ++y)
                if (pixel(f, x, y) != 0xF0F0F0) {
                    firstInk = x;
                    break;
                }
        QVERIFY2(firstInk >= 8 && firstInk <= 12, qPrintable(QString::number(firstInk)));
    }

    void widerWindowWidensBothColumnsEqually() {
        MainFrame f(ctx());
        identify(sim->link);
        f.deviceSelected = true;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QTRY_VERIFY(f.painted());
        const int w0 = f.panel()->width();
        const int box0 = panelLayout(w0, 100, 8).boxX;
        QCOMPARE(pixel(f, box0, 18), QRgb(0x0F0F0F));
        f.resize(f.width() + 100, f.height());
        QTRY_COMPARE(f.panel()->width(), w0 + 100);
        const int box1 = panelLayout(w0 + 100, 100, 8).boxX;
        QCOMPARE(box1 - box0, 50);
        QCOMPARE(pixel(f, box1, 18), QRgb(0x0F0F0F));
        QCOMPARE(pixel(f, box0, 18), QRgb(0xF0F0F0));
        QCOMPARE(pixel(f, w0 + 100 - 4, 18), QRgb(0x000000));
    }

    void firstRenderingWaitsForTheSecondPaint() {
        MainFrame f(ctx());
        QVERIFY(!f.painted());
        const int before = f.renderCount();
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QTRY_VERIFY(f.painted());
        QCOMPARE(f.renderCount(), before + 1);
    }

    void pollRendersOnlyWhenTheStatusChanges() {
        SimDevice& d = sim->add(5, "POLLED");
        d.status = 0;
        QVERIFY(sim->link.Open(1));
        QVERIFY(sim->link.Select(5));
        identify(sim->link);
        MainFrame f(ctx());
        f.pollTimer()->stop();
        f.deviceSelected = true;

        const int start = f.renderCount();
        f.pollStatus();
        QCOMPARE(f.renderCount(), start);          // 0 as before: nothing to render
        d.status = 0x1a2;
        f.pollStatus();
        QCOMPARE(f.renderCount(), start + 1);
        QCOMPARE(f.lastStatus, 0x1a2u);
        f.pollStatus();
        f.pollStatus();
        QCOMPARE(f.renderCount(), start + 1);

        // Not idle, or no device: no read at all.
        const unsigned reads = d.reads;
        f.idle = false;
        d.status = 7;
        f.pollStatus();
        f.idle = true;
        f.deviceSelected = false;
        f.pollStatus();
        QCOMPARE(d.reads, reads);
        QCOMPARE(f.lastStatus, 0x1a2u);

        // Nor while a long operation shows its progress.
        f.deviceSelected = true;
        uint32_t counter = 0;
        f.ShowProgress(&counter, 10, "working");
        f.pollStatus();
        f.HideProgress();
        QCOMPARE(d.reads, reads);

        // A failed read changes nothing.
        f.deviceSelected = true;
        d.vanished = true;
        f.pollStatus();
        QCOMPARE(f.lastStatus, 0x1a2u);
        QCOMPARE(f.renderCount(), start + 1);
    }

    // A device that stops answering: the status row keeps the last status
    // for two failed polls, then says since when the device has not answered
    // (once: later failures render nothing); the first good poll brings the
    // status back. No message, and the device stays selected.
    void pollShowsADeviceThatStoppedAnswering_data() {
        QTest::addColumn<bool>("cablePulled");
        QTest::newRow("cable pulled") << true;
        QTest::newRow("status register mute") << false;
    }
    void pollShowsADeviceThatStoppedAnswering() {
        QFETCH(bool, cablePulled);
        SimDevice& d = sim->add(5, "POLLED");
        d.status = 0;
        QVERIFY(sim->link.Open(1));
        QVERIFY(sim->link.Select(5));
        identify(sim->link);
        MainFrame f(ctx());
        RecordingOperator op;
        ctx().setOperator(&op);
        f.pollTimer()->stop();
        f.deviceSelected = true;
        const std::string status = f.panelRowsNow()[5].value;
        QCOMPARE(status, "0000  \"" + textOf(1058) + "\"");

        if (cablePulled) d.vanished = true;
        else d.mutedKeys.insert(46);
        const int start = f.renderCount();
        f.pollStatus();
        f.pollStatus();
        QCOMPARE(f.panelRowsNow()[5].value, status);
        QCOMPARE(f.renderCount(), start);
        f.pollStatus();
        QCOMPARE(f.panelRowsNow()[5].value, textOf(32789));
        QCOMPARE(f.renderCount(), start + 1);
        f.pollStatus();
        QCOMPARE(f.renderCount(), start + 1);

        d.vanished = false;
        d.mutedKeys.clear();
        f.pollStatus();
        QCOMPARE(f.panelRowsNow()[5].value, status);
        QCOMPARE(f.renderCount(), start + 2);
        QVERIFY(f.deviceSelected);
        QVERIFY(op.messages.empty());
    }

    void closeReleasesTheSelectedDevice() {
        SimDevice& d = sim->add(5, "CLOSER");
        QVERIFY(sim->link.Open(1));
        QVERIFY(sim->link.Select(5));
        QVERIFY(sim->bus.selected() == &d);
        MainFrame f(ctx());
        f.deviceSelected = true;
        f.show();
        f.dispatch(CMD_QUIT);
        QVERIFY(!f.isVisible());
        QVERIFY(sim->bus.selected() == nullptr);
        QCOMPARE(sim->link.Address(), uint8_t(0));
    }

    // Enter answers a question with its default: Yes, but No where Yes is
    // the risk (a load without a backup).
    void enterGivesEachQuestionItsDefaultAnswer() {
        MainFrame f(ctx());
        auto pressEnter = [] {
            QTimer::singleShot(0, [] {
                if (QWidget* box = QApplication::activeModalWidget()) QTest::keyClick(box, Qt::Key_Return);
            });
        };
        pressEnter();
        QVERIFY(f.question("T", "Replace the file?"));
        pressEnter();
        QVERIFY(!f.questionDefaultNo("T", "Load without a backup?"));
    }

    void helpOpensAtItsContextOrShowsANotice() {
        MainFrame f(ctx());
        ctx().settings.helpFilePath = FS_SOURCE_DIR "/install/help_eng.hlp";
        f.dispatch(CMD_HELP_CONTENTS);
        QVERIFY(f.helpWindow() && f.helpWindow()->isVisible());
        QTextBrowser* b = f.helpWindow()->browser();
        QVERIFY(!b->toPlainText().isEmpty());
        QTest::qWait(50);
        const int atContents = b->verticalScrollBar()->value();
        f.dispatch(CMD_HELP_CONTEXT);
        // The context topic lies further down than the contents.
        QTRY_VERIFY(b->verticalScrollBar()->value() > atContents + 20);

        ctx().settings.helpFilePath = install->dir().file("help_none.hlp");
        f.dispatch(CMD_HELP_CONTEXT);
        QVERIFY(b->toPlainText().contains("cannot be opened"));
        f.dispatch(CMD_QUIT);
        QVERIFY(!f.helpWindow()->isVisible());
    }
};

QTEST_MAIN(MainFrameTest)
#include "mainframe_test.moc"
