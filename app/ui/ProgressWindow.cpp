#include "app/ui/ProgressWindow.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <climits>

#include "widgets/DialogUnitsQt.h"
#include "widgets/KeyboardReadyQt.h"

namespace {
constexpr int READ_PERIOD_MS = 100;

// The bar's range is an int; larger maxima are cut, which only coarsens the steps.
int barValue(uint32_t value) { return static_cast<int>(std::min<uint32_t>(value, INT_MAX)); }
}  // namespace

ProgressWindow::ProgressWindow(const uint32_t* counter, uint32_t maximum, const QString& groupText,
                               const QString& caption, const QString& title, std::atomic<bool>* cancelled,
                               const QString& cancelText)
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      counter_(counter),
      maximum_(maximum),
      cancelled_(cancelled) {
    setObjectName(QStringLiteral("104"));
    setWindowTitle(title);
    setAccessibleName(caption);
    // A raised frame stands in for the dialog frame the pop-up has no title bar for.
    setStyleSheet(QStringLiteral("ProgressWindow { border: 2px outset palette(mid); }"));
    const DialogUnits du(this);
    // The Cancel button takes a row below the frame.
    const int extra = cancelled_ ? 20 : 0;
    setFixedSize(du.size(197, 84 + extra));

    group_ = new QGroupBox(groupText, this);
    group_->setObjectName(QStringLiteral("1300"));
    group_->setGeometry(du.rect(7, 6, 183, 70));
    if (cancelled_) {
        cancel_ = new QPushButton(cancelText.isEmpty() ? tr("Cancel") : cancelText, this);
        cancel_->setObjectName(QStringLiteral("2"));
        cancel_->setGeometry(du.rect(74, 82, 50, 14));
        connect(cancel_, &QPushButton::clicked, this, [this] {
            *cancelled_ = true;
            cancel_->setEnabled(false);   // pressed once: the operation stops at its next step
        });
        // Only this window takes input while the operation runs.
        setWindowModality(Qt::ApplicationModal);
    }

    caption_ = new QLabel(caption, this);
    caption_->setObjectName(QStringLiteral("1301"));
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setGeometry(du.rect(12, 26, 172, 10));

    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("1302"));
    bar_->setGeometry(du.rect(19, 52, 159, 14));
    bar_->setTextVisible(false);
    bar_->setRange(0, barValue(maximum_));
    bar_->setValue(0);

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }

    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, &ProgressWindow::readCounter);
    timer_->start(READ_PERIOD_MS);
    readyForKeyboard(this);
}

ProgressWindow::~ProgressWindow() { timer_->stop(); }

void ProgressWindow::readCounter() {
    const uint32_t value = counter_ ? *counter_ : 0;
    // Operations reset their counters between phases; the bar keeps its highest point.
    if (value > shownPosition_) shownPosition_ = value;
    bar_->setValue(barValue(std::min(shownPosition_, maximum_)));
}

void ProgressWindow::closeEvent(QCloseEvent* event) { event->ignore(); }

void ProgressWindow::keyPressEvent(QKeyEvent* event) {
    // Escape would close a dialog; this one ends only with its operation.
    if (event->key() == Qt::Key_Escape) {
        if (cancel_ && cancel_->isEnabled()) cancel_->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ProgressWindow::reject() {}
