#pragma once
// Windows laid out in dialog units keep that layout at their opening size;
// made larger, each control follows the edges it is anchored to: a text
// area anchored left, top, right and bottom takes the new space, a button
// anchored right and bottom keeps its corner. The window never gets smaller
// than it opened, so no control leaves it.
#include <QDialog>
#include <QEvent>
#include <QObject>
#include <QRect>
#include <QWidget>
#include <vector>

class ResizeAnchors : public QObject {
public:
    enum Edge { Left = 1, Top = 2, Right = 4, Bottom = 8 };
    static constexpr unsigned Stretch = Left | Top | Right | Bottom;
    static constexpr unsigned StretchAcross = Left | Top | Right;
    static constexpr unsigned Corner = Right | Bottom;

    // window has its opening size; it becomes resizable and maximisable.
    explicit ResizeAnchors(QWidget* window) : QObject(window), window_(window), base_(window->size()) {
        window->setMinimumSize(base_);
        window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        window->setWindowFlag(Qt::WindowMaximizeButtonHint, true);
        window->setWindowFlag(Qt::WindowMinimizeButtonHint, true);
        if (auto* dialog = qobject_cast<QDialog*>(window)) dialog->setSizeGripEnabled(true);
        window->installEventFilter(this);
    }

    // edges: the window edges the control's own edges follow (Edge flags).
    // Anchored at the control's geometry as it is at the opening size.
    void add(QWidget* control, unsigned edges) { controls_.push_back({control, control->geometry(), edges}); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Resize) place();
        return QObject::eventFilter(watched, event);
    }

private:
    struct Anchored {
        QWidget* control;
        QRect base;
        unsigned edges;
    };

    void place() {
        const int dx = window_->width() - base_.width();
        const int dy = window_->height() - base_.height();
        for (const Anchored& a : controls_) {
            QRect r = a.base;
            // A control anchored only at the far edge moves; anchored at both, it grows.
            if (a.edges & Right) r.setRight(r.right() + dx);
            if (!(a.edges & Left)) r.setLeft(r.left() + dx);
            if (a.edges & Bottom) r.setBottom(r.bottom() + dy);
            if (!(a.edges & Top)) r.setTop(r.top() + dy);
            a.control->setGeometry(r);
        }
    }

    QWidget* window_;
    QSize base_;
    std::vector<Anchored> controls_;
};
