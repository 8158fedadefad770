#pragma once
// Enter in a dialog presses the push button that has the focus; with the
// focus on anything else it presses the dialog's default button. Qt does
// exactly this for push buttons that are "auto default", so every dialog
// calls this once its buttons exist: each of its push buttons becomes auto
// default, and the button the dialog made its default stays the default.

#include <QDialog>
#include <QPushButton>

inline void enterPressesFocusedButton(QDialog* dialog) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->window() == dialog) button->setAutoDefault(true);
    }
}
