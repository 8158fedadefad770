#include "app/ui/ProgressWindow.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <climits>

#include "widgets/DialogUnitsQt.h"

namespace {
constexpr int READ_PERIOD_MS = 100;

// The bar's range is an int; larger maxima are cut, which only coarsens the steps.
int barValue(uint32_t value) { return static_cast<int>(std::min<uint32_t>(value, INT_MAX)); }
}  // namespace

ProgressWindow::ProgressWindow(const uint32_t* counter, uint32_t maximum, const QString& groupText,
                               const QString& caption, const QString& title)
    : QDialog(nullptr, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      counter_(counter),
      maximum_(maximum) {
    setObjectName(QStringLiteral("104"));
    setWindowTitle(title);
    // A raised frame stands in for the dialog frame the pop-up has no title bar for.
    setStyleSheet(QStringLiteral("ProgressWindow { border: 2px outset palette(mid); }"));
    const DialogUnits du(this);
    setFixedSize(du.size(197, 84));

    group_ = new QGroupBox(groupText, this);
    group_->setObjectName(QStringLiteral("1300"));
    group_->setGeometry(du.rect(7, 6, 183, 70));

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
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ProgressWindow::reject() {}
