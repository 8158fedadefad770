#include "app/ui/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QRegularExpression>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include "app/AdapterOffer.h"
#include "app/ChooserFilter.h"
#include "app/ui/BusMonitorWindow.h"
#include "app/ui/CreditsDialog.h"
#include "app/ui/HistoryWindow.h"
#include "app/ui/HelpWindow.h"
#include "app/Installation.h"
#include "app/MenuTable.h"
#include "app/ui/OptionsDialog.h"
#include "app/PanelLayout.h"
#include "app/PanelRows.h"
#include "app/ui/PanelView.h"
#include "app/ui/ProgressWindow.h"
#include "widgets/MonospacedFontQt.h"
#include "widgets/ShellTextQt.h"
#include "session/PortLoss.h"
#include "session/ui/ConnectDialog.h"
#include "session/ui/WindowNameQt.h"
#include "session/ui/WindowPlaceQt.h"
#include "platform/PortDevices.h"
#include "texts/TextFill.h"
#include "widgets/FocusReturnQt.h"
#include "widgets/ResultLineQt.h"
#include "link/DeviceLink.h"
#include "link/RegisterKeys.h"
#include "texts/TextTable.h"

#include "params/ui/ParameterCommandsQt.h"
#include "files/ui/FileCommandsQt.h"
#include "files/ParameterFiles.h"

namespace {

constexpr int POLL_PERIOD_MS = 1000;
constexpr uint32_t PROGRESS_GROUP_TEXT = 768;
constexpr uint32_t PROGRESS_TITLE_SUFFIX_TEXT = 1;
constexpr uint32_t PROGRESS_CANCEL_TEXT = 33135;
constexpr int PANEL_FONT_PIXELS = 16;
constexpr int NOTICE_MS = 6000;
constexpr uint32_t PANEL_NAME_TEXT = 33472;
constexpr uint32_t PORT_TEXT = 0x82CF;   // "Port %s"
constexpr const char* BUS_MONITOR_HELP_ANCHOR = "busmonitor";


QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Exclamation: return QMessageBox::Warning;
    case MessageIcon::Stop: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Information: return QMessageBox::Information;
    }
    return QMessageBox::Warning;
}

}  // namespace

QString MainFrame::text(uint32_t number) const { return shellText(ctx_.message(number)); }
QString MainFrame::title() const { return shellText(ctx_.settings.windowTitle); }

MainFrame::MainFrame(AppContext& ctx, QWidget* parent) : QMainWindow(parent), ctx_(ctx) {
    QSize screenSize(MAIN_WINDOW_WIDTH, MAIN_WINDOW_HEIGHT);
    if (QScreen* screen = QGuiApplication::primaryScreen()) screenSize = screen->size();
    const PanelRect rect = mainWindowRect(screenSize.width(), screenSize.height());
    resize(rect.width, rect.height);
    move(rect.left, rect.top);
    setWindowTitle(title());

    statusText_ = new QLabel(this);
    statusText_->setObjectName(QStringLiteral("statusText"));
    statusBar()->addWidget(statusText_, 1);
    // The port the program talks through, whether or not a device is connected.
    portText_ = new QLabel(this);
    portText_->setObjectName(QStringLiteral("portText"));
    statusBar()->addPermanentWidget(portText_);

    panel_ = new PanelView(this, [this] { paintPanel(); }, [this] { panelResized(); });
    setCentralWidget(panel_);

    surface_ = QImage(screenSize, QImage::Format_RGB32);
    surface_.fill(Qt::white);

    normalFont_ = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    normalFont_.setStyleHint(QFont::SansSerif);
    normalFont_.setPixelSize(PANEL_FONT_PIXELS);
    normalFont_.setWeight(QFont::Normal);
    boldFont_ = normalFont_;
    boldFont_.setWeight(QFont::Bold);

    buildMenus();

    pollTimer_ = new QTimer(this);
    connect(pollTimer_, &QTimer::timeout, this, &MainFrame::pollStatus);
    pollTimer_->start(POLL_PERIOD_MS);

    deviceSelected = false;
    idle = true;
    currentParameterNumber = 0x100;
    lastStatus = 0;

    ctx_.attachWindow(this, this);
    // While the progress window is up, transactions keep the screen alive:
    // everything but operator input is handled during their waits. A window
    // with a Cancel button also takes its clicks; it is modal, so nothing
    // else can be clicked meanwhile.
    ctx_.link.setWaitHook([this] {
        if (!progress_) return;
        QCoreApplication::processEvents(progressCancellable_ ? QEventLoop::AllEvents
                                                             : QEventLoop::ExcludeUserInputEvents);
    });

    LoadInstallation();
    new FocusReturn(this);
    keepWindowPlace(this, ctx_, "main");
}

MainFrame::~MainFrame() {
    pollTimer_->stop();
    delete busMonitor_;   // detaches its recorder from the link
    busMonitor_ = nullptr;
    visibleBeforeProgress_ = false;
    HideProgress();
    ctx_.link.setWaitHook(nullptr);
    if (&ctx_.window() == static_cast<FrameState*>(this)) ctx_.attachWindow(nullptr, nullptr);
}

// ---- installation, menus, hints ----

bool MainFrame::LoadInstallation() {
    if (loadInstallationCore(ctx_) != LoadResult::Ok) return false;
    setWindowTitle(title());
    panel_->setAccessibleName(text(PANEL_NAME_TEXT));
    showPort();
    applyMenuCaptions();
    completeMenu();
    if (help_) help_->setTitleParts(ctx_);
    showHint(IDLE_HINT_TEXT);
    return true;
}

void MainFrame::buildMenus() {
    for (const MenuCommand& c : menuCommands()) {
        const uint32_t id = c.id;
        if (c.captionText != 0) {
            auto* action = new QAction(QString::fromLatin1(c.key), this);
            action->setObjectName(QString::number(id));
            action->setData(id);
            connect(action, &QAction::triggered, this, [this, id] { dispatch(id); });
            actions_[id] = action;
        }
        // Accelerators go straight to the dispatcher, which applies the rule
        // of the moment, whatever the menu showed when it was last opened.
        if (c.accelerator[0] != '\0') {
            auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(c.accelerator)), this);
            shortcut->setObjectName(QStringLiteral("key") + QString::number(id));
            connect(shortcut, &QShortcut::activated, this, [this, id] { dispatch(id); });
        }
    }
    for (const MenuLayout& layout : initialMenus()) {
        QMenu* m = menuBar()->addMenu(QString::fromLatin1(layout.key));
        m->setObjectName(QString::fromLatin1(layout.key));
        for (uint32_t id : layout.items) {
            if (id == MENU_SEPARATOR) m->addSeparator();
            else m->addAction(actions_.at(id));
        }
        connect(m, &QMenu::aboutToShow, this, [this] {
            updateCommandEnabling();
            showHint(IDLE_HINT_TEXT);
        });
        connect(m, &QMenu::aboutToHide, this, [this] { showHint(IDLE_HINT_TEXT); });
        connect(m, &QMenu::hovered, this, [this](QAction* a) {
            showHint(a->isSeparator() ? IDLE_HINT_TEXT : hintTextFor(a->data().toUInt()));
        });
        m->installEventFilter(this);
        menus_.push_back(m);
    }
    // The menu bar is not watched: it hears of every item highlighted in an
    // open menu too, and would wipe the item's hint. Opening and closing a
    // menu restore the idle text.
    updateCommandEnabling();
}

void MainFrame::applyMenuCaptions() {
    const std::vector<MenuLayout> layouts = initialMenus();
    for (size_t i = 0; i < menus_.size() && i < layouts.size(); ++i)
        menus_[i]->setTitle(text(layouts[i].captionText));
    for (auto& [id, action] : actions_) {
        const MenuCommand* c = findMenuCommand(id);
        QString caption = text(c->captionText);
        if (c->accelerator[0] != '\0' && !caption.contains(QLatin1Char('\t')))
            caption += QLatin1Char('\t') + QKeySequence(QString::fromLatin1(c->accelerator))
                                               .toString(QKeySequence::NativeText);
        action->setText(caption);
    }
}

void MainFrame::completeMenu() {
    QMenu* second = menus_.at(1);
    std::vector<uint32_t> items;
    for (QAction* a : second->actions()) items.push_back(a->isSeparator() ? MENU_SEPARATOR : a->data().toUInt());
    completeSecondMenu(items);
    // clear() deletes the separators the menu owns; the commands belong to the window.
    second->clear();
    for (uint32_t id : items) {
        if (id == MENU_SEPARATOR) second->addSeparator();
        else second->addAction(actions_.at(id));
    }
}

void MainFrame::showPort() {
    std::string port = ctx_.settings.portOverride;
    if (port.empty()) {
        port = "COM" + std::to_string(ctx_.settings.serialPort);
        const std::string device = ctx_.link.connected ? ctx_.link.portPath()
                                                       : portDevicePath(ctx_.settings.profile(), ctx_.settings.serialPort);
        if (!device.empty()) port += " (" + device + ")";
    }
    portText_->setText(shellText(fillText(ctx_.message(PORT_TEXT), {port})));
}

void MainFrame::showHint(uint32_t textNumber) { statusText_->setText(text(textNumber)); }

// What a command did stays in the status pane for a few seconds, then the
// idle hint comes back; a menu hint shown meanwhile replaces it at once.
void MainFrame::notify(const std::string& text) {
    const QString shown = shellText(text);
    statusText_->setText(shown);
    QWidget* front = QApplication::activeModalWidget();
    if (!front) front = QApplication::activeWindow();
    if (front && front != this)
        if (QLabel* line = resultLineOf(front)) line->setText(shown);
    QTimer::singleShot(NOTICE_MS, this, [this, shown] {
        if (statusText_->text() == shown) showHint(IDLE_HINT_TEXT);
    });
}

bool MainFrame::eventFilter(QObject* watched, QEvent* event) {
    // Separators and the gaps between items have no hint of their own.
    if (event->type() == QEvent::MouseMove) {
        if (auto* m = qobject_cast<QMenu*>(watched)) {
            QAction* a = m->actionAt(static_cast<QMouseEvent*>(event)->position().toPoint());
            if (!a || a->isSeparator()) showHint(IDLE_HINT_TEXT);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainFrame::updateCommandEnabling() {
    for (auto& [id, action] : actions_) action->setEnabled(commandEnabled(id, deviceSelected, commandRunning_));
}

QAction* MainFrame::commandAction(uint32_t id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

QMenu* MainFrame::menu(int index) const {
    return index >= 0 && index < static_cast<int>(menus_.size()) ? menus_[static_cast<size_t>(index)] : nullptr;
}

// ---- commands ----

void MainFrame::dispatch(uint32_t id) {
    if (!commandEnabled(id, deviceSelected)) return;
    // Events handled while a command or a transaction waits must not start
    // a second one.
    if (commandRunning_ || ctx_.link.transactionInFlight()) return;
    const MenuCommand* command = findMenuCommand(id);
    commandRunning_ = true;
    portLossTold = false;
    if (command->clearsIdle) idle = false;
    runCommand(id);
    if (command->clearsIdle) idle = true;
    commandRunning_ = false;
    // A command that lost the port without a word of its own still says so.
    reportPortLoss(ctx_);
    updateCommandEnabling();
}

void MainFrame::runCommand(uint32_t id) {
    switch (id) {
    case CMD_CONNECT:
        offerSingleAdapter(ctx_);
        runConnectCommand(ctx_, this);
        break;
    case CMD_DISCONNECT: runDisconnectCommand(ctx_); break;
    case CMD_OPTIONS:
        runOptionsDialog(ctx_, this, [this] { return LoadInstallation(); });
        RenderPanel();
        break;
    case CMD_QUIT: close(); break;
    case CMD_CREDITS:
        runCreditsDialog(ctx_, this);
        break;
    case CMD_HELP_CONTENTS: showHelp("contents"); break;
    case CMD_HELP_CONTEXT: showHelp(HELP_CONTEXT_ANCHOR); break;
    case CMD_PARAMETERS:
        if (deviceSelected) runParameterDialog(ctx_, this, 0);
        else runParameterTextCommand(ctx_, this);
        RenderPanel();
        break;
    case CMD_PASSWORD: runPasswordCommand(ctx_, this, false); RenderPanel(); break;
    case CMD_PASSWORD_ACCESS: runPasswordCommand(ctx_, this, true); RenderPanel(); break;
    case CMD_ADDRESS: runAddressCommand(ctx_, this); RenderPanel(); break;
    case CMD_RESTART: runRestartCommand(ctx_, this); RenderPanel(); break;
    case CMD_BUS_MONITOR:
        if (!busMonitor_) busMonitor_ = new BusMonitorWindow(ctx_, [this] { showHelp(BUS_MONITOR_HELP_ANCHOR); }, this);
        busMonitor_->open();
        break;
    case CMD_FILE_VIEWER: runReportViewCommand(ctx_, this); RenderPanel(); break;
    case CMD_SAVE: saveParameterFile(ctx_); RenderPanel(); break;
    case CMD_LOAD: loadParameterFileCommand(ctx_); RenderPanel(); break;
    case CMD_PARAMETER_TABLE: runParameterTableCommand(ctx_, this, dialogHelp()); RenderPanel(); break;
    case CMD_COMPARE_DEVICE: runCompareDeviceCommand(ctx_, this, dialogHelp()); RenderPanel(); break;
    case CMD_COMPARE_FILES: runCompareFilesCommand(ctx_, this, dialogHelp()); break;
    case CMD_HISTORY: runHistoryWindow(ctx_, this, dialogHelp()); RenderPanel(); break;
    default: break;   // 40009 is never enabled
    }
}

void MainFrame::showHelp(const char* anchor) {
    if (!help_) help_ = new HelpWindow(ctx_, this);
    help_->showHelp(QString::fromStdString(ctx_.settings.helpFilePath), QString::fromLatin1(anchor));
}

// A dialog's help opens in a viewer of its own above the dialog: the modal
// dialog would keep the operator out of the main window's viewer. It goes
// with the dialog.
HelpRequest MainFrame::dialogHelp() {
    return [this](QWidget* over, const char* anchor) {
        auto* viewer = over->findChild<HelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
        if (!viewer) viewer = new HelpWindow(ctx_, over);
        viewer->showHelp(QString::fromStdString(ctx_.settings.helpFilePath), QString::fromLatin1(anchor));
    };
}

void MainFrame::closeEvent(QCloseEvent* event) {
    if (deviceSelected) ctx_.link.Deselect();
    if (help_) help_->close();
    if (busMonitor_) busMonitor_->close();
    event->accept();
}

// ---- the device panel ----

std::vector<PanelRow> MainFrame::panelRowsNow() const {
    std::vector<PanelRow> rows = panelRows(ctx_.texts, ctx_.link, lastStatus, statusPolls_.noAnswerSince());
    // The device as it was last seen, and where the connection went.
    if (!lostPort.empty()) {
        rows.at(PANEL_STATUS_ROW).value = lostPortStatus(ctx_);
        rows.at(PANEL_ADDRESS_ROW).value = formatAddress(lastSeenAddress_);
    }
    return rows;
}

void MainFrame::RenderPanel() {
    ++renderCount_;
    surface_.fill(Qt::white);
    // A device lost or released takes its unanswered polls with it.
    if (!deviceSelected) statusPolls_.clear();
    if (deviceSelected && ctx_.link.connected) lastSeenAddress_ = ctx_.link.selectedAddress;
    if (deviceSelected || !lostPort.empty()) {
        const int w = panel_->width();
        const int h = panel_->height();
        const PanelLayout layout = panelLayout(w, h, PANEL_ROW_COUNT);
        const std::vector<PanelRow> rows = panelRowsNow();
        const QRect labelClip(layout.labelClip.left, layout.labelClip.top, layout.labelClip.width,
                              layout.labelClip.height);
        const QRect valueClip(layout.valueClip.left, layout.valueClip.top, layout.valueClip.width,
                              layout.valueClip.height);
        {
            QPainter p(&surface_);
            p.setBackgroundMode(Qt::OpaqueMode);
            p.setBackground(Qt::white);
            p.setPen(Qt::black);
            for (size_t i = 0; i < rows.size(); ++i) {
                const int y = panelRowTop(static_cast<int>(i));
                p.setClipRect(labelClip);
                p.setFont(boldFont_);
                p.drawText(QPoint(8, y + QFontMetrics(boldFont_).ascent()), shellText(rows[i].label));
                p.setClipRect(valueClip);
                p.setFont(normalFont_);
                p.drawText(QPoint(layout.valueX, y + QFontMetrics(normalFont_).ascent()),
                           shellText(rows[i].value));
            }
            p.setClipping(false);
            p.setRenderHint(QPainter::Antialiasing, false);
            p.setPen(QPen(Qt::black, 0));
            for (const auto& outline : layout.outlines) {
                QPolygon polygon;
                for (const PanelPoint& point : outline) polygon << QPoint(point.x, point.y);
                p.drawPolyline(polygon);
            }
        }
        tintPixels(reinterpret_cast<uint32_t*>(surface_.bits()), surface_.width(), surface_.height(),
                   static_cast<int>(surface_.bytesPerLine() / 4), layout.tint);
    }
    panel_->setRows(deviceSelected || !lostPort.empty() ? panelRowsNow() : std::vector<PanelRow>{});
    const QString device = deviceSelected ? connectedDevice(ctx_.link) : QString();
    setAccessibleName(device.isEmpty() ? title() : title() + QStringLiteral(" \u2014 ") + device);
    showPort();
    updateCommandEnabling();
    panel_->update();
}

void MainFrame::paintPanel() {
    QPainter p(panel_);
    // A window stretched past the screen it started on shows white beyond the surface.
    if (panel_->width() > surface_.width() || panel_->height() > surface_.height())
        p.fillRect(panel_->rect(), Qt::white);
    p.drawImage(0, 0, surface_);
    if (!painted_) {
        if (firstPaintPending_) {
            panel_->update();
        } else {
            painted_ = true;
            RenderPanel();
        }
        firstPaintPending_ = false;
    }
}

void MainFrame::panelResized() {
    if (painted_) RenderPanel();
}

void MainFrame::pollStatus() {
    if (!idle) return;
    DeviceLink& link = ctx_.link;
    // A tick handled while a transaction waits must not start another one,
    // nor one that falls between the steps of a long operation.
    if (link.transactionInFlight() || progress_) return;
    if (!deviceSelected) {
        offerReconnect();
        return;
    }
    portLossTold = false;
    const uint32_t value = link.ReadRegister(StatusKey);
    // A lost port ends the polling: the panel says so, and Connect is open.
    if (reportPortLoss(ctx_)) {
        updateCommandEnabling();
        return;
    }
    // A failed poll changes the panel only once the device has missed
    // several in a row; the poll goes on all the same.
    const bool changed = link.errorFlag() != 0 ? statusPolls_.failed(localTimeOfDay())
                                               : statusPolls_.answered(value, lastStatus);
    if (changed) RenderPanel();
}

// While the port is lost, each tick looks whether its path is back (a by-id
// name comes back with the same adapter, whichever socket it is in) and
// offers once to connect again; pulled again, it is offered again.
void MainFrame::offerReconnect() {
    if (lostPort.empty() || commandRunning_ || QApplication::activeModalWidget()) return;
    if (!lostPortIsBack(ctx_)) {
        reconnectOffered_ = false;
        return;
    }
    if (reconnectOffered_) return;
    reconnectOffered_ = true;
    if (askReconnect(ctx_)) dispatch(CMD_CONNECT);
}

// ---- operator ----

QWidget* MainFrame::dialogParent() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return isVisible() ? this : nullptr;
}

// The progress window stays above every other window, so a box shown while
// it is up would open under it and wait for an answer nobody can see. Such
// a box belongs to the progress window, stays on top as well, shows the
// arrow instead of the wait cursor, and takes the keyboard once it is up,
// with or without a window manager to hand it over.
int MainFrame::runBox(QMessageBox& box) {
    const bool overProgress = progress_ != nullptr;
    if (overProgress) {
        box.setParent(progress_.get(), box.windowFlags() | Qt::WindowStaysOnTopHint);
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
        if (QAbstractButton* button = box.defaultButton()) button->setFocus(Qt::ActiveWindowFocusReason);
    });
    const int answer = box.exec();
    if (overProgress) QApplication::restoreOverrideCursor();
    return answer;
}

void MainFrame::message(const std::string& caption, const std::string& body, MessageIcon icon) {
    QMessageBox box(boxIcon(icon), shellText(caption), shellText(body), QMessageBox::Ok, dialogParent());
    box.setDefaultButton(QMessageBox::Ok);
    runBox(box);
}

void MainFrame::messageWithFolder(const std::string& caption, const std::string& body, MessageIcon icon,
                                  const std::string& actionLabel, const std::string& folder) {
    QMessageBox box(boxIcon(icon), shellText(caption), shellText(body), QMessageBox::Ok, dialogParent());
    box.setTextFormat(Qt::PlainText);
    // The folder opens beside the box: the operator reads the path, then
    // looks at the files, and the box stays until OK.
    QPushButton* open = box.addButton(shellText(actionLabel), QMessageBox::ActionRole);
    open->setObjectName(QStringLiteral("openFolder"));
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(folder));
    box.setDefaultButton(QMessageBox::Ok);
    QObject::disconnect(open, &QAbstractButton::clicked, nullptr, nullptr);
    connect(open, &QAbstractButton::clicked, &box, [url] { QDesktopServices::openUrl(url); });
    runBox(box);
}

void MainFrame::messageTable(const std::string& caption, const std::string& body, MessageIcon icon) {
    QMessageBox box(boxIcon(icon), shellText(caption), shellText(body), QMessageBox::Ok, dialogParent());
    // The columns line up only in a fixed-width font, and only as plain text.
    box.setTextFormat(Qt::PlainText);
    box.setFont(monospacedFont());
    box.setDefaultButton(QMessageBox::Ok);
    runBox(box);
}

bool MainFrame::askYesNo(const std::string& caption, const std::string& body, bool defaultYes) {
    QMessageBox box(QMessageBox::Question, shellText(caption), shellText(body),
                    QMessageBox::Yes | QMessageBox::No, dialogParent());
    box.setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
    return runBox(box) == QMessageBox::Yes;
}

bool MainFrame::question(const std::string& caption, const std::string& body) {
    return askYesNo(caption, body, true);
}

bool MainFrame::questionDefaultNo(const std::string& caption, const std::string& body) {
    return askYesNo(caption, body, false);
}

std::optional<std::string> MainFrame::chooseFile(const FileChoice& choice, bool save) {
    QStringList filters;
    for (const std::string& f : chooserFilters(choice.filter)) filters << shellText(f);
    const QString directory = choice.initialDirectory.empty()
                                  ? QDir::currentPath()
                                  : QString::fromStdString(choice.initialDirectory);
    const QString caption =
        choice.caption.empty() ? title() : title() + QStringLiteral(" - ") + shellText(choice.caption);
    QFileDialog dialog(dialogParent(), caption, directory);
    dialog.setNameFilters(filters);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!choice.defaultExtension.empty())
        dialog.setDefaultSuffix(QString::fromStdString(choice.defaultExtension));
    // A name typed without an extension takes the one of the filter chosen:
    // the CSV filter gives ".CSV" even where the chooser's default is text.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
        const QRegularExpressionMatch match = pattern.match(filter);
        if (match.hasMatch()) dialog.setDefaultSuffix(match.captured(1));
    });
    if (save && !choice.proposedName.empty()) dialog.selectFile(QString::fromStdString(choice.proposedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> MainFrame::chooseOpenFile(const FileChoice& choice) {
    return chooseFile(choice, false);
}

std::optional<std::string> MainFrame::chooseSaveFile(const FileChoice& choice) {
    return chooseFile(choice, true);
}

void MainFrame::ShowProgress(uint32_t* counter, uint32_t maximum, const std::string& caption) {
    ShowCancellableProgress(counter, maximum, caption, nullptr);
}

void MainFrame::ShowCancellableProgress(uint32_t* counter, uint32_t maximum, const std::string& caption,
                                        std::atomic<bool>* cancelled) {
    if (counter) *counter = 0;
    // Never two progress windows: a second Show replaces the first.
    if (progress_) HideProgress();
    progress_ = std::make_unique<ProgressWindow>(counter, maximum, text(PROGRESS_GROUP_TEXT),
                                                 shellText(caption), title(), cancelled,
                                                 text(PROGRESS_CANCEL_TEXT));
    progressCancellable_ = cancelled != nullptr;
    focusBeforeProgress_ = QApplication::focusWidget();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    progress_->show();
    progress_->raise();
    visibleBeforeProgress_ = isVisible();
    setWindowTitle(shellText(ctx_.settings.windowTitle + ctx_.message(PROGRESS_TITLE_SUFFIX_TEXT)));
    hide();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void MainFrame::HideProgress() {
    if (!progress_) return;
    progress_.reset();
    progressCancellable_ = false;
    // A job without the main window keeps it hidden. Shown again, the window
    // (or the dialog that was working over it) takes the keyboard back, so
    // the accelerators answer at once.
    if (visibleBeforeProgress_) {
        show();
        QWidget* front = QApplication::activeModalWidget();
        if (!front) front = this;
        front->raise();
        front->activateWindow();
        // The control the operator was at gets the keyboard back.
        if (focusBeforeProgress_ && focusBeforeProgress_->window() == front && focusBeforeProgress_->isVisible())
            focusBeforeProgress_->setFocus(Qt::ActiveWindowFocusReason);
    }
    focusBeforeProgress_ = nullptr;
    setWindowTitle(title());
    QApplication::restoreOverrideCursor();
}
