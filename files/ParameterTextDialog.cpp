#include "files/ParameterTextDialog.h"

ParameterTextDialog::ParameterTextDialog(const std::string& path, QWidget* parent)
    : FileViewDialog(parent, 1024, true), model_(path) {
    showAreaText(model_.open());
}

void ParameterTextDialog::onSave() { model_.save(areaText()); }
