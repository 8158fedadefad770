#include "params/ui/PasswordDialog.h"
#include "session/ui/WindowNameQt.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>
#include <QVBoxLayout>
#include <string>
#include <utility>

#include "session/AppContext.h"
#include "params/DeviceCommands.h"
#include "widgets/DialogFontQt.h"
#include "widgets/DialogKeysQt.h"
#include "widgets/KeyboardReadyQt.h"
#include "widgets/OkCancelRowQt.h"
#include "texts/TextTable.h"

namespace {

// Holds what the operator types to the field's rules (passwordFieldAccepts).
class PasswordValidator : public QValidator {
public:
    PasswordValidator(std::string opened, QObject* parent) : QValidator(parent), opened_(std::move(opened)) {}
    State validate(QString& input, int&) const override {
        return passwordFieldAccepts(input.toStdString(), opened_) ? Acceptable : Invalid;
    }

private:
    std::string opened_;
};

}  // namespace

PasswordDialog::PasswordDialog(const AppContext& ctx, QWidget* parent, uint32_t current) : QDialog(parent) {
    setObjectName("106");
    setModal(true);
    setWindowTitle(QString::fromStdString(ctx.settings.windowTitle));
    nameWindow(this, ctx, 1280);

    auto* top = new QVBoxLayout(this);
    auto* frame = new QGroupBox(QString::fromStdString(ctx.message(1280)), this);
    frame->setObjectName("1500");
    auto* inner = new QVBoxLayout(frame);
    auto* prompt = new QLabel(QString::fromStdString(ctx.message(1281)), frame);
    prompt->setObjectName("1501");
    prompt->setAlignment(Qt::AlignCenter);
    prompt->setWordWrap(true);
    field_ = new QLineEdit(frame);
    field_->setObjectName("1502");
    field_->setAlignment(Qt::AlignCenter);
    field_->setEchoMode(QLineEdit::Password);
    prompt->setBuddy(field_);   // a screen reader names the field by its prompt
    // No length limit on the field itself: it would cut a longer stored
    // password before it is shown. The validator limits only what is typed.
    const std::string opened = passwordFieldText(current);
    field_->setValidator(new PasswordValidator(opened, field_));
    field_->setFont(boldDialogFont(24));
    field_->setText(QString::fromStdString(opened));
    inner->addWidget(prompt);
    inner->addWidget(field_);
    top->addWidget(frame);

    addOkCancelRow(this, top);
    enterPressesFocusedButton(this);
    readyForKeyboard(this);
    field_->setFocus();
}

uint32_t PasswordDialog::value() const { return passwordFromText(field_->text().toStdString()); }

std::optional<uint32_t> PasswordDialog::ask(const AppContext& ctx, QWidget* parent, uint32_t current) {
    PasswordDialog dialog(ctx, parent, current);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.value();
}
