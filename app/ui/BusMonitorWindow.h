#pragma once
// The bus monitor: every transaction of the link as it happens, in a table
// that follows the log of link/BusMonitor.h. Opening it starts a fresh
// recording on the link; closing it detaches the recorder, so a closed
// monitor costs the link nothing.
#include <QWidget>
#include <functional>
#include <string>

#include "link/BusMonitor.h"

class AppContext;
class BusMonitorRows;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;

class BusMonitorWindow : public QWidget {
    Q_OBJECT
public:
    // help opens the monitor's section of the help file (F1 and the Help button).
    BusMonitorWindow(AppContext& ctx, std::function<void()> help, QWidget* parent = nullptr);
    ~BusMonitorWindow() override;

    // A fresh recording (unless the window is already open), then shown and raised.
    void open();
    // Takes what was recorded since the last time into the table; a timer
    // does it every 100 ms while the window is open.
    void refresh();
    // Writes the rows shown: comma-separated values for a .csv name, text
    // columns otherwise. False (after telling the operator) on failure.
    bool save(const std::string& path);

    BusMonitorLog& log() { return log_; }
    QTableView* table() const { return table_; }
    QPushButton* pauseButton() const { return pause_; }
    QCheckBox* kindBox(BusKind kind) const { return kinds_[unsigned(kind)]; }
    QComboBox* addressBox() const { return address_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void detach();
    void chooseAndSave();
    void showCounts();
    // Applies a change of what is shown, keeping the view's place.
    void refilter(const std::function<void()>& change);

    AppContext& ctx_;
    std::function<void()> help_;
    BusMonitorLog log_;
    BusWords words_;
    BusMonitorRows* rows_ = nullptr;
    QTableView* table_ = nullptr;
    QPushButton* pause_ = nullptr;
    QCheckBox* kinds_[BusKindCount] = {};
    QComboBox* address_ = nullptr;
    QLabel* counts_ = nullptr;
    QLabel* saved_ = nullptr;   // the last save's file
    QTimer* timer_ = nullptr;
};
