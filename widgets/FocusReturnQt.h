#pragma once
// When a window closes, the keyboard goes back to the window that opened
// it. A window manager that hands the focus elsewhere, or none at all,
// would leave the opener inactive and its accelerators dead until a click.
// Not when another visible window took the focus meanwhile.
#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class FocusReturn : public QObject {
public:
    // Watches every window of the application while owner lives.
    explicit FocusReturn(QObject* owner) : QObject(owner) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Hide || !watched->isWidgetType()) return false;
        auto* closed = static_cast<QWidget*>(watched);
        const Qt::WindowType type = closed->windowType();
        if (!closed->isWindow() || !closed->parentWidget() ||
            (type != Qt::Dialog && type != Qt::Window && type != Qt::Tool))
            return false;
        QPointer<QWidget> opener(closed->parentWidget()->window());
        QTimer::singleShot(0, this, [opener] {
            QWidget* back = QApplication::activeModalWidget();
            if (!back) back = opener;
            if (!back || !back->isVisible()) return;
            // Qt may already count the opener as active while the display
            // still sends the keys to the closed window: asked again, the
            // display follows.
            QWidget* active = QApplication::activeWindow();
            if (active && active->isVisible() && active != back) return;
            back->raise();
            back->activateWindow();
        });
        return false;
    }
};
