#pragma once
// A dialog's way to its section of the help file: a Help button and F1 ask
// the main window, which owns the help viewer, to open the section above the
// dialog (a modal dialog lets no other window take input).
#include <QDialog>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <functional>

using HelpRequest = std::function<void(QWidget* over, const char* anchor)>;

inline void connectHelp(QDialog* dialog, QPushButton* button, const HelpRequest& help, const char* anchor) {
    auto show = [dialog, help, anchor] {
        if (help) help(dialog, anchor);
    };
    QObject::connect(button, &QPushButton::clicked, dialog, show);
    auto* key = new QShortcut(QKeySequence(Qt::Key_F1), dialog);
    QObject::connect(key, &QShortcut::activated, dialog, show);
    button->setEnabled(static_cast<bool>(help));
}
