#pragma once
// The options dialog (dialog 101): language, COM port, connect at start-up,
// and the backup and read-back around a load.
// It presents; OptionsModel decides what the lists hold and what OK writes.

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class AppContext;
struct Settings;
class QCheckBox;
class QListWidget;

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    // reload runs the main window's installation loader after OK has written
    // the choice, so title, menus and status text change at once.
    OptionsDialog(AppContext& ctx, QWidget* parent, std::function<bool()> reload);

public slots:
    void accept() override;

private:
    Settings& settings_;
    std::function<bool()> reload_;
    std::vector<std::string> codes_;
    QListWidget* languages_ = nullptr;
    QListWidget* ports_ = nullptr;
    QCheckBox* connectOnStartup_ = nullptr;
    QCheckBox* backupBeforeLoad_ = nullptr;
    QCheckBox* verifyAfterLoad_ = nullptr;
};

// Runs the dialog modally; true when the operator confirmed it with OK.
bool runOptionsDialog(AppContext& ctx, QWidget* parent, std::function<bool()> reload);
