// The options and credits dialogs on a screen: what they show for a given
// configuration, what OK writes, and that a new language reaches the main
// window and the credits at once.
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include "session/AppContext.h"
#include "app/ui/CreditsDialog.h"
#include "app/Installation.h"
#include "app/ui/MainFrame.h"
#include "app/MenuTable.h"
#include "app/ui/OptionsDialog.h"
#include "link/DeviceLink.h"
#include "platform/Profile.h"
#include "support/FakeSerialTree.h"
#include "support/Support.h"
#include "texts/TextTable.h"
#include "dialog_keys.h"

namespace {

// An installation whose texts name their language and number ("ita 384"),
// entered as the current directory, with a device link installed.
class Installation {
public:
    // extra: further language codes; "ITA" is written as messages.ITA.
    explicit Installation(const std::string& config, std::vector<std::string> extra = {}) {
        startDir_ = std::filesystem::current_path();
        language("eng");
        language("ita");
        for (const std::string& code : extra) language(code);
        dir.write("config.ini", "[BASIC Configurations]\n" + config);
        std::filesystem::current_path(dir.path());
        InitInstallDirectory(ctx.settings);
        loadInstallationCore(ctx);
    }
    ~Installation() { std::filesystem::current_path(startDir_); }
    void language(const std::string& code) {
        std::string content = "0>" + code + " Service<END>\n";
        for (unsigned n = 1; n <= 33100; ++n) {
            if (n > 1100 && n < 32768) continue;
            char entry[64];
            std::snprintf(entry, sizeof entry, "%X>%s %u<END>\n", n, code.c_str(), n);
            content += entry;
        }
        dir.write("messages." + code, content);
    }
    std::string key(const char* name) const {
        return profileString(dir.file("config.ini"), "BASIC Configurations", name, "<missing>");
    }

    TempDir dir;
    DeviceLink link;
    RecordingOperator op;
    AppContext ctx{link, &op};

private:
    std::filesystem::path startDir_;
};

template <typename W>
W* child(QWidget* dialog, const char* id) {
    W* w = dialog->findChild<W*>(QString::fromLatin1(id));
    if (!w) qFatal("no control %s", id);
    return w;
}

QString selectedEntry(QListWidget* list) {
    QList<QListWidgetItem*> items = list->selectedItems();
    return items.isEmpty() ? QString() : items.first()->text();
}

// Runs act on the modal dialog of type D once it is up. Polling stops after
// five seconds; a dialog that act left open is rejected two seconds later,
// so the test never hangs.
template <typename D>
void whenModal(std::function<void(D*)> act) {
    auto* poll = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, act, tries] {
        auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
        if (!dialog && ++*tries < 500) return;
        poll->stop();
        poll->deleteLater();
        if (!dialog) return;
        QPointer<D> guard(dialog);
        act(dialog);
        QTimer::singleShot(2000, [guard] {
            if (guard && guard->isVisible()) guard->reject();
        });
    });
    poll->start(10);
}

}  // namespace

class OptionsCreditsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void showsTheConfiguration() {
        // messages.ita and messages.ITA: one code twice on this file system.
        Installation inst("language=ITA\nserial_port=5\nconnect_on_startup=1\n", {"ITA"});
        OptionsDialog dialog(inst.ctx, nullptr, [] { return true; });
        QCOMPARE(dialog.windowTitle(), QString("ITA Service v1.10"));
        QCOMPARE(child<QGroupBox>(&dialog, "1180")->title(), QString("ITA 384"));
        QCOMPARE(child<QLabel>(&dialog, "1181")->text(), QString("ITA 385"));
        QCOMPARE(child<QLabel>(&dialog, "1183")->text(), QString("ITA 387"));
        QCOMPARE(child<QCheckBox>(&dialog, "1185")->text(), QString("ITA 389"));
        auto* languages = child<QListWidget>(&dialog, "1182");
        QCOMPARE(languages->count(), 2);
        QCOMPARE(languages->item(0)->text(), QString("eng"));
        QCOMPARE(languages->item(1)->text(), QString("ita"));
        QCOMPARE(selectedEntry(languages), QString("ita"));
        auto* ports = child<QListWidget>(&dialog, "1184");
        QCOMPARE(ports->count(), 24);
        QCOMPARE(selectedEntry(ports), QString("COM 05"));
        QVERIFY(child<QCheckBox>(&dialog, "1185")->isChecked());
        // The load's backup and read-back: on unless config.ini says 0.
        QVERIFY(child<QCheckBox>(&dialog, "1186")->isChecked());
        QVERIFY(child<QCheckBox>(&dialog, "1187")->isChecked());
        QVERIFY(child<QCheckBox>(&dialog, "1188")->isChecked());   // confirming reads: on unless 0
        QVERIFY(child<QPushButton>(&dialog, "2")->isDefault());
        QVERIFY(!child<QPushButton>(&dialog, "1")->isDefault());
        QCOMPARE(child<QPushButton>(&dialog, "2")->text(), QString("&Cancel"));
        QCOMPARE(child<QPushButton>(&dialog, "1")->text(), QString("&OK"));
    }

    void portOutsideTheListWritesZero() {
        Installation inst("language=eng\nserial_port=30\n");
        OptionsDialog dialog(inst.ctx, nullptr, [] { return true; });
        QCOMPARE(selectedEntry(child<QListWidget>(&dialog, "1184")), QString());
        child<QCheckBox>(&dialog, "1185")->setChecked(true);
        child<QCheckBox>(&dialog, "1187")->setChecked(false);
        child<QCheckBox>(&dialog, "1188")->setChecked(false);
        dialog.accept();
        QCOMPARE(inst.key("serial_port"), std::string("0"));
        QCOMPARE(inst.key("connect_on_startup"), std::string("1"));
        QCOMPARE(inst.key("backup_before_load"), std::string("1"));
        QCOMPARE(inst.key("verify_after_load"), std::string("0"));
        QVERIFY(inst.ctx.settings.backupBeforeLoad);
        QVERIFY(!inst.ctx.settings.verifyAfterLoad);
        QCOMPARE(inst.key("confirm_save_reads"), std::string("0"));
        QVERIFY(!inst.ctx.settings.confirmSaveReads);
    }

    // A click with Ctrl on the chosen port does not leave the list empty.
    void oneSerialPortStaysChosen() {
        Installation inst("language=eng\nserial_port=3\n");
        OptionsDialog dialog(inst.ctx, nullptr, [] { return true; });
        auto* ports = child<QListWidget>(&dialog, "1184");
        const QRect third = ports->visualItemRect(ports->item(2));
        QTest::mouseClick(ports->viewport(), Qt::LeftButton, Qt::ControlModifier, third.center());
        QCOMPARE(ports->selectedItems().size(), 1);
        dialog.accept();
        QCOMPARE(inst.key("serial_port"), std::string("3"));
    }

    // An adapter plugged in while the dialog is open shows after Refresh;
    // choosing it maps it to the chosen COM port by its stable name.
    void refreshFindsAnAdapterAndChoosingItMapsIt() {
        FakeSerialTree tree;
        tree.builtInPort("ttyS0", "4");
        Installation inst("language=eng\nserial_port=2\n");
        writeProfileString(inst.ctx.settings.profilePath, "Port Devices", "com2", tree.dev("ttyUSB0"));
        OptionsDialog dialog(inst.ctx, nullptr, [] { return true; }, tree.roots());
        dialog.show();
        auto* ports = child<QListWidget>(&dialog, "1184");
        auto* devices = child<QListWidget>(&dialog, "1191");
        QCOMPARE(devices->count(), 1);
        const QString absent = QString::fromStdString(tree.dev("ttyUSB0") + " (eng 33059)");
        QCOMPARE(ports->item(1)->data(Qt::UserRole + 1).toString(), absent);

        const std::string id = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
        tree.usbPort("ttyUSB0", "1-2", {"FTDI", "FT232R USB UART", "A50285BI", "0403", "6001"}, id);
        child<QPushButton>(&dialog, "1192")->click();
        QCOMPARE(devices->count(), 2);
        QCOMPARE(selectedEntry(ports), QString("COM 02"));
        // COM 02 already leads to the adapter, so the adapter is selected.
        QCOMPARE(devices->currentRow(), 0);

        // COM 04 and a click on the adapter.
        ports->setCurrentRow(3);
        QCOMPARE(devices->selectedItems().size(), 0);
        devices->scrollToItem(devices->item(0));
        QTest::mouseClick(devices->viewport(), Qt::LeftButton, Qt::NoModifier,
                          devices->visualItemRect(devices->item(0)).center());
        QCOMPARE(ports->item(3)->data(Qt::UserRole + 1).toString(),
                 QString::fromStdString(tree.byId(id) + " (eng 33058)"));

        // Refresh keeps the chosen port.
        child<QPushButton>(&dialog, "1192")->click();
        QCOMPARE(selectedEntry(ports), QString("COM 04"));
        dialog.accept();
        QCOMPARE(inst.key("serial_port"), std::string("4"));
        QCOMPARE(profileString(inst.ctx.settings.profilePath, "Port Devices", "com4", ""), tree.byId(id));
        QCOMPARE(profileString(inst.ctx.settings.profilePath, "Port Devices", "com2", ""), tree.dev("ttyUSB0"));
    }

    // A path typed beside the list maps to the chosen COM port, by Enter in
    // the field (which does not reach Cancel) or by the button.
    void typedPathMapsToTheChosenPort() {
        FakeSerialTree tree;
        tree.link("bus0", "/dev/null");
        const std::string bus = tree.dir.file("bus0");
        Installation inst("language=eng\nserial_port=2\n");
        OptionsDialog dialog(inst.ctx, nullptr, [] { return true; }, tree.roots());
        dialog.show();
        auto* ports = child<QListWidget>(&dialog, "1184");
        auto* path = child<QLineEdit>(&dialog, "1194");
        QCOMPARE(path->text(), QString("/dev/ttyS1"));   // what COM 02 leads to now
        path->setText(QString::fromStdString(bus));
        QVERIFY(focusOn(&dialog, path));
        pressEnter(&dialog);
        QVERIFY(dialog.isVisible());
        QCOMPARE(ports->item(1)->data(Qt::UserRole + 1).toString(), QString::fromStdString(bus + " (eng 33058)"));
        ports->setCurrentRow(4);
        path->setText(" /dev/ttyXYZ9 ");
        child<QPushButton>(&dialog, "1195")->click();
        QCOMPARE(ports->item(4)->data(Qt::UserRole + 1).toString(), QString("/dev/ttyXYZ9 (eng 33059)"));
        dialog.accept();
        QCOMPARE(profileString(inst.ctx.settings.profilePath, "Port Devices", "com2", ""), bus);
    }

    // Cancel is this dialog's default: Enter in a list cancels, Tab to OK
    // and Enter writes the configuration.
    void enterPressesTheFocusedButton_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("tab");
        QTest::newRow("OK") << "1" << true;
        QTest::newRow("language list") << "1182" << false;
    }
    void enterPressesTheFocusedButton() {
        QFETCH(QString, focus);
        QFETCH(bool, tab);
        Installation inst("language=eng\nserial_port=2\n");
        const std::string before = inst.dir.read("config.ini");
        int reloads = 0;
        OptionsDialog dialog(inst.ctx, nullptr, [&] { ++reloads; return true; });
        dialog.show();
        child<QListWidget>(&dialog, "1184")->setCurrentRow(4);
        QWidget* target = child<QWidget>(&dialog, focus.toLatin1().constData());
        QVERIFY(tab ? tabTo(&dialog, target) : focusOn(&dialog, target));
        pressEnter(&dialog);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), tab ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QCOMPARE(reloads, tab ? 1 : 0);
        if (tab) QCOMPARE(inst.key("serial_port"), std::string("5"));
        else QCOMPARE(inst.dir.read("config.ini"), before);
    }

    void cancelChangesNothing() {
        Installation inst("language=eng\nserial_port=2\n");
        std::string before = inst.dir.read("config.ini");
        int reloads = 0;
        OptionsDialog dialog(inst.ctx, nullptr, [&] { ++reloads; return true; });
        child<QListWidget>(&dialog, "1182")->setCurrentRow(1);
        child<QPushButton>(&dialog, "2")->click();
        QCOMPARE(reloads, 0);
        QCOMPARE(inst.dir.read("config.ini"), before);
        QCOMPARE(inst.ctx.settings.language, std::string("eng"));
    }

    // The whole way from the menu: command 40003, a new language, OK.
    void newLanguageRetitlesTheWindowAtOnce() {
        Installation inst("language=eng\nserial_port=1\n");
        MainFrame frame(inst.ctx);
        QCOMPARE(frame.windowTitle(), QString("eng Service v1.10"));
        QCOMPARE(frame.menu(0)->title(), QString("eng 128"));
        whenModal<OptionsDialog>([](OptionsDialog* d) {
            auto* languages = child<QListWidget>(d, "1182");
            languages->setCurrentRow(1);   // ita
            child<QListWidget>(d, "1184")->setCurrentRow(2);
            child<QPushButton>(d, "1")->click();
        });
        frame.dispatch(CMD_OPTIONS);
        QCOMPARE(inst.key("language"), std::string("ita"));
        QCOMPARE(inst.key("serial_port"), std::string("3"));
        QCOMPARE(frame.windowTitle(), QString("ita Service v1.10"));
        QCOMPARE(frame.menu(0)->title(), QString("ita 128"));
        QCOMPARE(frame.menu(1)->title(), QString("ita 144"));
        QCOMPARE(frame.statusText()->text(), QString("ita 32896"));
        QCOMPARE(inst.ctx.settings.serialPort, uint8_t(3));
    }

    void creditsFollowTheLanguage() {
        Installation inst("language=eng\n");
        {
            CreditsDialog credits(inst.ctx, nullptr);
            QCOMPARE(credits.windowTitle(), QString("eng Service v1.10"));
            QCOMPARE(child<QGroupBox>(&credits, "1100")->title(), QString("eng 256"));
            QCOMPARE(child<QLabel>(&credits, "1101")->text(), QString("eng 257"));
            QCOMPARE(child<QLabel>(&credits, "1102")->text(), QString("eng 258"));
            QCOMPARE(child<QLabel>(&credits, "1103")->text(), QString("eng 259"));
            QCOMPARE(child<QLabel>(&credits, "1105")->text(), QString("eng 261"));
            QCOMPARE(child<QLabel>(&credits, "1107")->text(), QString("eng 263"));
            QCOMPARE(child<QLabel>(&credits, "1106")->text(), QString("Jun, 2008"));
            QCOMPARE(child<QLabel>(&credits, "1104")->text(), QString(creditsAuthorLine));
            QFont bold = child<QLabel>(&credits, "1101")->font();
            QCOMPARE(bold.pixelSize(), 20);
            QVERIFY(bold.bold());
            QVERIFY(!child<QLabel>(&credits, "1102")->font().bold());
            QPixmap picture = child<QLabel>(&credits, "1110")->pixmap();
            QCOMPARE(picture.size(), QSize(480, 103));
            // The frame holds the whole picture.
            QLabel* frame = child<QLabel>(&credits, "1110");
            QVERIFY(frame->contentsRect().width() >= 480);
            QVERIFY(frame->contentsRect().height() >= 103);
        }
        writeProfileString(inst.ctx.settings.profilePath, "BASIC Configurations", "language", "ita");
        QCOMPARE(int(loadInstallationCore(inst.ctx)), int(LoadResult::Ok));
        CreditsDialog credits(inst.ctx, nullptr);
        QCOMPARE(child<QGroupBox>(&credits, "1100")->title(), QString("ita 256"));
        QCOMPARE(child<QLabel>(&credits, "1103")->text(), QString("ita 259"));
        QCOMPARE(child<QLabel>(&credits, "1106")->text(), QString("Jun, 2008"));
    }

    void creditsCloseWithOk() {
        Installation inst("language=eng\n");
        whenModal<CreditsDialog>([](CreditsDialog* d) { child<QPushButton>(d, "1")->click(); });
        runCreditsDialog(inst.ctx, nullptr);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }
};

QTEST_MAIN(OptionsCreditsTest)
#include "options_credits_test.moc"
