#pragma once
// A dialog's way to its section of the help file: a Help button and F1 ask
// the main window, which owns the help viewer, to open the section above the
// dialog (a modal dialog lets no other window take input).
#include <QBoxLayout>
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

// The end of a window's button row: a Help button (caption given, opening
// anchor) and OK, the default button, which closes the dialog.
inline void addHelpAndOk(QDialog* dialog, QBoxLayout* row, const QString& helpCaption, const HelpRequest& help,
                         const char* anchor) {
    auto* helpButton = new QPushButton(helpCaption, dialog);
    helpButton->setObjectName(QStringLiteral("help"));
    connectHelp(dialog, helpButton, help, anchor);
    row->addWidget(helpButton);
    auto* ok = new QPushButton(QDialog::tr("&OK"), dialog);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    row->addWidget(ok);
}
