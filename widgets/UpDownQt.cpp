#include "widgets/UpDownQt.h"

#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>

UpDownControl::UpDownControl(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    up_ = new QToolButton(this);
    up_->setObjectName("up");
    up_->setArrowType(Qt::UpArrow);
    up_->setAutoRepeat(true);
    down_ = new QToolButton(this);
    down_->setObjectName("down");
    down_->setArrowType(Qt::DownArrow);
    down_->setAutoRepeat(true);
    for (QToolButton* b : {up_, down_}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        layout->addWidget(b);
    }
    connect(up_, &QToolButton::clicked, this, &UpDownControl::stepUp);
    connect(down_, &QToolButton::clicked, this, &UpDownControl::stepDown);
}

void UpDownControl::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum < minimum ? minimum : maximum;
    setPosition(position_);
}

void UpDownControl::setPosition(int position) {
    if (position < minimum_) position = minimum_;
    if (position > maximum_) position = maximum_;
    position_ = position;
}

void UpDownControl::setArrowNames(const QString& up, const QString& down) {
    up_->setAccessibleName(up);
    down_->setAccessibleName(down);
}

void UpDownControl::stepUp() { step(1); }
void UpDownControl::stepDown() { step(-1); }

void UpDownControl::step(int delta) {
    int next = position_ + delta;
    if (next < minimum_ || next > maximum_) return;
    position_ = next;
    emit positionChanged(position_);
}

void UpDownControl::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up) {
        stepUp();
    } else if (event->key() == Qt::Key_Down) {
        stepDown();
    } else {
        QWidget::keyPressEvent(event);
    }
}
