#pragma once
// The line where a window says what its last command did ("Saved
// /home/op/table.csv"). The program's notices, which the main window's
// status bar shows, show there as well while that window is in front:
// the status bar is behind it.
#include <QLabel>
#include <QWidget>

inline void markResultLine(QLabel* label) { label->setProperty("resultLine", true); }

inline QLabel* resultLineOf(QWidget* window) {
    for (QLabel* label : window->findChildren<QLabel*>())
        if (label->property("resultLine").toBool()) return label;
    return nullptr;
}
