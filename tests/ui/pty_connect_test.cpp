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
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <thread>

#include "app/Application.h"
#include "app/ui/MainFrame.h"
#include "app/MenuTable.h"
#include "session/ui/ConnectDialog.h"
#include "shell_ui_support.h"
#include "platform/TermiosPort.h"
#include "sim/PtyServer.h"

namespace {

// A line that goes and comes back, reached through a link that stands for
// the adapter's by-id name: the simulator in process with its adapter
// pulled out, or fieldsim's server on a pseudo-terminal whose side is
// closed (the terminal hangs up) and opened anew.
struct LostLine {
    explicit LostLine(bool terminal) : terminal(terminal) {
        sim.add(5, "PUMP");
        std::string error;
        parseBusText("device 5 PUMP\n version 2\n status 0x21\n", bus, error);
        auto port = std::make_unique<TermiosPort>();
        port->setLockDirectory(locks.path());
        termiosLink.setTransport(std::move(port));
        bringBack();
    }
    ~LostLine() { lose(); }
    DeviceLink& link() { return terminal ? termiosLink : sim.link; }
    std::string byId() const { return dir.file("usb-adapter-if00"); }
    void lose() {
        std::filesystem::remove(byId());
        sim.line->unplugged = true;
        if (!server) return;
        server->stop();
        serving.join();
        server.reset();
    }
    void bringBack() {
        sim.line->unplugged = false;
        std::string target = "/dev/null";
        if (terminal) {
            server = std::make_unique<PtyServer>(bus, PtyServer::Options{});
            std::string error;
            if (server->open(error)) serving = std::thread([this] { server->run(); });
            target = server->path();
        }
        std::filesystem::create_symlink(target, byId());
    }

    bool terminal;
    TempDir dir, locks;
    SimulatedBus sim;
    SimBus bus;
    DeviceLink termiosLink;
    std::unique_ptr<PtyServer> server;
    std::thread serving;
};

}  // namespace

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

    // An adapter pulled while connected: whatever finds it out (the poll, a
    // restart's handshake) closes the port at once, says so once, and the
    // window offers to connect again when the same adapter is back.
    void portLossIsToldOnceAndConnectWorksAgain_data() {
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<bool>("restart");
        QTest::newRow("simulator, poll") << false << false;
        QTest::newRow("simulator, restart") << false << true;
        QTest::newRow("terminal, poll") << true << false;
        QTest::newRow("terminal, restart") << true << true;
    }
    void portLossIsToldOnceAndConnectWorksAgain() {
        QFETCH(bool, terminal);
        QFETCH(bool, restart);
        LostLine line(terminal);
        DeviceLink& link = line.link();
        AppContext ctx(link);
        ShellInstallation install(ctx.settings);
        link.setPortResolver([&line](unsigned) { return line.byId(); });
        RecordingOperator op;
        MainFrame f(ctx);
        ctx.setOperator(&op);
        f.dispatch(CMD_CONNECT);
        QVERIFY(f.deviceSelected);
        const uint8_t selected = link.selectedAddress;

        line.lose();
        op.answers = {true};   // to the restart's question
        restart ? f.dispatch(CMD_RESTART) : f.pollStatus();
        QVERIFY(link.portLost() && !link.isOpen() && (link.resultField() & PortFailure));
        QVERIFY(std::filesystem::is_empty(line.locks.path()));
        f.pollStatus();
        QCOMPARE(op.texts(), std::vector<std::string>{textOf(0x811B)});
        QCOMPARE(f.panelRowsNow().at(PANEL_STATUS_ROW).value, textOf(0x811C));
        QCOMPARE(f.panelRowsNow().at(PANEL_ADDRESS_ROW).value, formatAddress(selected));   // as last seen
        QVERIFY(!f.deviceSelected);
        QVERIFY(f.commandAction(CMD_CONNECT)->isEnabled());

        line.bringBack();
        op.answers = {true};
        f.pollStatus();
        QCOMPARE(op.questions.back().text, textOf(0x811D));
        QVERIFY(f.deviceSelected && link.isOpen());
        QCOMPARE(op.texts().size(), size_t(1));
        f.dispatch(CMD_DISCONNECT);
        QVERIFY(std::filesystem::is_empty(line.locks.path()));
    }
};

QTEST_MAIN(PtyConnectTest)
#include "pty_connect_test.moc"
