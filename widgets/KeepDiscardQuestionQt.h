#pragma once
// The question before a window with unsaved work closes: keep it (save or
// write), discard it, or cancel the close. Enter and Esc both cancel, so no
// key loses the work. The box and its buttons carry object names (NAME,
// NAME + "Keep", NAME + "Discard", NAME + "Cancel") for the tests.

#include <QMessageBox>
#include <QPushButton>
#include <QString>

enum class UnsavedChoice { Keep, Discard, Cancel };

struct UnsavedButtons {
    QString keep, discard, cancel;
};

inline UnsavedChoice askAboutUnsavedWork(QWidget* parent, const QString& title, const QString& text,
                                         const UnsavedButtons& captions, const QString& name) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    box.setObjectName(name);
    QPushButton* keep = box.addButton(captions.keep, QMessageBox::AcceptRole);
    keep->setObjectName(name + QStringLiteral("Keep"));
    QPushButton* discard = box.addButton(captions.discard, QMessageBox::DestructiveRole);
    discard->setObjectName(name + QStringLiteral("Discard"));
    QPushButton* cancel = box.addButton(captions.cancel, QMessageBox::RejectRole);
    cancel->setObjectName(name + QStringLiteral("Cancel"));
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == keep) return UnsavedChoice::Keep;
    if (box.clickedButton() == discard) return UnsavedChoice::Discard;
    return UnsavedChoice::Cancel;
}
