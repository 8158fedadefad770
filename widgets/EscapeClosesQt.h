#pragma once
// Esc closes a window that stands beside the main window (bus monitor, help),
// as it closes a dialog.
#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

inline void closeOnEscape(QWidget* window) {
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    escape->setObjectName(QStringLiteral("escape"));
    escape->setContext(Qt::WindowShortcut);
    QObject::connect(escape, &QShortcut::activated, window, &QWidget::close);
}
