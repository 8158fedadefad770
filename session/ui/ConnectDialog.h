#pragma once
// The connect dialog: the devices found on the bus, one line each; OK
// connects to the chosen one, Cancel leaves. A failed connection keeps the
// dialog open for another try.
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "session/ConnectCommands.h"

class AppContext;
class QDialogButtonBox;
class QGroupBox;
class QLabel;
class QListWidget;

class ConnectDialog : public QDialog, public DeviceChooser {
    Q_OBJECT
public:
    ConnectDialog(const AppContext& ctx, QWidget* parent);

    bool choose(const std::vector<std::string>& entries,
                const std::function<bool(int line)>& tryLine) override;

    QListWidget* list() const { return list_; }
    QDialogButtonBox* buttons() const { return buttons_; }

public slots:
    void accept() override;

private:
    QGroupBox* group_;
    QLabel* prompt_;
    QListWidget* list_;
    QDialogButtonBox* buttons_;
    std::function<bool(int)> tryLine_;
};

// Command 40004 with the dialog above, parented to the main window.
bool runConnectCommand(AppContext& ctx, QWidget* parent);
// Command 40005.
void runDisconnectCommand(AppContext& ctx);
