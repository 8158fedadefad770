#include "params/ui/AddressDialog.h"
#include "session/ui/WindowNameQt.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "session/AppContext.h"
#include "params/AddressStepping.h"
#include "params/DeviceCommands.h"
#include "widgets/DialogFontQt.h"
#include "widgets/DialogKeysQt.h"
#include "widgets/KeyboardReadyQt.h"
#include "widgets/OkCancelRowQt.h"
#include "widgets/UpDownQt.h"
#include "texts/TextTable.h"

namespace {
constexpr uint32_t NEXT_ADDRESS_TEXT = 33478;
constexpr uint32_t PREVIOUS_ADDRESS_TEXT = 33479;
}  // namespace

AddressDialog::AddressDialog(const AppContext& ctx, QWidget* parent, uint8_t start) : QDialog(parent), address_(start) {
    setObjectName("110");
    setModal(true);
    setWindowTitle(QString::fromStdString(ctx.settings.windowTitle));
    nameWindow(this, ctx, 2304);

    auto* top = new QVBoxLayout(this);
    auto* frame = new QGroupBox(QString::fromStdString(ctx.message(2304)), this);
    frame->setObjectName("1900");
    auto* inner = new QVBoxLayout(frame);
    auto* prompt = new QLabel(QString::fromStdString(ctx.message(2305)), frame);
    prompt->setObjectName("1901");
    prompt->setAlignment(Qt::AlignCenter);
    prompt->setWordWrap(true);
    auto* row = new QHBoxLayout;
    label_ = new QLabel(frame);
    label_->setObjectName("1902");
    label_->setAlignment(Qt::AlignCenter);
    label_->setFrameStyle(QFrame::Box | QFrame::Plain);
    label_->setFont(boldDialogFont(24));
    label_->setMinimumWidth(80);
    upDown_ = new UpDownControl(frame);
    upDown_->setObjectName("1903");
    upDown_->setRange(LOWEST_BUS_ADDRESS, HIGHEST_BUS_ADDRESS);
    // A device found at an address outside the offered set keeps it on
    // display (OK writes it back unchanged); the first click leaves it.
    upDown_->setPosition(start);
    row->addStretch(1);
    row->addWidget(label_);
    row->addWidget(upDown_);
    row->addStretch(1);
    inner->addWidget(prompt);
    inner->addLayout(row);
    top->addWidget(frame);
    label_->setText(QString::fromStdString(addressText(address_)));

    upDown_->setArrowNames(QString::fromStdString(ctx.message(NEXT_ADDRESS_TEXT)),
                           QString::fromStdString(ctx.message(PREVIOUS_ADDRESS_TEXT)));
    addOkCancelRow(this, top);
    enterPressesFocusedButton(this);
    readyForKeyboard(this);
    connect(upDown_, &UpDownControl::positionChanged, this, &AddressDialog::moved);
}

void AddressDialog::moved(int position) {
    address_ = addressAfterStep(address_, position);
    upDown_->setPosition(address_);
    label_->setText(QString::fromStdString(addressText(address_)));
}

std::optional<uint8_t> AddressDialog::ask(const AppContext& ctx, QWidget* parent, uint8_t start) {
    AddressDialog dialog(ctx, parent, start);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.address();
}
