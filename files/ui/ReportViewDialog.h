#pragma once
// The report of a parameter file, read-only, with a button that saves it.
#include "files/ui/FileViewDialog.h"
#include "files/ViewerModel.h"

class ReportViewDialog : public FileViewDialog {
    Q_OBJECT
public:
    ReportViewDialog(AppContext& ctx, const std::string& path, QWidget* parent);

protected:
    void onSave() override;

private:
    ReportViewModel model_;
};
