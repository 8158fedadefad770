// The parameter table and the comparison windows on a simulated device,
// with the shipped English texts.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QMessageBox>
#include <QPointer>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "files/Compare.h"
#include "files/ui/CompareDialog.h"
#include "files/ui/FileCommandsQt.h"
#include "params/ui/ParameterTableDialog.h"
#include "support/SimFixture.h"
#include "texts/TextTable.h"

namespace {

const char* const Bus =
    "device 1 PUMP\n"
    " param 0100 4 1000\n"
    " param 0102 onoff on\n"
    " param 0104 2 200 ext\n"
    " param 0200 4 9\n"
    " param 0204 4 10\n"
    " end 0206\n";

int visibleRows(QTableWidget* table) {
    int n = 0;
    for (int r = 0; r < table->rowCount(); ++r) n += table->isRowHidden(r) ? 0 : 1;
    return n;
}

int rowOf(QTableWidget* table, const QString& number) {
    for (int r = 0; r < table->rowCount(); ++r)
        if (table->item(r, 0)->text() == number) return r;
    return -1;
}

}  // namespace

class TableCompareTest : public QObject {
    Q_OBJECT
    std::unique_ptr<SimFixture> fx;
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() {
        fx = std::make_unique<SimFixture>(SimFixture::fromText, Bus);
        QVERIFY(fx->ctx.texts.messages.Load(FS_SOURCE_DIR "/install/messages.eng"));
        QVERIFY(fx->connect(1));
        fx->op.clear();
    }
    void cleanup() { fx.reset(); }

    void tableFiltersEditsAndWrites() {
        ParameterTableDialog dialog(fx->ctx, nullptr, nullptr);
        QVERIFY(dialog.start());
        QTableWidget* table = dialog.table();
        QCOMPARE(table->rowCount(), 5);
        QVERIFY(!dialog.partialLabel()->isVisible());

        dialog.filterBox()->setText("020");
        QCOMPARE(visibleRows(table), 2);
        dialog.filterBox()->clear();
        QCOMPARE(visibleRows(table), 5);

        // Sorted by value, descending: the largest first.
        table->sortByColumn(ParameterTableDialog::ValueColumn, Qt::DescendingOrder);
        QCOMPARE(table->item(0, 0)->text(), QString("0100"));

        QVERIFY(!dialog.writeButton()->isEnabled());
        QTableWidgetItem* value = table->item(rowOf(table, "0104"), ParameterTableDialog::ValueColumn);
        value->setText("300");
        QCOMPARE(value->text(), QString("255"));
        QVERIFY(dialog.writeButton()->isEnabled());
        QVERIFY(!dialog.noteLabel()->text().isEmpty());   // says it was clamped
        // A typo is refused on the spot: the cell keeps its value.
        QTableWidgetItem* mains = table->item(rowOf(table, "0200"), ParameterTableDialog::ValueColumn);
        mains->setText("abc");
        QCOMPARE(mains->text(), QString("9"));
        QVERIFY(dialog.noteLabel()->text().contains("abc"));
        QCOMPARE(dialog.model().changedCount(), 1u);
        // The filter hides the edited row; the write lists it all the same.
        dialog.filterBox()->setText("0100");
        fx->op.answers.push_back(true);
        QTest::mouseClick(dialog.writeButton(), Qt::LeftButton);
        QCOMPARE(fx->op.questions.size(), size_t(1));
        QVERIFY(QString::fromStdString(fx->op.questions[0].text).contains("0104"));
        QCOMPARE(fx->param(1, 0x104), std::optional<uint32_t>(255));
        QCOMPARE(fx->device(1)->restarts, 1u);
        QVERIFY(!dialog.writeButton()->isEnabled());
        dialog.accept();   // written and restarted: nothing more owed
        QCOMPARE(fx->device(1)->restarts, 1u);
    }

    // An edit lands in the row it was typed in, whatever the filter did
    // meanwhile: a filter that hides the row with the cursor takes the cursor
    // to a row on screen, so keys typed next edit what the operator sees; an
    // edit still open when its row is hidden goes to that row and ends.
    void anEditLandsInTheRowItWasTypedIn() {
        ParameterTableDialog dialog(fx->ctx, nullptr, nullptr);
        QVERIFY(dialog.start());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTableWidget* table = dialog.table();
        QLineEdit* filter = dialog.filterBox();
        const auto value = [table](const char* number) {
            return table->item(rowOf(table, number), ParameterTableDialog::ValueColumn);
        };
        const auto clickOn = [table](QTableWidgetItem* item) {
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualItemRect(item).center());
        };
        const auto typeFilter = [filter](const char* text) {
            QTest::mouseClick(filter, Qt::LeftButton);
            filter->selectAll();
            QTest::keyClicks(filter, text);
        };
        // Each key to whatever has the focus then, as a keyboard sends it;
        // Enter ends the edit (the cell takes it once the keys are handled).
        const auto type = [](const char* text) {
            for (const char* c = text; *c; ++c) QTest::keyClick(QApplication::focusWidget(), *c);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QCoreApplication::processEvents();
        };
        // The close question's text; Cancel keeps the window and its edits.
        const auto closeQuestion = [&dialog] {
            QString asked;
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, [&asked] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box || box->objectName() != "pending") return;
                asked = box->text();
                box->findChild<QPushButton*>("pendingCancel")->click();
            });
            watch.start(10);
            dialog.close();
            dialog.activateWindow();
            (void)QTest::qWaitForWindowActive(&dialog);   // offscreen windows may never become active
            return asked;
        };

        // Filter to 0104, the cursor in its value cell; filter to 0200, Tab, 42, Enter.
        typeFilter("0104");
        QCOMPARE(visibleRows(table), 1);
        clickOn(value("0104"));
        QCOMPARE(table->currentItem(), value("0104"));
        typeFilter("0200");
        QCOMPARE(visibleRows(table), 1);
        QTest::keyClick(filter, Qt::Key_Tab);
        QVERIFY(table->hasFocus());
        type("42");
        QCOMPARE(value("0200")->text(), QString("42"));
        QCOMPARE(value("0104")->text(), QString("200"));
        QCOMPARE(dialog.model().changedCount(), 1u);
        QVERIFY(dialog.pendingLabel()->text().startsWith("1 "));
        QVERIFY(QString::fromStdString(dialog.model().writePlanText()).startsWith("0200 "));
        const QString asked = closeQuestion();
        QVERIFY2(asked.contains("0200") && asked.contains(": 9 -> 42") && !asked.contains("0104"), qPrintable(asked));
        QVERIFY(dialog.isVisible());

        // Sorted by value, the filter changed under the cursor again: the keys
        // reach the one row shown.
        table->sortByColumn(ParameterTableDialog::ValueColumn, Qt::DescendingOrder);
        typeFilter("0204");
        QCOMPARE(visibleRows(table), 1);
        QVERIFY(!table->isRowHidden(rowOf(table, "0204")));
        QTest::keyClick(filter, Qt::Key_Tab);
        type("11");
        QCOMPARE(value("0204")->text(), QString("11"));
        QCOMPARE(dialog.model().changedCount(), 2u);
        // A filter that shows nothing leaves no cell to type into.
        typeFilter("7777");
        QCOMPARE(visibleRows(table), 0);
        QTest::keyClick(filter, Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), '5');
        QCOMPARE(dialog.model().changedCount(), 2u);

        // An edit open in a row the filter then hides is that row's edit.
        typeFilter("");
        clickOn(value("0100"));
        table->editItem(value("0100"));
        QPointer<QLineEdit> editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor && editor->parent() != &dialog);
        editor->selectAll();
        QTest::keyClicks(editor, "77");
        filter->setText("0204");
        QTRY_VERIFY(editor.isNull());   // the edit ended
        QCOMPARE(value("0100")->text(), QString("77"));
        QCOMPARE(dialog.model().changedCount(), 3u);
        QCOMPARE(value("0204")->text(), QString("11"));
        QCOMPARE(dialog.model().rows()[0].edited, 77u);

        dialog.model().revert(0);
        dialog.model().revert(3);
        dialog.model().revert(4);
        dialog.accept();
    }

    // Unwritten edits are never dropped by a key or the close box: Esc asks,
    // Cancel keeps the window and its edits, Discard closes without a write,
    // Write writes and closes.
    void pendingEditsAskWriteDiscardOrCancel() {
        // Presses a button of the question the next close brings up.
        const auto answer = [](const char* button) {
            QTimer::singleShot(0, [button] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box && box->objectName() == "pending");
                box->findChild<QPushButton*>(button)->click();
            });
        };
        for (const bool escape : {true, false}) {
            ParameterTableDialog dialog(fx->ctx, nullptr, nullptr);
            QVERIFY(dialog.start());
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            dialog.table()->item(rowOf(dialog.table(), "0100"), ParameterTableDialog::ValueColumn)->setText("77");
            QVERIFY(dialog.pendingLabel()->text().startsWith("1 "));
            const auto tryClose = [&] { escape ? QTest::keyClick(&dialog, Qt::Key_Escape) : (void)dialog.close(); };
            answer("pendingCancel");
            tryClose();
            QVERIFY(dialog.isVisible() && dialog.model().changedCount() == 1);
            answer(escape ? "pendingDiscard" : "pendingKeep");
            tryClose();
            QVERIFY(!dialog.isVisible());
            QCOMPARE(fx->param(1, 0x100), std::optional<uint32_t>(escape ? 1000 : 77));
        }
        QCOMPARE(fx->device(1)->restarts, 2u);
    }

    void comparisonShowsCountPartialMarkAndTheLoadButtonForADevice() {
        Comparison c;
        c.leftName = "Device";
        c.rightName = "unit.NFO";
        c.rightPath = "/home/tech/unit.NFO";
        c.identity = {{0x81A2, "VALVE01", "PUMP02", true}};
        c.otherDevice = true;
        c.rows = {{0x102, ComparedValue{1, true, {}}, ComparedValue{0, true, {}}},
                  {0x104, ComparedValue{55, false, {}}, std::nullopt}};
        c.partial = true;
        c.stoppedAt = 0x106;
        CompareDialog device(fx->ctx, c, "unit.NFO", nullptr, nullptr);
        QCOMPARE(device.table()->rowCount(), 3);
        QCOMPARE(device.table()->item(0, 3)->text(), QString("PUMP02"));
        QCOMPARE(device.table()->item(1, 2)->text(), QString("ON"));
        QCOMPARE(device.table()->item(2, 3)->text(), QString());
        QCOMPARE(device.table()->horizontalHeaderItem(3)->toolTip(), QString("/home/tech/unit.NFO"));
        QVERIFY(!device.otherDeviceLabel()->isHidden());
        QVERIFY(!device.partialLabel()->isHidden());
        QVERIFY(device.partialLabel()->text().contains("0106"));
        QVERIFY(device.loadButton());

        c.partial = false;
        c.otherDevice = false;
        CompareDialog files(fx->ctx, c, std::string(), nullptr, nullptr);
        QVERIFY(files.partialLabel()->isHidden());
        QVERIFY(files.otherDeviceLabel()->isHidden());

        // Each chooser of "Compare two files" names the side it picks.
        fx->op.files = {"left.NFO"};
        runCompareFilesCommand(fx->ctx, nullptr, nullptr);
        QCOMPARE(fx->op.choices.size(), size_t(2));
        QVERIFY(fx->op.choices[0].caption.find("left") != std::string::npos);
        QVERIFY(fx->op.choices[1].caption.find("right") != std::string::npos);
        QVERIFY(!files.loadButton());
    }
};

QTEST_MAIN(TableCompareTest)
#include "table_compare_test.moc"
