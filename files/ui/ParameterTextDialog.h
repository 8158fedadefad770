#pragma once
// The parameter text of a file, editable, with a button that seals it again.
// Closing it with edits not saved asks first: Save, Discard or Cancel.
#include "files/ui/FileViewDialog.h"
#include "files/ViewerModel.h"

class QMessageBox;

class ParameterTextDialog : public FileViewDialog {
    Q_OBJECT
public:
    ParameterTextDialog(AppContext& ctx, const std::string& path, QWidget* parent);

    // OK, Esc and the close box come here.
    void done(int result) override;

protected:
    void onSave() override;

private:
    // True when the window may close: nothing unsaved, or saved or discarded now.
    bool settleUnsavedText();

    AppContext& ctx_;
    ParameterTextModel model_;
    bool closing_ = false;
};
