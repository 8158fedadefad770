#include "files/ReportViewDialog.h"

ReportViewDialog::ReportViewDialog(const std::string& path, QWidget* parent)
    : FileViewDialog(parent, 2560, false), model_(path) {
    showAreaText(model_.open());
}

void ReportViewDialog::onSave() { model_.save(); }
