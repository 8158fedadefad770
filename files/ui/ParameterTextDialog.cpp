#include "files/ui/ParameterTextDialog.h"

ParameterTextDialog::ParameterTextDialog(AppContext& ctx, const std::string& path, QWidget* parent)
    : FileViewDialog(ctx, parent, 1024, true), model_(ctx, path) {
    showAreaText(model_.open());
}

void ParameterTextDialog::onSave() { model_.save(areaText()); }
