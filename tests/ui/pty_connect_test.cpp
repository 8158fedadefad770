// Connect over the real serial port code: the simulator serves a bus on a
// pseudo-terminal, config.ini maps COM1 to it, and the main window scans,
// lists and selects through termios like on a workstation.
#include <QApplication>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <thread>

#include "app/Application.h"
#include "app/ui/MainFrame.h"
#include "app/MenuTable.h"
#include "session/ui/ConnectDialog.h"
#include "shell_ui_support.h"
#include "sim/PtyServer.h"

class PtyConnectTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void scanListAndSelectThroughATerminal() {
        DeviceLink link;
        AppContext ctx(link);
        ShellInstallation install(ctx.settings);
        SimBus bus;
        std::string error;
        QVERIFY(parseBusText("device 4 VALVE\n version 2\n release 1\n status 0x12\n"
                             "device 17 METER\n version 1\n reg40 99\n",
                             bus, error));
        PtyServer server(bus, PtyServer::Options{});
        QVERIFY2(server.open(error), error.c_str());
        std::thread serving([&server] { server.run(); });

        install.dir().write("config.ini", "[BASIC Configurations]\nlanguage=test\nserial_port=1\n"
                                          "[Port Devices]\ncom1=" + server.path() + "\n");
        usePortDevices(link, ctx.settings);
        RecordingOperator op;
        {
            MainFrame f(ctx);
            ctx.setOperator(&op);
            QStringList lines;
            // Picks the second line once the list is up; the watch gives up
            // after 30 s, and without a list the command returns by itself.
            QTimer::singleShot(0, [&] {
                QTimer* poll = new QTimer(&f);
                int tries = 0;
                connect(poll, &QTimer::timeout, [&, poll] {
                    auto* d = qobject_cast<ConnectDialog*>(QApplication::activeModalWidget());
                    if (d) {
                        for (int i = 0; i < d->list()->count(); ++i) lines << d->list()->item(i)->text();
                        d->list()->setCurrentRow(1);
                        d->buttons()->button(QDialogButtonBox::Ok)->click();
                    }
                    if (d || ++tries > 3000) poll->deleteLater();
                });
                poll->start(10);
            });
            f.dispatch(CMD_CONNECT);

            QCOMPARE(lines, QStringList({"04>VALVE   ", "11>METER   "}));
            QVERIFY(op.messages.empty());
            QVERIFY(f.deviceSelected);
            QCOMPARE(link.Address(), uint8_t(17));
            QCOMPARE(link.Register40(), 99);

            f.pollStatus();
            QCOMPARE(f.lastStatus, 0u);
            bus.device(17)->status = 0x1a2;
            f.pollStatus();
            QCOMPARE(f.lastStatus, 0x1a2u);

            f.dispatch(CMD_DISCONNECT);
            QVERIFY(!link.isOpen());
        }
        link.Close();
        server.stop();
        serving.join();
    }
};

QTEST_MAIN(PtyConnectTest)
#include "pty_connect_test.moc"
