#include "session/ui/ConnectDialog.h"
#include "session/ui/WindowNameQt.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "session/AppContext.h"
#include "widgets/MonospacedFontQt.h"
#include "widgets/DialogKeysQt.h"
#include "widgets/KeyboardReadyQt.h"
#include "widgets/DialogUnitsQt.h"
#include "widgets/ShellTextQt.h"
#include "link/DeviceLink.h"

ConnectDialog::ConnectDialog(const AppContext& ctx, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("103"));
    setWindowTitle(shellText(ctx.settings.windowTitle));
    nameWindow(this, ctx, 132);
    const DialogUnits du(this);
    setFixedSize(du.size(186, 130));

    group_ = new QGroupBox(shellText(ctx.message(512)), this);
    group_->setObjectName(QStringLiteral("1200"));
    group_->setGeometry(du.rect(7, 7, 172, 96));

    prompt_ = new QLabel(shellText(ctx.message(513)), this);
    prompt_->setObjectName(QStringLiteral("1201"));
    prompt_->setWordWrap(true);
    prompt_->setGeometry(du.rect(14, 19, 158, 18));

    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("1202"));
    list_->setGeometry(du.rect(14, 39, 158, 57));
    list_->setFont(monospacedFont(0, QStringLiteral("Monospace")));

    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->setGeometry(du.rect(7, 108, 172, 16));
    connect(buttons_, &QDialogButtonBox::accepted, this, &ConnectDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &ConnectDialog::reject);
    // A double click on a device connects to it, as OK does.
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        list_->setCurrentItem(item);
        accept();
    });
    enterPressesFocusedButton(this);
    readyForKeyboard(this);
}

bool ConnectDialog::choose(const std::vector<std::string>& entries,
                           const std::function<bool(int line)>& tryLine) {
    list_->clear();
    for (const std::string& entry : entries) list_->addItem(shellText(entry));
    if (list_->count() > 0) list_->setCurrentRow(0);
    tryLine_ = tryLine;
    const bool accepted = exec() == QDialog::Accepted;
    tryLine_ = nullptr;
    return accepted;
}

void ConnectDialog::accept() {
    const int line = list_->currentItem() ? list_->currentRow() : -1;
    // A refused line keeps the dialog up; the procedure told the operator why.
    if (tryLine_ && !tryLine_(line)) return;
    QDialog::accept();
}

bool runConnectCommand(AppContext& ctx, QWidget* parent) {
    ConnectDialog dialog(ctx, parent);
    return connectCommand(ctx, ctx.settings.serialPort, dialog);
}

void runDisconnectCommand(AppContext& ctx) { disconnectCommand(ctx); }
