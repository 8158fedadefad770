#pragma once
// The program's main window: the menu through which every command starts,
// a status pane with the hint of the highlighted item, and the device panel
// rendered into a screen-sized off-screen image that painting only copies.
// It is also the operator of the interactive program: message boxes,
// questions, file choosers and the progress window go through it.
#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QFont>
#include <cstdint>
#include <map>
#include <memory>

#include "app/PanelRows.h"
#include "app/ui/PanelView.h"
#include "session/AppContext.h"
#include "platform/Operator.h"
#include "widgets/HelpButtonQt.h"

class BusMonitorWindow;
class HelpWindow;
class ProgressWindow;
class QLabel;
class QMenu;
class QMessageBox;
class QTimer;

class MainFrame : public QMainWindow, public FrameState, public Operator {
    Q_OBJECT
public:
    // Builds the window, attaches itself to the context as its operator and
    // window flags and to the device link as its wait hook, and runs
    // LoadInstallation. Not shown.
    explicit MainFrame(AppContext& ctx, QWidget* parent = nullptr);
    ~MainFrame() override;

    // Loads config.ini and the language files, then sets the title, the menu
    // captions and the status text. False (nothing of the window changed)
    // when the configuration or the messages could not be loaded.
    bool LoadInstallation();

    AppContext& context() const { return ctx_; }

    // Renders the device panel into the surface and repaints.
    void RenderPanel() override;

    // Runs the command with this id when its rule enables it now; one
    // command at a time.
    void dispatch(uint32_t id);
    // The one-second poll of the status register; while the port is lost,
    // the look for its return.
    void pollStatus();
    // The rows the device panel shows now.
    std::vector<PanelRow> panelRowsNow() const;
    // Enables the menu items by their rules.
    void updateCommandEnabling();

    // Operator.
    void message(const std::string& caption, const std::string& text, MessageIcon icon) override;
    void messageTable(const std::string& caption, const std::string& text, MessageIcon icon) override;
    void messageWithFolder(const std::string& caption, const std::string& text, MessageIcon icon,
                           const std::string& actionLabel, const std::string& folder) override;
    bool question(const std::string& caption, const std::string& text) override;
    bool questionDefaultNo(const std::string& caption, const std::string& text) override;
    std::optional<std::string> chooseOpenFile(const FileChoice& choice) override;
    std::optional<std::string> chooseSaveFile(const FileChoice& choice) override;
    void ShowProgress(uint32_t* counter, uint32_t maximum, const std::string& caption) override;
    void HideProgress() override;
    void ShowCancellableProgress(uint32_t* counter, uint32_t maximum, const std::string& caption,
                                 std::atomic<bool>* cancelled) override;
    void notify(const std::string& text) override;

    // What the window shows, for its tests.
    const QImage& surface() const { return surface_; }
    QWidget* panel() const { return panel_; }
    QLabel* statusText() const { return statusText_; }
    QLabel* portText() const { return portText_; }
    QAction* commandAction(uint32_t id) const;
    QMenu* menu(int index) const;
    QTimer* pollTimer() const { return pollTimer_; }
    ProgressWindow* progressWindow() const { return progress_.get(); }
    HelpWindow* helpWindow() const { return help_; }
    // Null until Bus monitor was first chosen.
    BusMonitorWindow* busMonitor() const { return busMonitor_; }
    bool painted() const { return painted_; }
    int renderCount() const { return renderCount_; }

    // Called by the panel widget.
    void paintPanel();
    void panelResized();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString text(uint32_t number) const;
    QString title() const;
    void buildMenus();
    void applyMenuCaptions();
    void completeMenu();
    void showHint(uint32_t textNumber);
    // The port in the status bar: the one connected, else the one set.
    void showPort();
    void runCommand(uint32_t id);
    void showHelp(const char* anchor);
    HelpRequest dialogHelp();
    QWidget* dialogParent();
    int runBox(QMessageBox& box);
    bool askYesNo(const std::string& caption, const std::string& body, bool defaultYes);
    std::optional<std::string> chooseFile(const FileChoice& choice, bool save);
    void offerReconnect();

    AppContext& ctx_;
    QImage surface_;
    QFont normalFont_;
    QFont boldFont_;
    PanelView* panel_ = nullptr;
    QLabel* statusText_ = nullptr;
    QLabel* portText_ = nullptr;
    QTimer* pollTimer_ = nullptr;
    StatusPollRecord statusPolls_;
    std::map<uint32_t, QAction*> actions_;
    std::vector<QMenu*> menus_;
    HelpWindow* help_ = nullptr;
    BusMonitorWindow* busMonitor_ = nullptr;
    std::unique_ptr<ProgressWindow> progress_;
    bool visibleBeforeProgress_ = false;
    QPointer<QWidget> focusBeforeProgress_;
    bool progressCancellable_ = false;
    bool painted_ = false;
    // The first paint after showing only asks for another; the second renders.
    bool firstPaintPending_ = true;
    bool commandRunning_ = false;
    // The return of the lost port was offered; again once it goes and comes back.
    bool reconnectOffered_ = false;
    int renderCount_ = 0;
    // The selected device's address as last seen: a lost port leaves the
    // link without a selection, and the panel still shows the device.
    uint8_t lastSeenAddress_ = 0;
};
