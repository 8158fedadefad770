#pragma once
// The options dialog (dialog 101): language, COM port and connect at start-up,
// the serial devices present, one of which (or any typed device path) can be
// chosen for the COM port,
// and the backup and read-back around a load.
// It presents; OptionsModel decides what the lists hold and what OK writes.

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "app/OptionsModel.h"

class AppContext;
struct Settings;
class QCheckBox;
class QLineEdit;
class QListWidget;

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    // reload runs the main window's installation loader after OK has written
    // the choice, so title, menus and status text change at once.
    // roots: where the serial devices are looked for (tests give a tree of
    // their own).
    OptionsDialog(AppContext& ctx, QWidget* parent, std::function<bool()> reload,
                  SerialRoots roots = {});

public slots:
    void accept() override;
    // Reads the serial devices present again; the chosen COM port stays.
    void refreshDevices();
    // Maps the path typed in the path field to the chosen COM port.
    void useTypedPath();

protected:
    void showEvent(QShowEvent* event) override;

private:
    int chosenPort() const;
    void showPortDevices();
    void fillDevices();
    void selectDeviceOfPort();
    void showPathOfPort();

    AppContext& ctx_;
    Settings& settings_;
    std::function<bool()> reload_;
    std::vector<std::string> codes_;
    PortChoices choices_;
    PortWords words_;
    std::string noDevices_;
    bool shownBefore_ = false;
    QListWidget* languages_ = nullptr;
    QListWidget* ports_ = nullptr;
    QListWidget* devices_ = nullptr;
    QLineEdit* path_ = nullptr;
    QCheckBox* connectOnStartup_ = nullptr;
    QCheckBox* backupBeforeLoad_ = nullptr;
    QCheckBox* verifyAfterLoad_ = nullptr;
    QCheckBox* confirmSaveReads_ = nullptr;
    QCheckBox* historyJournal_ = nullptr;
    QLineEdit* historyPath_ = nullptr;
    QLineEdit* historyServer_ = nullptr;
    QLineEdit* tlsCaFile_ = nullptr;
};

// Runs the dialog modally; true when the operator confirmed it with OK.
bool runOptionsDialog(AppContext& ctx, QWidget* parent, std::function<bool()> reload);
