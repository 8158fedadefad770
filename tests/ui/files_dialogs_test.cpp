// The report viewer and the parameter text editor on a saved file.
#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "link/DeviceLink.h"
#include "session/AppContext.h"
#include "files/ui/FileCommandsQt.h"
#include "files/LocalDate.h"
#include "files/ParameterFiles.h"
#include "files/ui/ParameterTextDialog.h"
#include "files/ui/ReportViewDialog.h"
#include "dialog_keys.h"
#include "support/Support.h"
#include "texts/TextTable.h"
#include "widgets/ShellTextQt.h"

namespace {

const std::string kText =
    "#DATE: 07-06-2008  \n#NAME: VALVE01   \n#ADDR: 5  \n#VER.: 2  \n#REL.: 0  \n#PVER: 3  \n#PSWD: 4  "
    "\n#FREE: 100\n#CODE: 100  #DATA: 1234  \n#CODE: 102  #DATA: OFF  ";

std::string golden(const std::string& name) { return std::string(FS_SOURCE_DIR) + "/tests/golden/" + name; }

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string withoutCr(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

template <typename T>
T* child(QWidget* dialog, const char* id) {
    T* w = dialog->findChild<T*>(QString::fromLatin1(id));
    if (!w) qFatal("no control %s", id);
    return w;
}

class RenderCounter : public FrameState {
public:
    int renders = 0;
    bool idleWhileOpen = true;
    void RenderPanel() override { ++renders; }
};

}  // namespace

class FilesDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() {
        dir = std::make_unique<TempDir>();
        op = std::make_unique<RecordingOperator>();
        ctx.settings = Settings{};
        ctx.attachWindow(op.get(), nullptr);
        ctx.settings.windowTitle = "Field Service v1.10";
        ctx.settings.installDirectory = dir->path();
        QVERIFY(ctx.texts.messages.Load(golden("files-messages.txt")));
        QVERIFY(ctx.texts.parameters.Load(golden("files-parameters.txt")));
        setLocalDateSource([] { return LocalDate{7, 6, 2008}; });
        MemoryStream s;
        s.write(kText);
        QVERIFY(writeSealedFile(ctx, dir->file("unit.NFO"), s));
        MemoryStream back;
        QVERIFY(readSealedFile(ctx, dir->file("unit.NFO"), back));
        QVERIFY(writeReport(ctx, dir->file("full.DOC"), back, true));
    }
    void cleanup() {
        setLocalDateSource(nullptr);
        ctx.attachWindow(nullptr, nullptr);
        op.reset();
        dir.reset();
    }

    void reportViewShowsTheReportInTheSharedLayout() {
        ReportViewDialog dialog(ctx, dir->file("unit.NFO"), nullptr);
        QCOMPARE(dialog.windowTitle(), QString("Field Service v1.10"));
        QCOMPARE(child<QGroupBox>(&dialog, "11000")->title(), QString("Report"));
        QCOMPARE(child<QLabel>(&dialog, "11001")->text(), QString("Parameter file"));
        QCOMPARE(child<QPushButton>(&dialog, "11003")->text(), QString("&Save"));
        QCOMPARE(child<QPushButton>(&dialog, "1")->text(), QString("&OK"));
        QVERIFY(child<QPushButton>(&dialog, "1")->isDefault());
        auto* area = child<QPlainTextEdit>(&dialog, "11002");
        QVERIFY(area->isReadOnly());
        // Columns line up when every character advances alike, whatever
        // fontconfig marks as fixed pitch.
        const QFontMetrics metrics(area->font());
        for (QChar c : QStringLiteral("iW."))
            QCOMPARE(metrics.horizontalAdvance(c), metrics.horizontalAdvance(QLatin1Char('M')));
        QCOMPARE(area->font().pixelSize(), 16);
        QCOMPARE(area->toPlainText().toStdString(), withoutCr(readFile(dir->file("full.DOC"))));
        QVERIFY(!std::filesystem::exists(dir->file("TMP.DOC")));
        QVERIFY(op->messages.empty());
        // The geometry of dialog 111: the text area lies inside the frame.
        QVERIFY(child<QGroupBox>(&dialog, "11000")->geometry().contains(area->geometry()));
    }

    void reportViewSaveButtonWritesTheReport() {
        ReportViewDialog dialog(ctx, dir->file("unit.NFO"), nullptr);
        op->files.push_back(dir->file("copy.txt"));
        QTest::mouseClick(child<QPushButton>(&dialog, "11003"), Qt::LeftButton);
        QCOMPARE(readFile(dir->file("copy.DOC")), readFile(dir->file("full.DOC")));
        QCOMPARE(op->choices.size(), size_t(1));
        QCOMPARE(op->choices[0].defaultExtension, std::string("DOC"));
    }

    // The PDF button writes the report as a PDF file of its own; into a
    // folder that takes no file it names the file instead.
    void reportViewExportsAPdf() {
        ReportViewDialog dialog(ctx, dir->file("unit.NFO"), nullptr);
        op->files.push_back(dir->file("unit.pdf"));
        QTest::mouseClick(dialog.pdfButton(), Qt::LeftButton);
        QVERIFY2(op->messages.empty(), op->messages.empty() ? "" : op->messages[0].text.c_str());
        const std::string pdf = readFile(dir->file("unit.pdf"));
        QVERIFY(pdf.size() > 0);
        QCOMPARE(pdf.substr(0, 4), std::string("%PDF"));
        QCOMPARE(op->choices.back().defaultExtension, std::string("pdf"));

        op->files.push_back(std::string("/proc/fieldservice-report.pdf"));
        QTest::mouseClick(dialog.pdfButton(), Qt::LeftButton);
        QCOMPARE(op->messages.size(), size_t(1));
        QCOMPARE(op->messages[0].text, std::string("text 4\r\n\r\n/proc/fieldservice-report.pdf"));
    }

    // The print dialog makes its file name from the job's: the file's name, no folder.
    void printJobIsNamedByTheFileAlone() {
        ReportViewDialog dialog(ctx, dir->file("unit.NFO"), nullptr);
        QString job;
        QTimer::singleShot(0, [&job] {
            auto* print = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
            job = print->printer()->docName();
            print->reject();
        });
        QTest::mouseClick(dialog.printButton(), Qt::LeftButton);
        QCOMPARE(job, QString("unit.NFO"));
    }

    // Enter on the focused save button saves and leaves the viewer open;
    // on the text of the report it presses OK.
    void enterPressesTheFocusedButton_data() {
        QTest::addColumn<QString>("focus");
        QTest::newRow("save") << "11003";
        QTest::newRow("report text") << "11002";
    }
    void enterPressesTheFocusedButton() {
        QFETCH(QString, focus);
        const bool onSave = focus == "11003";
        ReportViewDialog dialog(ctx, dir->file("unit.NFO"), nullptr);
        dialog.show();
        op->files.push_back(dir->file("copy.txt"));
        QWidget* target = child<QWidget>(&dialog, focus.toLatin1().constData());
        QVERIFY(onSave ? tabTo(&dialog, target) : focusOn(&dialog, target));
        pressEnter(&dialog);
        QCOMPARE(dialog.isVisible(), onSave);
        QCOMPARE(op->choices.size(), size_t(onSave ? 1 : 0));
        QCOMPARE(std::filesystem::exists(dir->file("copy.DOC")), onSave);
    }

    void editorShowsTheTextAndSavesItSealed() {
        ParameterTextDialog dialog(ctx, dir->file("unit.NFO"), nullptr);
        QCOMPARE(child<QGroupBox>(&dialog, "11000")->title(), QString("Parameter text"));
        auto* area = child<QPlainTextEdit>(&dialog, "11002");
        QVERIFY(!area->isReadOnly());
        QCOMPARE(area->toPlainText().toStdString(), "\n" + kText + "\n");

        // Type a change and save under a name with two dots.
        QString text = area->toPlainText();
        text.replace("1234", "4321");
        area->setPlainText(text);
        op->files.push_back(dir->file("unit.old.NFO"));
        QTest::mouseClick(child<QPushButton>(&dialog, "11003"), Qt::LeftButton);
        QVERIFY(op->messages.empty());
        QVERIFY(std::filesystem::exists(dir->file("unit.old.DOC")));
        MemoryStream back;
        QVERIFY(readSealedFile(ctx, dir->file("unit.old.NFO"), back));
        QVERIFY(back.str().find("#CODE: 100  #DATA: 4321  ") != std::string::npos);
    }

    void textsNotInUtf8AreReadAsWindows1252() {
        // The typographic bytes of older Italian language files.
        QCOMPARE(shellText("\x92\x80\x96\x99"), QString::fromUtf8("\u2019\u20AC\u2013\u2122"));
        QCOMPARE(shellText("caff\xe8 \x93x\x94"), QString::fromUtf8("caff\u00E8 \u201Cx\u201D"));
        QCOMPARE(shellText("\x81\x9d"), QString::fromUtf8("\u0081\u009D"));   // undefined: kept
        // Valid UTF-8 stays UTF-8.
        QCOMPARE(shellText("caff\xc3\xa8 \xe2\x82\xac"), QString::fromUtf8("caff\u00E8 \u20AC"));
        // The viewer's title and texts read the same way.
        ctx.settings.windowTitle = "Assistenza \x93" "campo\x94";
        ReportViewDialog dialog(ctx, dir->file("unit.NFO"), nullptr);
        QCOMPARE(dialog.windowTitle(), QString::fromUtf8("Assistenza \u201Ccampo\u201D"));
    }

    void editorKeepsSingleByteCharactersAsTheyAre() {
        std::string odd = kText + "\n;caf\xe9 \xa0 x";
        MemoryStream s;
        s.write(odd);
        QVERIFY(writeSealedFile(ctx, dir->file("odd.NFO"), s));
        ParameterTextDialog dialog(ctx, dir->file("odd.NFO"), nullptr);
        QCOMPARE(dialog.areaText(), "\n" + odd + "\n");
    }

    void commandsChooseAFileRunTheDialogAndRestoreIdle() {
        RenderCounter frameState;
        ctx.attachWindow(op.get(), &frameState);
        op->files.push_back(dir->file("unit.NFO"));
        bool sawDialog = false;
        QTimer::singleShot(50, [&] {
            auto* dialog = qobject_cast<ReportViewDialog*>(QApplication::activeModalWidget());
            sawDialog = dialog != nullptr;
            frameState.idleWhileOpen = frameState.idle;
            if (dialog) child<QPushButton>(dialog, "1")->click();
        });
        QTimer::singleShot(5000, [] {   // never hang, whatever happened
            if (auto* w = QApplication::activeModalWidget()) w->close();
        });
        runReportViewCommand(ctx, nullptr);
        QVERIFY(sawDialog);
        QVERIFY(!frameState.idleWhileOpen);
        QVERIFY(frameState.idle);
        QCOMPARE(frameState.renders, 1);
        QCOMPARE(op->choices[0].filter, std::string("Parameter files (*.NFO)|*.NFO|"));

        // Cancelled chooser: no dialog, panel rendered, idle set again.
        runParameterTextCommand(ctx, nullptr);
        QCOMPARE(frameState.renders, 2);
        QVERIFY(frameState.idle);
    }

private:
    std::unique_ptr<TempDir> dir;
    std::unique_ptr<RecordingOperator> op;
    DeviceLink noDevice;
    AppContext ctx{noDevice};
};

QTEST_MAIN(FilesDialogsTest)
#include "files_dialogs_test.moc"
