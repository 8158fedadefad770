#include "files/ui/ReportViewDialog.h"

ReportViewDialog::ReportViewDialog(AppContext& ctx, const std::string& path, QWidget* parent)
    : FileViewDialog(ctx, parent, 2560, false), model_(ctx, path) {
    showAreaText(model_.open());
}

void ReportViewDialog::onSave() { model_.save(); }
