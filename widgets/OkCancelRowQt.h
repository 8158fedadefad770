#pragma once
// The button row of the small device dialogs: Cancel (id 2) and the default
// OK (id 1) at the right, wired to reject and accept. The dialog makes
// Enter press the focused button (DialogKeysQt.h) once its controls exist.

#include <QBoxLayout>
#include <QDialog>
#include <QPushButton>

inline void addOkCancelRow(QDialog* dialog, QBoxLayout* layout) {
    auto* buttons = new QHBoxLayout;
    auto* cancel = new QPushButton("&Cancel", dialog);
    cancel->setObjectName("2");
    auto* ok = new QPushButton("&OK", dialog);
    ok->setObjectName("1");
    ok->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
}
