// Every window with the shipped English texts (Italian with
// FS_WINDOWS_LANGUAGE=ita) on the screen ctest gives it
// (1920x1080 at scale 1, 2560x1440 at scale 2): it fits, no control leaves
// its parent, Tab reaches every control in reading order, Alt letters do not
// collide, every control has a name; the viewers grow and keep their size.
#include <cstdlib>
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTableWidget>
#include <QtTest>
#include <filesystem>

#include "app/Installation.h"
#include "app/ui/BusMonitorWindow.h"
#include "app/ui/CreditsDialog.h"
#include "app/ui/HelpWindow.h"
#include "app/ui/MainFrame.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/ProgressWindow.h"
#include "files/ParameterFiles.h"
#include "app/ui/HistoryWindow.h"
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

class WindowsTest : public QObject {
    Q_OBJECT
    std::unique_ptr<SimFixture> fx;
    std::unique_ptr<TempDir> install;
    std::filesystem::path startDir;
    std::atomic<bool> cancel{false};
    uint32_t counter = 0;

    template <typename W = QWidget>
    std::unique_ptr<W> open(const QString& name, bool show = true) {
        AppContext& c = fx->ctx;
        const std::string file = install->file("unit.NFO");
        const std::map<QString, std::function<QWidget*()>> make = {
            {"main", [&] { return new MainFrame(c); }},
            {"options", [&] { return new OptionsDialog(c, nullptr, [] { return true; }); }},
            {"credits", [&] { return new CreditsDialog(c, nullptr); }},
            {"connect", [&] { return new ConnectDialog(c, nullptr); }},
            {"progress", [&] { return new ProgressWindow(&counter, 64, "Wait", "Scan", "", &cancel, "Cancel"); }},
            {"parameter", [&] { auto* d = new ParameterDialog(c, nullptr, 0); d->start(); return d; }},
            {"password", [&] { return new PasswordDialog(c, nullptr, 1234); }},
            {"address", [&] { return new AddressDialog(c, nullptr, 1); }},
            {"table", [&] { auto* d = new ParameterTableDialog(c, nullptr, nullptr); d->start(); return d; }},
            {"compare", [&] { return new CompareDialog(c, Comparison{}, file, nullptr, nullptr); }},
            {"report", [&] { return new ReportViewDialog(c, file, nullptr); }},
            {"editor", [&] { return new ParameterTextDialog(c, file, nullptr); }},
            {"busMonitor", [&] { return new BusMonitorWindow(c, nullptr); }},
            {"history", [&] { return new HistoryWindow(c, HelpRequest{}, nullptr); }},
            {"help", [&] {
                 auto* h = new HelpWindow(c);
                 h->showHelp(QString::fromStdString(install->file("help_eng.hlp")), "busmonitor");
                 return h;
             }}};
        std::unique_ptr<W> window(static_cast<W*>(make.at(name)()));
        if (show) {
            window->show();
            window->activateWindow();
            if (!QTest::qWaitForWindowActive(window.get())) qFatal("%s not active", qPrintable(name));
        }
        return window;
    }

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void init() {
        startDir = std::filesystem::current_path();
        install = std::make_unique<TempDir>();
        for (const auto& entry : std::filesystem::directory_iterator(FS_DIST_DIR))
            if (entry.path().has_extension() && entry.is_regular_file())
                std::filesystem::copy_file(entry.path(), install->file(entry.path().filename().string()));
        // FS_WINDOWS_LANGUAGE=ita: the same windows with the Italian texts.
        if (const char* language = std::getenv("FS_WINDOWS_LANGUAGE"); language && *language) {
            std::string config = install->read("config.ini");
            const size_t at = config.find("language=");
            if (at != std::string::npos) config.replace(at, config.find('\n', at) - at, std::string("language=") + language);
            install->write("config.ini", config);
        }
        std::filesystem::current_path(install->path());
        fx = std::make_unique<SimFixture>();
        QVERIFY(InitInstallDirectory(fx->ctx.settings) && loadInstallationCore(fx->ctx) == LoadResult::Ok);
        QVERIFY(fx->connect(1));
        fx->frame.deviceSelected = true;
        fx->ctx.settings.user.state = install->file("state");
        MemoryStream s;
        s.write("#NAME: PUMPCTRL\n#ADDR: 1\n#VER.: 1\n#REL.: 5\n#PVER: 3\n#PSWD: 0\n#FREE: 100\n#CODE: 100  #DATA: 12\n");
        QVERIFY(writeSealedFile(fx->ctx, install->file("unit.NFO"), s));
    }
    void cleanup() {
        fx.reset();
        std::filesystem::current_path(startDir);
        install.reset();
    }

    void everyWindowFitsAndWorksFromTheKeyboard_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("area");   // what takes the space when a viewer grows
        for (auto [name, area] : {std::pair{"main", ""}, {"options", ""}, {"credits", ""}, {"connect", ""},
                                  {"progress", ""}, {"parameter", ""}, {"password", ""}, {"address", ""},
                                  {"table", "rows"}, {"compare", "rows"}, {"report", "11002"}, {"editor", "11002"},
                                  {"busMonitor", "transactions"}, {"help", "text"}, {"history", ""}})
            QTest::newRow(name) << QString(name) << QString(area);
    }
    void everyWindowFitsAndWorksFromTheKeyboard() {
        QFETCH(QString, name);
        QFETCH(QString, area);
        auto window = open(name);
        QVERIFY(window->screen()->availableGeometry().size().expandedTo(window->frameGeometry().size()) ==
                window->screen()->availableGeometry().size());
        checkChildrenInside(window.get());

        std::map<QChar, QString> letters;   // Alt letters of captions, field labels, menus
        auto claim = [&](const QString& caption) {
            const qsizetype amp = caption.indexOf(QRegularExpression("&[^&]"));
            if (amp < 0) return;
            const QChar letter = caption[amp + 1].toLower();
            QVERIFY2(!letters.count(letter), qPrintable(name + ": " + letters[letter] + " / " + caption));
            letters[letter] = caption;
        };
        for (QWidget* w : window->findChildren<QWidget*>())
            if (w->window() == window.get() && w->isVisibleTo(window.get())) {
                if (auto* button = qobject_cast<QAbstractButton*>(w)) claim(button->text());
                if (auto* label = qobject_cast<QLabel*>(w); label && label->buddy()) claim(label->text());
            }
        if (auto* frame = qobject_cast<QMainWindow*>(window.get()))
            for (QAction* menu : frame->menuBar()->actions()) claim(menu->text());

        // Tab from the first control: every control once, each right of or below the one before.
        std::vector<QWidget*> stops;
        for (QWidget* w : tabStops(window.get()))
            if (w->isVisibleTo(window.get()) && w->isEnabled()) stops.push_back(w);
        for (QWidget* w : stops) QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(name + ": " + w->objectName()));
        std::vector<QWidget*> visited = inReadingOrder(window.get(), stops);
        visited.resize(std::min<size_t>(1, visited.size()));
        for (QWidget* first : visited) first->setFocus(Qt::TabFocusReason);
        auto place = [&](QWidget* w) { return QRect(w->mapTo(window.get(), QPoint()), w->size()); };
        for (size_t i = 0; i < stops.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* at = QApplication::focusWidget();
            while (at && std::find(stops.begin(), stops.end(), at) == stops.end()) at = at->parentWidget();
            QVERIFY2(at, qPrintable(name + ": Tab left the controls"));
            if (at == visited[0]) break;
            const QRect before = place(visited.back()), now = place(at);
            QVERIFY2(now.center().y() > before.bottom() || (now.center().y() >= before.top() && now.left() > before.left()),
                     qPrintable(name + ": Tab goes back to " + at->objectName()));
            visited.push_back(at);
        }
        QCOMPARE(visited.size(), stops.size());
        if (area.isEmpty()) return;

        // A viewer made larger gives the space to its text or table and opens again at that size.
        QVERIFY(window->windowFlags() & Qt::WindowMaximizeButtonHint || window->windowType() == Qt::Window);
        QWidget* text = window->findChild<QWidget*>(area);
        const QSize grown = window->size() + QSize(120, 90), textGrown = text->size() + QSize(120, 90);
        window->resize(grown);
        QTRY_COMPARE(text->size(), textGrown);
        checkChildrenInside(window.get());
        window->close();
        QCOMPARE(open(name, false)->size(), grown);
    }

    // The help window's title, double clicks, Esc and Ctrl+Q, the editor's question.
    void titleDoubleClickAndQuestion() {
        auto connectList = open<ConnectDialog>("connect", false);
        int chosen = -1;
        QTimer::singleShot(0, [&] {
            auto* list = connectList->findChild<QListWidget*>("1202");
            const QPoint second = list->visualItemRect(list->item(1)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second);
        });
        QTimer::singleShot(5000, connectList.get(), &QDialog::reject);   // a test that fails ends
        QVERIFY(connectList->choose({"01>PUMPCTRL", "12>VALVEDRV"}, [&](int line) { return chosen = line, true; }));
        QCOMPARE(chosen, 1);
        for (const char* name : {"busMonitor", "help", "compare"}) {
            auto window = open(name);
            QTest::keyClick(window.get(), Qt::Key_Escape);
            QVERIFY2(!window->isVisible(), name);
        }
        auto main = open("main");
        QTest::keyClick(main.get(), Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!main->isVisible());

        QCOMPARE(open("help")->windowTitle(), QString::fromStdString(fx->ctx.settings.windowTitle) + " - Help: The bus monitor");
        auto table = open<ParameterTableDialog>("table");
        const QPoint description = table->table()->visualItemRect(table->table()->item(0, 1)).center();
        QTest::mouseClick(table->table()->viewport(), Qt::LeftButton, {}, description);
        QTest::mouseDClick(table->table()->viewport(), Qt::LeftButton, {}, description);
        QVERIFY(table->table()->viewport()->findChild<QLineEdit*>());
        QCOMPARE(table->table()->currentColumn(), int(ParameterTableDialog::ValueColumn));

        auto editor = open("editor");
        QTest::keyClicks(editor->findChild<QPlainTextEdit*>("11002"), "x");
        for (const char* button : {"unsavedCancel", "unsavedDiscard"}) {
            QTimer::singleShot(0, [button] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box && box->objectName() == "unsaved");
                box->findChild<QPushButton*>(button)->click();
            });
            QTest::keyClick(editor.get(), Qt::Key_Escape);
            QCOMPARE(editor->isVisible(), button == std::string("unsavedCancel"));
        }
    }

private:
    void checkChildrenInside(QWidget* window) {
        for (QWidget* w : window->findChildren<QWidget*>()) {
            bool scrolled = false;   // what scrolls inside a view is the view's own business
            for (QWidget* up = w->parentWidget()->parentWidget(); up && up != window; up = up->parentWidget())
                scrolled = scrolled || qobject_cast<QAbstractScrollArea*>(up);
            if (!w->isWindow() && w->isVisibleTo(window) && !scrolled)
                QVERIFY2(w->parentWidget()->rect().contains(w->geometry()), qPrintable(w->objectName()));
        }
    }
};

QTEST_MAIN(WindowsTest)
#include "windows_test.moc"
