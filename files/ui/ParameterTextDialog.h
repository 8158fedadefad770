#pragma once
// The parameter text of a file, editable, with a button that seals it again.
#include "files/ui/FileViewDialog.h"
#include "files/ViewerModel.h"

class ParameterTextDialog : public FileViewDialog {
    Q_OBJECT
public:
    ParameterTextDialog(AppContext& ctx, const std::string& path, QWidget* parent);

protected:
    void onSave() override;

private:
    ParameterTextModel model_;
};
