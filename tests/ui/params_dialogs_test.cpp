// The parameter, password and address dialogs on a simulated device.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <climits>
#include <functional>
#include <memory>

#include "session/AppContext.h"
#include "params/ui/AddressDialog.h"
#include "params/ui/ParameterCommandsQt.h"
#include "params/ui/ParameterDialog.h"
#include "params/ui/PasswordDialog.h"
#include "widgets/UpDownQt.h"
#include "support/SimFixture.h"
#include "dialog_keys.h"
#include "texts/TextTable.h"

namespace {

const char* const PumpBus =
    "device 1 PUMP\n"
    " password 1234\n"
    " param 0100 4 1000\n"
    " param 0102 onoff on\n"
    " param 0104 2 200\n"
    " param 0106 8 4000000000\n"
    " end 0108\n";

// The shipped English texts, loaded once.
LanguageTexts& englishTexts() {
    static LanguageTexts texts;
    return texts;
}

QString qtext(uint32_t n) { return QString::fromStdString(englishTexts().messages.Lookup(n)); }

// Acts on the modal dialog of type T once it is up. Tries a bounded number
// of times; if the action leaves the dialog open, it is rejected so that no
// test can hang in exec().
template <typename T>
void whenModal(std::function<void(T*)> act, int triesLeft = 200) {
    QTimer::singleShot(10, [act, triesLeft] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dialog && dialog->isVisible()) {
            act(dialog);
            if (dialog->isVisible()) dialog->reject();
            if (dialog->isVisible()) dialog->done(QDialog::Rejected);
        } else if (triesLeft > 0) {
            whenModal<T>(act, triesLeft - 1);
        }
    });
}

template <typename T>
T* child(QWidget* parent, const char* id) {
    T* w = parent->findChild<T*>(id);
    if (!w) qFatal("no control %s", id);
    return w;
}

void retype(QLineEdit* field, const QString& typed) {
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, typed);
}

}  // namespace

class ParamsDialogsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<SimFixture> fx;
    SimDevice* device = nullptr;

private slots:
    void initTestCase() {
        QApplication::setQuitOnLastWindowClosed(false);
        englishTexts().messages.Load(FS_SOURCE_DIR "/install/messages.eng");
    }
    void init() {
        fx = std::make_unique<SimFixture>(SimFixture::fromText, PumpBus);
        fx->ctx.texts = englishTexts();
        fx->ctx.settings.windowTitle = "Service v1.10";
        QVERIFY(fx->connect(1));
        device = fx->device(1);
    }
    void cleanup() { fx.reset(); }

    void parameterDialogControls() {
        ParameterDialog d(fx->ctx, nullptr, 0);
        QVERIFY(d.start());
        QCOMPARE(d.windowTitle(), QString("Service v1.10"));
        QCOMPARE(child<QGroupBox>(&d, "1400")->title(), qtext(1024));
        QCOMPARE(child<QGroupBox>(&d, "1401")->title(), qtext(1025));
        QCOMPARE(child<QLabel>(&d, "1404")->text(), qtext(1028));
        QCOMPARE(child<QLabel>(&d, "1405")->text(), qtext(1029));
        QCOMPARE(child<QGroupBox>(&d, "1406")->title(), qtext(1030));
        QCOMPARE(child<QGroupBox>(&d, "1408")->title(), qtext(1032));
        QCOMPARE(child<QPushButton>(&d, "1411")->text(), qtext(1041));
        QVERIFY(child<QPushButton>(&d, "1411")->isDefault());
        QCOMPARE(child<QPushButton>(&d, "1")->text(), QString("&OK"));

        for (const char* id : {"1402", "1409"}) {
            QFont f = child<QLineEdit>(&d, id)->font();
            QCOMPARE(f.pixelSize(), 24);
            QCOMPARE(f.weight(), QFont::Bold);
            QCOMPARE(child<QLineEdit>(&d, id)->alignment(), Qt::AlignCenter);
        }
        auto* description = child<QPlainTextEdit>(&d, "1407");
        QCOMPARE(description->font().pixelSize(), 20);
        QVERIFY(description->isReadOnly());
        auto* upDown = child<UpDownControl>(&d, "1403");
        QCOMPARE(upDown->minimum(), 256);
        QCOMPARE(upDown->maximum(), 32638);

        QStringList labels;
        for (QLabel* l : d.findChildren<QLabel*>()) labels << l->text();
        for (const char* fixed : {"0%", "100%", "OFF", "ON"}) QVERIFY2(labels.contains(fixed), fixed);

        // Opened at 0x0100 (the frame's default).
        QCOMPARE(child<QLineEdit>(&d, "1402")->text(), QString("0100"));
        QCOMPARE(child<QLineEdit>(&d, "1409")->text(), QString("1000"));
        QCOMPARE(child<QSlider>(&d, "1410")->maximum(), 65535);
        QCOMPARE(child<QSlider>(&d, "1410")->value(), 1000);
        QVERIFY(!child<QPushButton>(&d, "1411")->isEnabled());

        QCOMPARE(ParameterDialog(fx->ctx, nullptr, -1).findChild<QGroupBox*>("1400")->title(), qtext(1063));
    }

    void typingDrivesTheModel() {
        ParameterDialog d(fx->ctx, nullptr, 0);
        QVERIFY(d.start());
        d.show();
        auto* number = child<QLineEdit>(&d, "1402");
        auto* value = child<QLineEdit>(&d, "1409");
        auto* slider = child<QSlider>(&d, "1410");
        auto* send = child<QPushButton>(&d, "1411");

        retype(number, "1");          // 0x0001: rejected, fields emptied
        QCOMPARE(value->text(), QString());
        QVERIFY(!slider->isEnabled());
        QCOMPARE(number->text(), QString("1"));
        QTest::keyClicks(number, "04");
        QCOMPARE(number->text(), QString("0104"));
        QCOMPARE(value->text(), QString("200"));
        QVERIFY(slider->isEnabled());

        retype(value, "999");
        QCOMPARE(value->text(), QString("999"));   // as typed, the note says what goes out
        QCOMPARE(slider->value(), 255);
        auto* note = child<QLabel>(&d, "1412");
        QVERIFY(note->text().contains("set to 255"));
        QVERIFY(send->isEnabled());
        // The Enter that ends the typing shows the value to send and sends nothing.
        QTest::keyClick(value, Qt::Key_Return);
        QCOMPARE(value->text(), QString("255"));
        QVERIFY(note->text().contains("255 will be sent"));
        QCOMPARE(fx->param(1, 0x0104), std::optional<uint32_t>(200));
        QTest::keyClicks(value, "x");   // digits only
        QCOMPARE(value->text(), QString("255"));

        slider->setValue(17);           // as a drag would
        QCOMPARE(value->text(), QString("17"));
        QVERIFY(note->text().isEmpty());
        send->click();
        QCOMPARE(fx->param(1, 0x0104), std::optional<uint32_t>(17));
        QVERIFY(!send->isEnabled());
        QVERIFY(number->hasFocus() || !d.isActiveWindow());
    }

    void arrowsClicksAndWideValues() {
        ParameterDialog d(fx->ctx, nullptr, 0);
        QVERIFY(d.start());
        d.show();
        auto* upDown = child<UpDownControl>(&d, "1403");
        auto* value = child<QLineEdit>(&d, "1409");
        auto* slider = child<QSlider>(&d, "1410");

        upDown->upButton()->click();
        QCOMPARE(child<QLineEdit>(&d, "1402")->text(), QString("0102"));
        QCOMPARE(upDown->position(), 0x0102);
        QCOMPARE(value->text(), qtext(32));
        QVERIFY(value->isReadOnly());
        QTest::mouseClick(value, Qt::LeftButton);
        QCOMPARE(value->text(), qtext(33));
        QCOMPARE(slider->value(), 0);
        QVERIFY(child<QPushButton>(&d, "1411")->isEnabled());

        upDown->upButton()->click();
        upDown->upButton()->click();
        QCOMPARE(child<QLineEdit>(&d, "1402")->text(), QString("0106"));
        QCOMPARE(value->text(), QString("4000000000"));
        // Beyond the slider's int range: its right end is still the maximum.
        QCOMPARE(slider->maximum(), INT_MAX);
        slider->setValue(slider->maximum());
        QCOMPARE(value->text(), QString("4294967295"));
        QCOMPARE(d.model().view().sliderPosition, 4294967295u);

        upDown->upButton()->click();
        QCOMPARE(child<QPlainTextEdit>(&d, "1407")->toPlainText(), qtext(1060));
        QVERIFY(!slider->isEnabled());
    }

    void everyCloseRestarts() {
        {
            ParameterDialog d(fx->ctx, nullptr, 0);
            QVERIFY(d.start());
            d.show();
            QTest::keyClick(&d, Qt::Key_Escape);
            QVERIFY(!d.isVisible());
            QCOMPARE(device->restarts, 1u);
        }
        {
            ParameterDialog d(fx->ctx, nullptr, 0);
            QVERIFY(d.start());
            d.show();
            QVERIFY(d.close());
            QVERIFY(!d.isVisible());
            QCOMPARE(device->restarts, 2u);
        }
    }

    void parameterCommandClearsIdleWhileOpen() {
        bool idleWhileOpen = true;
        QString shownNumber;
        whenModal<ParameterDialog>([&](ParameterDialog* d) {
            idleWhileOpen = fx->frame.idle;
            shownNumber = child<QLineEdit>(d, "1402")->text();
            child<QPushButton>(d, "1")->click();
        });
        fx->frame.currentParameterNumber = 0x0104;
        runParameterDialog(fx->ctx, nullptr, 0);
        QVERIFY(!idleWhileOpen);
        QCOMPARE(shownNumber, QString("0104"));
        QVERIFY(fx->frame.idle);
        QCOMPARE(device->restarts, 1u);
        QVERIFY(fx->op.messages.empty());

        // Access refused: the dialog never shows and nothing restarts.
        device->mutedKeys.insert(62);
        runParameterDialog(fx->ctx, nullptr, 0);
        QCOMPARE(device->restarts, 1u);
        QCOMPARE(fx->op.messages.size(), size_t(1));
        QCOMPARE(QString::fromStdString(fx->op.messages[0].text), qtext(1057));
        QVERIFY(fx->frame.idle);
    }

    void passwordDialogMasksAndLimits() {
        PasswordDialog d(fx->ctx, nullptr, 1234);
        QCOMPARE(d.windowTitle(), QString("Service v1.10"));
        QCOMPARE(child<QGroupBox>(&d, "1500")->title(), qtext(1280));
        QCOMPARE(child<QLabel>(&d, "1501")->text(), qtext(1281));
        auto* field = child<QLineEdit>(&d, "1502");
        QCOMPARE(field->echoMode(), QLineEdit::Password);
        QCOMPARE(field->text(), QString("1234"));
        QCOMPARE(field->font().pixelSize(), 24);
        QCOMPARE(child<QPushButton>(&d, "1")->text(), QString("&OK"));
        QCOMPARE(child<QPushButton>(&d, "2")->text(), QString("&Cancel"));
        retype(field, "12a34-56789");
        QCOMPARE(field->text(), QString("12345"));
        QCOMPARE(d.value(), 12345u);
        retype(field, "");
        QCOMPARE(d.value(), 0u);
        QCOMPARE(PasswordDialog(fx->ctx, nullptr, 0).field()->text(), QString());
    }

    // A stored password longer than the five digits the operator may type is
    // shown whole, and OK without a change sends nothing and restarts nothing.
    void aLongStoredPasswordIsShownWholeAndKept() {
        device->password = 123456;
        fx->link.password = 123456;
        QString shown;
        whenModal<PasswordDialog>([&](PasswordDialog* d) {
            shown = d->field()->text();
            child<QPushButton>(d, "1")->click();
        });
        runPasswordCommand(fx->ctx, nullptr, true);
        QCOMPARE(shown, QString("123456"));
        QCOMPARE(fx->writes(1, 0x30), 0u);
        QCOMPARE(device->restarts, 0u);

        // Typing stays limited: no seventh digit, and a retyped one has five.
        PasswordDialog d(fx->ctx, nullptr, 123456);
        d.field()->setFocus();
        QTest::keyClick(d.field(), Qt::Key_End);
        QTest::keyClicks(d.field(), "7");
        QCOMPARE(d.field()->text(), QString("123456"));
        retype(d.field(), "9876543");
        QCOMPARE(d.field()->text(), QString("98765"));
    }

    void passwordCommandThroughTheDialog() {
        whenModal<PasswordDialog>([](PasswordDialog* d) {
            retype(d->field(), "42");
            child<QPushButton>(d, "1")->click();
        });
        runPasswordCommand(fx->ctx, nullptr, true);
        QCOMPARE(device->password, 42u);
        QCOMPARE(device->restarts, 1u);
        QVERIFY(fx->frame.idle);

        whenModal<PasswordDialog>([](PasswordDialog* d) {
            retype(d->field(), "7");
            QTest::keyClick(d, Qt::Key_Escape);
        });
        runPasswordCommand(fx->ctx, nullptr, false);
        QCOMPARE(device->password, 42u);
        QCOMPARE(device->restarts, 1u);
    }

    // Enter presses the button that has the focus (Tab to it), and the
    // default button when the focus is on a field or the arrows.
    void enterPressesTheFocusedButton_data() {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("tab");
        QTest::newRow("password, Cancel") << "password" << "2" << true;
        QTest::newRow("password, field") << "password" << "1502" << false;
        QTest::newRow("address, arrows") << "address" << "1903" << false;
        QTest::newRow("parameter, OK") << "parameter" << "1" << true;
        QTest::newRow("parameter, value") << "parameter" << "1409" << false;
    }
    void enterPressesTheFocusedButton() {
        QFETCH(QString, dialog);
        QFETCH(QString, focus);
        QFETCH(bool, tab);
        const QByteArray id = focus.toLatin1();
        bool reached = false;
        auto enterOn = [&](QDialog* d) {
            QWidget* target = child<QWidget>(d, id.constData());
            reached = tab ? tabTo(d, target) : focusOn(d, target);
            pressEnter(d);
        };
        const bool defaultButton = !tab;   // the field rows press the default
        if (dialog == "password") {
            whenModal<PasswordDialog>([&](PasswordDialog* d) {
                retype(d->field(), "42");
                enterOn(d);
            });
            runPasswordCommand(fx->ctx, nullptr, true);
            QVERIFY(reached);
            QCOMPARE(device->password, defaultButton ? 42u : 1234u);
            QCOMPARE(device->restarts, defaultButton ? 1u : 0u);
        } else if (dialog == "address") {
            whenModal<AddressDialog>([&](AddressDialog* d) {
                d->upDown()->upButton()->click();   // 0x01 -> 0x02
                enterOn(d);
            });
            runAddressCommand(fx->ctx, nullptr);
            QVERIFY(reached);
            QCOMPARE(fx->link.selectedAddress, uint8_t(defaultButton ? 0x02 : 0x01));
            QCOMPARE(fx->writes(defaultButton ? 0x02 : 0x01, 0x3C), defaultButton ? 1u : 0u);
        } else {
            bool openAfterEnter = false;
            whenModal<ParameterDialog>([&](ParameterDialog* d) {
                retype(child<QLineEdit>(d, "1409"), "5");
                enterOn(d);
                openAfterEnter = d->isVisible();
            });
            runParameterDialog(fx->ctx, nullptr, 0);
            QVERIFY(reached);
            // The field sends (the default) and the dialog stays; OK closes
            // without sending. Either way the close restarts the device.
            QCOMPARE(fx->param(1, 0x0100), std::optional<uint32_t>(defaultButton ? 5 : 1000));
            QCOMPARE(openAfterEnter, defaultButton);
            QCOMPARE(device->restarts, 1u);
        }
    }

    void addressDialogSteps() {
        AddressDialog d(fx->ctx, nullptr, 0x02);
        QCOMPARE(d.windowTitle(), QString("Service v1.10"));
        QCOMPARE(child<QGroupBox>(&d, "1900")->title(), qtext(2304));
        QCOMPARE(child<QLabel>(&d, "1901")->text(), qtext(2305));
        QLabel* label = child<QLabel>(&d, "1902");
        QCOMPARE(label->text(), QString("02"));
        QCOMPARE(label->font().pixelSize(), 24);
        QVERIFY(label->frameShape() == QFrame::Box);
        auto* upDown = child<UpDownControl>(&d, "1903");
        QCOMPARE(upDown->minimum(), 1);
        QCOMPARE(upDown->maximum(), 62);
        upDown->upButton()->click();
        QCOMPARE(label->text(), QString("04"));
        upDown->downButton()->click();
        QCOMPARE(label->text(), QString("02"));
        upDown->downButton()->click();
        upDown->downButton()->click();   // at the bottom: nothing
        QCOMPARE(label->text(), QString("01"));

        AddressDialog even(fx->ctx, nullptr, 0x03);   // a device found at 0x03
        QCOMPARE(even.addressLabel()->text(), QString("03"));
        QCOMPARE(even.address(), uint8_t(0x03));
    }

    void addressCommandThroughTheDialog() {
        whenModal<AddressDialog>([](AddressDialog* d) {
            d->upDown()->upButton()->click();   // 0x01 -> 0x02
            d->upDown()->upButton()->click();   // -> 0x04 (0x03 has two one bits)
            child<QPushButton>(d, "1")->click();
        });
        runAddressCommand(fx->ctx, nullptr);
        QCOMPARE(fx->link.selectedAddress, uint8_t(0x04));
        QCOMPARE(fx->device(0x04), device);
        QVERIFY(fx->frame.idle);
        QCOMPARE(device->restarts, 0u);
    }
};

QTEST_MAIN(ParamsDialogsTest)
#include "params_dialogs_test.moc"
