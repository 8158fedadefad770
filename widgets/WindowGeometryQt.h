#pragma once
// A window that remembers where the operator left it: its size, place and
// whether it was maximised are kept under a key of its own when it closes or
// hides, and given back when it is built again. Where they are kept is the
// caller's (the user's state file); a place on a screen that is gone now is
// not used, so a window never opens out of reach.
#include <QByteArray>
#include <QEvent>
#include <QGuiApplication>
#include <QObject>
#include <QScreen>
#include <QWidget>
#include <functional>
#include <string>

struct WindowPlaceStore {
    std::function<std::string(const std::string& key)> read;   // empty when none was kept
    std::function<void(const std::string& key, const std::string& value)> write;
};

class WindowGeometry : public QObject {
public:
    // Call once the window has its opening size.
    WindowGeometry(QWidget* window, std::string key, WindowPlaceStore store)
        : QObject(window), window_(window), key_(std::move(key)), store_(std::move(store)) {
        if (store_.read) restore(store_.read(key_));
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && (event->type() == QEvent::Close || event->type() == QEvent::Hide) &&
            window_->isWindow() && store_.write)
            store_.write(key_, window_->saveGeometry().toBase64().toStdString());
        return QObject::eventFilter(watched, event);
    }

private:
    void restore(const std::string& kept) {
        if (kept.empty()) return;
        const QSize opening = window_->size();
        const QRect before = window_->geometry();
        if (!window_->restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(kept)))) return;
        // Never smaller than the layout's own size, and only on a screen there is.
        if (window_->width() < opening.width() || window_->height() < opening.height())
            window_->resize(window_->size().expandedTo(opening));
        if (!QGuiApplication::screenAt(window_->geometry().center())) window_->setGeometry(before);
    }

    QWidget* window_;
    std::string key_;
    WindowPlaceStore store_;
};
