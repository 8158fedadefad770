// Every window of the program, with the shipped English texts, on the screen
// ctest gives it (1920x1080 at scale 1, 2560x1440 at scale 2): it fits the
// screen, no control lies outside its parent, Tab reaches every control in
// reading order, Alt letters do not collide, every control has a name for a
// screen reader. The viewers also grow with their window, text first, and
// open again where the operator left them.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QScreen>
#include <QtTest>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "app/Installation.h"
#include "app/ui/BusMonitorWindow.h"
#include "app/ui/CreditsDialog.h"
#include "app/ui/HelpWindow.h"
#include "app/ui/MainFrame.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/ProgressWindow.h"
#include "files/ParameterFiles.h"
#include "files/ui/CompareDialog.h"
#include "files/ui/ParameterTextDialog.h"
#include "files/ui/ReportViewDialog.h"
#include "params/ui/AddressDialog.h"
#include "params/ui/ParameterDialog.h"
#include "params/ui/ParameterTableDialog.h"
#include "params/ui/PasswordDialog.h"
#include "session/ui/ConnectDialog.h"
#include "support/SimFixture.h"
#include "widgets/TabOrderQt.h"

namespace {

// Alt letters two captions the layouts fix share in one window; every other
// collision is a fault.
const std::map<QString, QString> FixedCollisions = {};

QRect placeIn(QWidget* window, QWidget* w) { return QRect(w->mapTo(window, QPoint(0, 0)), w->size()); }

QChar altLetter(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i)
        if (caption[i] == QLatin1Char('&')) {
            if (caption[i + 1] != QLatin1Char('&')) return caption[i + 1].toLower();
            ++i;
        }
    return {};
}

// The parameter file the viewer and the editor open, saved from the device.
const char* const FileText =
    "#DATE: 10-12-2026  \n#NAME: PUMPCTRL  \n#ADDR: 1  \n#VER.: 1  \n#REL.: 5  \n#PVER: 3  \n#PSWD: 0  "
    "\n#FREE: 100\n#CODE: 100  #DATA: 1234  \n#CODE: 102  #DATA: OFF  ";

// The tab stops Tab can land on now.
std::vector<QWidget*> liveStops(QWidget* window) {
    std::vector<QWidget*> live;
    for (QWidget* w : tabStops(window))
        if (w->isVisibleTo(window) && w->isEnabled()) live.push_back(w);
    return live;
}

}  // namespace

class WindowsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<SimFixture> fx;
    std::unique_ptr<TempDir> install;
    std::filesystem::path startDir;
    std::atomic<bool> cancel{false};
    uint32_t counter = 0;

    using Build = std::function<QWidget*()>;
    std::map<QString, Build> windows() {
        const std::string file = install->file("unit.NFO");
        return {
            {"main", [this] { return new MainFrame(fx->ctx); }},
            {"options", [this] { return new OptionsDialog(fx->ctx, nullptr, [] { return true; }); }},
            {"credits", [this] { return new CreditsDialog(fx->ctx, nullptr); }},
            {"connect", [this] {
                 auto* d = new ConnectDialog(fx->ctx, nullptr);
                 d->list()->addItems({"01>PUMPCTRL", "12>VALVE"});
                 return d;
             }},
            {"progress", [this] {
                 return new ProgressWindow(&counter, 64, "Please wait", "Scanning", "Service", &cancel,
                                           QString::fromStdString(fx->ctx.message(33135)));
             }},
            {"parameter", [this] {
                 auto* d = new ParameterDialog(fx->ctx, nullptr, 0);
                 d->start();
                 return d;
             }},
            {"password", [this] { return new PasswordDialog(fx->ctx, nullptr, 1234); }},
            {"address", [this] { return new AddressDialog(fx->ctx, nullptr, 1); }},
            {"table", [this] {
                 auto* d = new ParameterTableDialog(fx->ctx, nullptr, nullptr);
                 d->start();
                 return d;
             }},
            {"compare", [this, file] { return new CompareDialog(fx->ctx, Comparison{}, file, nullptr, nullptr); }},
            {"report", [this, file] { return new ReportViewDialog(fx->ctx, file, nullptr); }},
            {"editor", [this, file] { return new ParameterTextDialog(fx->ctx, file, nullptr); }},
            {"busMonitor", [this] { return new BusMonitorWindow(fx->ctx, nullptr); }},
            {"help", [this] {
                 auto* h = new HelpWindow(fx->ctx);
                 h->showHelp(QString::fromStdString(install->file("help_eng.hlp")), "busmonitor");
                 return h;
             }},
        };
    }

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() {
        startDir = std::filesystem::current_path();
        install = std::make_unique<TempDir>();
        for (const auto& entry : std::filesystem::directory_iterator(FS_DIST_DIR))
            if (entry.is_regular_file() && entry.path().extension() != ".bus")
                std::filesystem::copy_file(entry.path(), install->file(entry.path().filename().string()));
        std::filesystem::current_path(install->path());
        fx = std::make_unique<SimFixture>();
        QVERIFY(InitInstallDirectory(fx->ctx.settings));
        QVERIFY(loadInstallationCore(fx->ctx) == LoadResult::Ok);
        QVERIFY(fx->connect(1));
        fx->frame.deviceSelected = true;
        MemoryStream s;
        s.write(FileText);
        QVERIFY(writeSealedFile(fx->ctx, install->file("unit.NFO"), s));
    }
    void cleanup() {
        fx.reset();
        std::filesystem::current_path(startDir);
        install.reset();
    }

    void everyWindowWorksFromTheKeyboardAndFits_data() {
        QTest::addColumn<QString>("name");
        for (const char* name : {"main", "options", "credits", "connect", "progress", "parameter", "password",
                                 "address", "table", "compare", "report", "editor", "busMonitor", "help"})
            QTest::newRow(name) << QString(name);
    }
    void everyWindowWorksFromTheKeyboardAndFits() {
        QFETCH(QString, name);
        std::unique_ptr<QWidget> window(windows().at(name)());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));

        const QRect screen = window->screen()->availableGeometry();
        QVERIFY2(window->frameGeometry().width() <= screen.width() && window->frameGeometry().height() <= screen.height(),
                 qPrintable(QString("%1x%2 on %3x%4").arg(window->width()).arg(window->height())
                                .arg(screen.width()).arg(screen.height())));
        checkChildrenInside(window.get());

        // Alt letters: captions, labels of fields, menu titles.
        std::map<QChar, QString> letters;
        auto claim = [&](const QString& caption) {
            const QChar letter = altLetter(caption);
            if (letter.isNull()) return;
            const auto seen = letters.find(letter);
            QVERIFY2(seen == letters.end() || FixedCollisions.count(seen->second + " / " + caption),
                     qPrintable(name + ": " + (seen == letters.end() ? QString() : seen->second) + " / " + caption));
            letters[letter] = caption;
        };
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (w->window() != window.get() || !w->isVisibleTo(window.get())) continue;
            if (auto* button = qobject_cast<QAbstractButton*>(w)) claim(button->text());
            if (auto* label = qobject_cast<QLabel*>(w); label && label->buddy()) claim(label->text());
        }
        if (auto* frame = qobject_cast<QMainWindow*>(window.get()))
            for (QAction* menu : frame->menuBar()->actions()) claim(menu->text());

        // Tab from the first control reaches every control once, in reading order.
        const std::vector<QWidget*> stops = liveStops(window.get());
        for (QWidget* w : stops)
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(name + ": " + w->objectName() + " has no name"));
        if (stops.empty()) return;
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QWidget* first = inReadingOrder(window.get(), stops).front();
        first->setFocus(Qt::TabFocusReason);
        std::vector<QWidget*> visited{first};
        for (size_t i = 0; i < stops.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* at = QApplication::focusWidget();
            while (at && std::find(stops.begin(), stops.end(), at) == stops.end()) at = at->parentWidget();
            QVERIFY2(at, qPrintable(name + ": Tab left the controls"));
            if (at == first) break;
            const QRect before = placeIn(window.get(), visited.back()), now = placeIn(window.get(), at);
            const bool down = now.center().y() > before.bottom();
            const bool right = now.center().y() >= before.top() && now.left() > before.left();
            QVERIFY2(down || right, qPrintable(name + ": Tab goes back from " + visited.back()->objectName() +
                                                " to " + at->objectName()));
            visited.push_back(at);
        }
        QCOMPARE(visited.size(), stops.size());
    }

    // The viewers: made larger, the text or table takes the space; closed and
    // opened again, they come back at the size the operator left them.
    void viewersGrowAndRememberTheirSize_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("area");
        QTest::newRow("report") << "report" << "11002";
        QTest::newRow("editor") << "editor" << "11002";
        QTest::newRow("table") << "table" << "rows";
        QTest::newRow("compare") << "compare" << "rows";
        QTest::newRow("busMonitor") << "busMonitor" << "transactions";
        QTest::newRow("help") << "help" << "";
    }
    void viewersGrowAndRememberTheirSize() {
        QFETCH(QString, name);
        QFETCH(QString, area);
        fx->ctx.settings.user.state = install->file("state");
        QSize left;
        {
            std::unique_ptr<QWidget> window(windows().at(name)());
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            QVERIFY(window->windowFlags() & Qt::WindowMaximizeButtonHint || !qobject_cast<QDialog*>(window.get()));
            QWidget* text = area.isEmpty() ? window->findChild<QAbstractScrollArea*>() : window->findChild<QWidget*>(area);
            QVERIFY(text);
            const QSize opened = window->size(), textOpened = text->size();
            window->resize(opened + QSize(120, 90));
            QTRY_COMPARE(window->size(), opened + QSize(120, 90));
            QCOMPARE(text->size(), textOpened + QSize(120, 90));
            checkChildrenInside(window.get());
            left = window->size();
            window->close();
        }
        std::unique_ptr<QWidget> again(windows().at(name)());
        QCOMPARE(again->size(), left);
    }

    // What a double click, Esc and Ctrl+Q do, the help window's title, and
    // the editor's question before unsaved text goes.
    void mouseAndKeys() {
        std::unique_ptr<QWidget> help(windows().at("help")());
        QCOMPARE(help->windowTitle(), QString::fromStdString(fx->ctx.settings.windowTitle) + " - Help: The bus monitor");
        std::unique_ptr<QWidget> monitor(windows().at("busMonitor")());
        for (QWidget* w : {help.get(), monitor.get()}) {
            w->show();
            QVERIFY(QTest::qWaitForWindowActive(w));
            QTest::keyClick(w, Qt::Key_Escape);
            QTRY_VERIFY(!w->isVisible());
        }

        ConnectDialog connect(fx->ctx, nullptr);
        int tried = -1;
        QTimer::singleShot(50, [&] {
            QVERIFY(QTest::qWaitForWindowExposed(&connect));
            QListWidget* list = connect.list();
            const QRect row = list->visualItemRect(list->item(1));
            // A double click follows a click, as a hand gives it.
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
            if (connect.isVisible()) connect.reject();
        });
        connect.choose({"01>PUMPCTRL", "12>VALVE"}, [&](int line) { return tried = line, true; });
        QCOMPARE(tried, 1);

        std::unique_ptr<ParameterTableDialog> table(static_cast<ParameterTableDialog*>(windows().at("table")()));
        table->show();
        QTableWidget* rows = table->table();
        const QRect description = rows->visualItemRect(rows->item(0, ParameterTableDialog::DescriptionColumn));
        QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, description.center());
        QTest::mouseDClick(rows->viewport(), Qt::LeftButton, {}, description.center());
        auto* cellEditor = rows->viewport()->findChild<QLineEdit*>();
        QVERIFY(cellEditor && cellEditor->isVisible());
        QCOMPARE(rows->currentColumn(), int(ParameterTableDialog::ValueColumn));

        // Unsaved text: Cancel keeps the editor, Discard closes it.
        std::unique_ptr<ParameterTextDialog> editor(static_cast<ParameterTextDialog*>(windows().at("editor")()));
        editor->show();
        editor->reject();   // nothing typed: closes without a word
        QVERIFY(!editor->isVisible());
        editor->show();
        auto* text = editor->findChild<QPlainTextEdit*>("11002");
        text->setFocus();
        QTest::keyClicks(text, "x");
        for (const char* button : {"cancelUnsaved", "discardUnsaved"}) {
            QTimer::singleShot(0, [button] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box && box->objectName() == "unsavedQuestion");
                box->findChild<QPushButton*>(button)->click();
            });
            QTest::keyClick(editor.get(), Qt::Key_Escape);
            QCOMPARE(editor->isVisible(), button == std::string("cancelUnsaved"));
        }

        std::unique_ptr<QWidget> main(windows().at("main")());
        main->show();
        QVERIFY(QTest::qWaitForWindowActive(main.get()));
        QTest::keyClick(main.get(), Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!main->isVisible());
    }

private:
    void checkChildrenInside(QWidget* window) {
        for (QWidget* w : window->findChildren<QWidget*>()) {
            QWidget* parent = w->parentWidget();
            if (w->isWindow() || !w->isVisibleTo(window) || !parent) continue;
            // What scrolls inside a view is the view's own business.
            bool scrolled = false;
            for (QWidget* up = parent->parentWidget(); up && up != window; up = up->parentWidget())
                scrolled = scrolled || qobject_cast<QAbstractScrollArea*>(up);
            if (scrolled) continue;
            QVERIFY2(parent->rect().contains(w->geometry()),
                     qPrintable(w->metaObject()->className() + QString(" ") + w->objectName() + " outside " +
                                parent->objectName()));
        }
    }
};

QTEST_MAIN(WindowsTest)
#include "windows_test.moc"
