#pragma once
// Keyboard steps of the dialog tests: Tab until a control has the focus,
// Enter on whatever has it.
#include <QApplication>
#include <QWidget>
#include <QtTest>

// Activates the dialog and presses Tab until target has the focus; false
// when one round of the dialog's controls did not reach it.
inline bool tabTo(QWidget* dialog, QWidget* target) {
    dialog->activateWindow();
    if (!QTest::qWaitForWindowActive(dialog)) return false;
    for (int i = 0; i < 30 && !target->hasFocus(); ++i) {
        QWidget* at = QApplication::focusWidget();
        QTest::keyClick(at ? at : dialog, Qt::Key_Tab);
    }
    return target->hasFocus();
}

// Gives target the focus as a click would.
inline bool focusOn(QWidget* dialog, QWidget* target) {
    dialog->activateWindow();
    if (!QTest::qWaitForWindowActive(dialog)) return false;
    target->setFocus(Qt::MouseFocusReason);
    return target->hasFocus();
}

// Enter on the control that has the focus (the dialog when none has).
inline void pressEnter(QWidget* dialog) {
    QWidget* at = QApplication::focusWidget();
    QTest::keyClick(at ? at : dialog, Qt::Key_Return);
}
