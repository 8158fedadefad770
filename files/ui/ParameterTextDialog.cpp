#include "files/ui/ParameterTextDialog.h"

#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include "session/AppContext.h"
#include "session/ui/WindowPlaceQt.h"
#include "widgets/KeepDiscardQuestionQt.h"
#include "widgets/KeyboardReadyQt.h"
#include "widgets/ShellTextQt.h"

namespace {
constexpr uint32_t UNSAVED_QUESTION_TEXT = 33296;
constexpr uint32_t SAVE_BUTTON_TEXT = 2563;
constexpr uint32_t DISCARD_BUTTON_TEXT = 33177;
constexpr uint32_t CANCEL_BUTTON_TEXT = 33135;
}  // namespace

ParameterTextDialog::ParameterTextDialog(AppContext& ctx, const std::string& path, QWidget* parent)
    : FileViewDialog(ctx, parent, 1024, true), ctx_(ctx), model_(ctx, path) {
    showAreaText(model_.open());
    // What was opened is nothing to lose; the first keystroke is.
    area()->document()->setModified(false);
    readyForKeyboard(this);
    keepWindowPlace(this, ctx, "text_editor");
}

void ParameterTextDialog::onSave() {
    if (model_.save(areaText())) area()->document()->setModified(false);
}

bool ParameterTextDialog::settleUnsavedText() {
    if (!area()->document()->isModified()) return true;
    const UnsavedChoice choice = askAboutUnsavedWork(
        this, windowTitle(), shellText(ctx_.texts, UNSAVED_QUESTION_TEXT),
        {shellText(ctx_.texts, SAVE_BUTTON_TEXT), shellText(ctx_.texts, DISCARD_BUTTON_TEXT),
         shellText(ctx_.texts, CANCEL_BUTTON_TEXT)},
        QStringLiteral("unsaved"));
    if (choice == UnsavedChoice::Discard) return true;
    // A save the operator broke off, or one that failed, keeps the editor open.
    if (choice == UnsavedChoice::Keep) return model_.save(areaText());
    return false;
}

void ParameterTextDialog::done(int result) {
    if (closing_) return;
    closing_ = true;
    const bool mayClose = settleUnsavedText();
    closing_ = false;
    if (mayClose) FileViewDialog::done(result);
}
