// The connect dialog on the main window against the simulated bus.
#include <QApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "app/ui/MainFrame.h"
#include "app/MenuTable.h"
#include "session/ui/ConnectDialog.h"
#include "platform/PortDevices.h"
#include "shell_ui_support.h"
#include "support/FakeSerialTree.h"
#include "dialog_keys.h"

namespace {

// Runs what a test does with the connect dialog once it is up; gives up
// (with Cancel) after a bounded number of tries so no test can hang.
void whenDialogOpens(const std::function<void(ConnectDialog*)>& act, int triesLeft = 200) {
    QTimer::singleShot(10, [act, triesLeft] {
        auto* dialog = qobject_cast<ConnectDialog*>(QApplication::activeModalWidget());
        if (dialog && dialog->isVisible()) {
            act(dialog);
        } else if (triesLeft > 0) {
            whenDialogOpens(act, triesLeft - 1);
        }
    });
}

}  // namespace

class ConnectDialogTest : public QObject, public ShellTestBed {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void operatorPicksTheSecondDevice() {
        sim->add(5, "FIRST");
        sim->add(0x2a, "SECOND");
        MainFrame f(ctx());
        RecordingOperator op;
        ctx().setOperator(&op);
        f.show();

        QStringList lines;
        QString title, group, prompt;
        whenDialogOpens([&](ConnectDialog* d) {
            title = d->windowTitle();
            group = d->findChild<QGroupBox*>("1200")->title();
            prompt = d->findChild<QLabel*>("1201")->text();
            for (int i = 0; i < d->list()->count(); ++i) lines << d->list()->item(i)->text();
            QCOMPARE(d->list()->currentRow(), 0);
            d->list()->setCurrentRow(1);
            d->buttons()->button(QDialogButtonBox::Ok)->click();
        });
        f.dispatch(CMD_CONNECT);

        QCOMPARE(lines, QStringList({"05>FIRST   ", "2a>SECOND  "}));
        QCOMPARE(title, QString("Service v1.10"));
        QCOMPARE(group, qtext(512));
        QCOMPARE(prompt, qtext(513));
        QVERIFY(f.deviceSelected);
        QCOMPARE(sim->link.Address(), uint8_t(0x2a));
        QVERIFY(op.messages.empty());
        // The panel shows the device; Connect is now disabled, Disconnect enabled.
        QVERIFY(!f.commandAction(CMD_CONNECT)->isEnabled());
        QVERIFY(f.commandAction(CMD_DISCONNECT)->isEnabled());
    }

    // Tab to Cancel and Enter cancels; Enter in the list connects the
    // device picked there (OK is the default).
    void enterPressesTheFocusedButton_data() {
        QTest::addColumn<bool>("onCancel");
        QTest::newRow("Cancel") << true;
        QTest::newRow("list") << false;
    }
    void enterPressesTheFocusedButton() {
        QFETCH(bool, onCancel);
        sim->add(5, "FIRST");
        sim->add(0x2a, "SECOND");
        MainFrame f(ctx());
        RecordingOperator op;
        ctx().setOperator(&op);
        bool reached = false;
        whenDialogOpens([&](ConnectDialog* d) {
            d->list()->setCurrentRow(1);
            QWidget* target = onCancel ? static_cast<QWidget*>(d->buttons()->button(QDialogButtonBox::Cancel))
                                       : d->list();
            reached = onCancel ? tabTo(d, target) : focusOn(d, target);
            pressEnter(d);
            if (d->isVisible()) d->reject();
        });
        f.dispatch(CMD_CONNECT);
        QVERIFY(reached);
        QCOMPARE(f.deviceSelected, !onCancel);
        if (!onCancel) QCOMPARE(sim->link.Address(), uint8_t(0x2a));
        QVERIFY(op.messages.empty());
    }

    void failedSelectionKeepsTheDialogOpen() {
        sim->add(1, "ONE");
        SimDevice& two = sim->add(2, "TWO");
        MainFrame f(ctx());
        RecordingOperator op;
        ctx().setOperator(&op);

        bool stillOpen = false;
        whenDialogOpens([&](ConnectDialog* d) {
            two.mutedKeys.insert(32);             // its identity can no longer be read
            d->list()->setCurrentRow(1);
            d->buttons()->button(QDialogButtonBox::Ok)->click();
            stillOpen = d->isVisible();
            d->buttons()->button(QDialogButtonBox::Cancel)->click();
        });
        f.dispatch(CMD_CONNECT);

        QVERIFY(stillOpen);
        QCOMPARE(op.texts(), std::vector<std::string>{textOf(3)});
        QVERIFY(!f.deviceSelected);
        QVERIFY(sim->link.isOpen());
    }

    void oneDeviceConnectsWithoutTheDialog() {
        sim->add(7, "ALONE");
        MainFrame f(ctx());
        RecordingOperator op;
        ctx().setOperator(&op);
        bool dialogSeen = false;
        whenDialogOpens([&](ConnectDialog* d) {
            dialogSeen = true;
            d->reject();
        }, 20);
        f.dispatch(CMD_CONNECT);
        QVERIFY(f.deviceSelected);
        QCOMPARE(sim->link.Address(), uint8_t(7));
        QTest::qWait(300);
        QVERIFY(!dialogSeen);

        // The menu disconnects it again.
        f.dispatch(CMD_DISCONNECT);
        QVERIFY(!f.deviceSelected);
        QVERIFY(!sim->link.isOpen());
    }

    // COM 1 leads nowhere and one adapter is plugged in: Connect asks once,
    // Yes maps the adapter to COM 1 and goes on to connect.
    void connectOffersTheOneAdapterPresent() {
        sim->add(7, "ALONE");
        FakeSerialTree tree;
        tree.usbPort("ttyUSB0", "1-2", {"FTDI", "FT232R USB UART", "A5X", "0403", "6001"}, "usb-FTDI-A5X");
        ctx().settings.serialRoots = tree.roots();
        MainFrame f(ctx());
        RecordingOperator op;
        op.answers = {true};
        ctx().setOperator(&op);
        f.dispatch(CMD_CONNECT);
        QCOMPARE(int(op.questions.size()), 1);
        QCOMPARE(op.questions[0].text, textOf(0x812c));
        QCOMPARE(portDevicePath(ctx().settings.profilePath, 1), tree.byId("usb-FTDI-A5X"));
        QVERIFY(f.deviceSelected);
    }

    void connectShowsTheWindowsOwnProgressAndComesBack() {
        sim->add(3, "SHOWN");
        MainFrame f(ctx());
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        // Any message box would be a failure here: close it rather than wait.
        QTimer guard;
        int boxes = 0;
        connect(&guard, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                ++boxes;
                box->reject();
            }
        });
        guard.start(20);
        f.dispatch(CMD_CONNECT);
        guard.stop();
        QCOMPARE(boxes, 0);
        QVERIFY(f.deviceSelected);
        QVERIFY(!f.progressWindow());
        QVERIFY(f.isVisible());
        QCOMPARE(f.windowTitle(), QString("Service v1.10"));
        QVERIFY(!QApplication::overrideCursor());
    }
};

QTEST_MAIN(ConnectDialogTest)
#include "connect_test.moc"
