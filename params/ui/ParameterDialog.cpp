#include "params/ui/ParameterDialog.h"
#include "session/ui/WindowNameQt.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <climits>

#include "widgets/DialogFontQt.h"
#include "widgets/DialogKeysQt.h"
#include "widgets/KeyboardReadyQt.h"
#include "widgets/UpDownQt.h"
#include "session/AppContext.h"

namespace {

constexpr uint32_t NEXT_PARAMETER_TEXT = 33473;
constexpr uint32_t PREVIOUS_PARAMETER_TEXT = 33474;

QString text(const AppContext& ctx, uint32_t n) { return QString::fromStdString(ctx.message(n)); }

QGroupBox* groupBox(const AppContext& ctx, QWidget* parent, const char* id, uint32_t caption) {
    auto* box = new QGroupBox(text(ctx, caption), parent);
    box->setObjectName(id);
    return box;
}

QLabel* fixedLabel(QWidget* parent, const char* caption, Qt::Alignment alignment) {
    auto* label = new QLabel(caption, parent);
    label->setAlignment(alignment);
    return label;
}

}  // namespace

ParameterDialog::ParameterDialog(AppContext& ctx, QWidget* parent, int mode)
    : QDialog(parent), ctx_(ctx), model_(std::make_unique<ParameterDialogModel>(ctx, mode)) {
    model_->onWaitCursor = [this](bool on) {
        if (on && !waitCursorShown_) QApplication::setOverrideCursor(Qt::WaitCursor);
        if (!on && waitCursorShown_) QApplication::restoreOverrideCursor();
        waitCursorShown_ = on;
    };
    build();
    mirror();
}

ParameterDialog::~ParameterDialog() {
    if (waitCursorShown_) QApplication::restoreOverrideCursor();
}

void ParameterDialog::build() {
    setObjectName("105");
    setModal(true);
    setWindowTitle(QString::fromStdString(model_->view().title));
    nameWindow(this, ctx_, 145);

    auto* top = new QVBoxLayout(this);
    outerFrame_ = new QGroupBox(QString::fromStdString(model_->view().frameCaption), this);
    outerFrame_->setObjectName("1400");
    top->addWidget(outerFrame_);
    auto* outer = new QVBoxLayout(outerFrame_);

    // Parameter number: the hex field, its arrows and two lines of help.
    QGroupBox* numberArea = groupBox(ctx_, outerFrame_, "1401", 1025);
    auto* numberRow = new QHBoxLayout(numberArea);
    numberField_ = new QLineEdit(numberArea);
    numberField_->setObjectName("1402");
    numberField_->setAlignment(Qt::AlignCenter);
    numberField_->setFont(boldDialogFont(24));
    numberField_->setFixedWidth(120);
    upDown_ = new UpDownControl(numberArea);
    upDown_->setObjectName("1403");
    upDown_->setRange(FIRST_PARAMETER, PARAMETER_CEILING);
    auto* hints = new QVBoxLayout;
    auto* hint1 = new QLabel(text(ctx_, 1028), numberArea);
    hint1->setObjectName("1404");
    auto* hint2 = new QLabel(text(ctx_, 1029), numberArea);
    hint2->setObjectName("1405");
    hints->addWidget(hint1);
    hints->addWidget(hint2);
    numberRow->addWidget(numberField_);
    numberRow->addWidget(upDown_);
    numberRow->addLayout(hints, 1);
    outer->addWidget(numberArea);

    QGroupBox* descriptionArea = groupBox(ctx_, outerFrame_, "1406", 1030);
    auto* descriptionBox = new QVBoxLayout(descriptionArea);
    descriptionField_ = new QPlainTextEdit(descriptionArea);
    descriptionField_->setObjectName("1407");
    descriptionField_->setReadOnly(true);
    descriptionField_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    descriptionField_->setFont(boldDialogFont(20));
    descriptionField_->setFixedHeight(80);
    descriptionBox->addWidget(descriptionField_);
    outer->addWidget(descriptionArea);

    // Value: the decimal field and the slider with its four fixed labels.
    QGroupBox* valueArea = groupBox(ctx_, outerFrame_, "1408", 1032);
    auto* valueGrid = new QGridLayout(valueArea);
    valueField_ = new QLineEdit(valueArea);
    valueField_->setObjectName("1409");
    valueField_->setAlignment(Qt::AlignCenter);
    valueField_->setFont(boldDialogFont(24));
    valueField_->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]*"), valueField_));
    valueField_->installEventFilter(this);
    // What a typed value becomes when it is not taken as typed: said under
    // the field before Send sends anything.
    valueNote_ = new QLabel(valueArea);
    valueNote_->setObjectName("1412");
    valueNote_->setTextFormat(Qt::PlainText);
    valueNote_->setWordWrap(true);
    valueNote_->setAlignment(Qt::AlignCenter);
    // Room for two lines at all times: the dialog keeps its size as the note comes and goes.
    valueNote_->setMinimumHeight(2 * valueNote_->fontMetrics().lineSpacing() + 2);
    slider_ = new QSlider(Qt::Horizontal, valueArea);
    slider_->setObjectName("1410");
    valueGrid->addWidget(valueField_, 0, 0, 1, 2);
    valueGrid->addWidget(valueNote_, 1, 0, 1, 2);
    valueGrid->addWidget(fixedLabel(valueArea, "0%", Qt::AlignLeft), 2, 0);
    valueGrid->addWidget(fixedLabel(valueArea, "100%", Qt::AlignRight), 2, 1);
    valueGrid->addWidget(slider_, 3, 0, 1, 2);
    valueGrid->addWidget(fixedLabel(valueArea, "OFF", Qt::AlignLeft), 4, 0);
    valueGrid->addWidget(fixedLabel(valueArea, "ON", Qt::AlignRight), 4, 1);
    outer->addWidget(valueArea);

    auto* buttons = new QHBoxLayout;
    sendButton_ = new QPushButton(text(ctx_, 1041), this);
    sendButton_->setObjectName("1411");
    sendButton_->setDefault(true);
    okButton_ = new QPushButton("&OK", this);
    okButton_->setObjectName("1");
    buttons->addStretch(1);
    buttons->addWidget(sendButton_);
    buttons->addWidget(okButton_);
    top->addLayout(buttons);
    // Each control by the caption of its frame, the arrows by what they do.
    numberField_->setAccessibleName(spokenCaption(text(ctx_, 1025)));
    descriptionField_->setAccessibleName(spokenCaption(text(ctx_, 1030)));
    valueField_->setAccessibleName(spokenCaption(text(ctx_, 1032)));
    slider_->setAccessibleName(spokenCaption(text(ctx_, 1032)));
    upDown_->setArrowNames(text(ctx_, NEXT_PARAMETER_TEXT), text(ctx_, PREVIOUS_PARAMETER_TEXT));
    enterPressesFocusedButton(this);
    readyForKeyboard(this);

    // Only what the operator does reaches the model: textEdited and the
    // signal-blocked mirror keep the dialog's own writes out.
    connect(numberField_, &QLineEdit::textEdited, this, &ParameterDialog::numberEdited);
    connect(valueField_, &QLineEdit::textEdited, this, &ParameterDialog::valueEdited);
    connect(slider_, &QSlider::valueChanged, this, &ParameterDialog::sliderChanged);
    connect(upDown_, &UpDownControl::positionChanged, this, [this](int p) {
        model_->spinTo(p);
        mirror();
    });
    connect(sendButton_, &QPushButton::clicked, this, [this] {
        model_->send();
        mirror();
    });
    connect(okButton_, &QPushButton::clicked, this, [this] {
        model_->ok();
        mirror();
    });
}

bool ParameterDialog::start() {
    bool open = model_->open();
    mirror();
    return open;
}

void ParameterDialog::reject() {
    model_->cancel();
    mirror();
}

void ParameterDialog::numberEdited(const QString& typed) {
    model_->numberFieldChanged(typed.toStdString());
    mirror();
}

void ParameterDialog::valueEdited(const QString& typed) {
    model_->valueFieldChanged(typed.toStdString());
    mirror();
}

void ParameterDialog::sliderChanged(int position) {
    uint32_t value = static_cast<uint32_t>(position) * sliderScale_;
    if (position == slider_->maximum()) value = model_->view().sliderMaximum;
    model_->sliderMoved(value);
    mirror();
}

bool ParameterDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == valueField_ && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        model_->valueFieldClicked();
        mirror();
    }
    return QDialog::eventFilter(watched, event);   // the field takes the click as usual
}

void ParameterDialog::mirror() {
    const ParameterDialogView& view = model_->view();
    const QSignalBlocker blockNumber(numberField_);
    const QSignalBlocker blockValue(valueField_);
    const QSignalBlocker blockSlider(slider_);
    const QSignalBlocker blockUpDown(upDown_);

    QString number = QString::fromStdString(view.numberText);
    if (numberField_->text() != number) numberField_->setText(number);
    upDown_->setRange(view.spinMinimum, view.spinMaximum);
    upDown_->setPosition(view.spinPosition);

    QString description = QString::fromStdString(view.description);
    if (descriptionField_->toPlainText() != description) descriptionField_->setPlainText(description);

    QString value = QString::fromStdString(view.valueText);
    if (valueField_->text() != value) valueField_->setText(value);
    valueField_->setReadOnly(view.valueReadOnly);
    const QString note = QString::fromStdString(view.valueNote);
    if (valueNote_->text() != note) valueNote_->setText(note);
    valueNote_->setStyleSheet(view.valueOutcome == EditOutcome::Refused   ? QStringLiteral("color: #b00000")
                              : view.valueOutcome == EditOutcome::Clamped ? QStringLiteral("color: #8a5a00")
                                                                          : QString());

    sliderScale_ = view.sliderMaximum > static_cast<uint32_t>(INT_MAX) ? 2 : 1;
    slider_->setRange(0, static_cast<int>(view.sliderMaximum / sliderScale_));
    slider_->setValue(static_cast<int>(view.sliderPosition / sliderScale_));
    slider_->setEnabled(view.sliderEnabled);
    sendButton_->setEnabled(view.sendEnabled);

    if (view.focusRequests != appliedFocusRequests_) {
        appliedFocusRequests_ = view.focusRequests;
        if (view.focus == DialogFocus::NumberField)
            numberField_->setFocus();
        else if (view.focus == DialogFocus::Dialog)
            setFocus();
    }

    if (view.closed && !finished_) {
        finished_ = true;
        done(view.restarted ? QDialog::Accepted : QDialog::Rejected);
    }
}
