#include "params/ParameterDialogModel.h"


#include "session/AppContext.h"
#include "session/DeviceSteps.h"
#include "session/JournalEntry.h"
#include "link/DeviceLink.h"
#include "texts/TextFill.h"

namespace {
constexpr uint32_t AccessProgressMaximum = 10000;   // the handshake counts milliseconds
constexpr uint32_t PARAMETER_SENT_TEXT = 33030;      // "Parameter %s set to %s"
constexpr uint32_t SEND_AGAIN_TEXT = 0x8280;         // "%s was typed; %s will be sent. Send (Enter) once more ..."
}  // namespace

ParameterDialogModel::ParameterDialogModel(AppContext& ctx, int mode) : ctx_(ctx), mode_(mode) {
    view_.title = ctx_.settings.windowTitle;
    view_.frameCaption = ctx_.message(mode == 0 ? 1024 : 1063);
    view_.spinPosition = static_cast<int>(ctx_.window().currentParameterNumber);
}

bool ParameterDialogModel::beginAction() {
    if (busy_ || view_.closed) return false;
    busy_ = true;
    return true;
}

void ParameterDialogModel::endAction() {
    busy_ = false;
    if (cancelPending_ && !view_.closed) {
        cancelPending_ = false;
        cancel();
    }
}

bool ParameterDialogModel::open() {
    if (!beginAction()) return false;
    DeviceLink& link = ctx_.link;
    FrameState& owner = ctx_.window();

    // Between the steps: a close asked for while the device was busy ends the
    // opening here, before anything was changed that would need a restart.
    auto closedMeanwhile = [this] {
        if (!cancelPending_) return false;
        cancelPending_ = false;
        closeDialog(false);
        return true;
    };

    ctx_.showProgressText(&link.progressCounter, AccessProgressMaximum, 1056);
    int access = link.OpenParameterAccess(true);
    ctx_.ui().HideProgress();
    if (closedMeanwhile()) return endAction(), false;
    if (!access) {
        ctx_.showText(1057);
        closeDialog(false);
        return endAction(), false;
    }

    ParameterReading first = readParameter(link, owner.currentParameterNumber);
    if (closedMeanwhile()) return endAction(), false;
    if (first.outcome == ReadOutcome::Failed) {
        ctx_.showText(3);
        closeDialog(false);
        return endAction(), false;
    }
    if (first.outcome == ReadOutcome::EndOfTable || first.outcome == ReadOutcome::NotAvailable) {
        owner.currentParameterNumber = FIRST_PARAMETER;
        link.endKey = PARAMETER_CEILING;
    }

    // A bound learned by an earlier dialog holds only while the device still
    // answers end of table there.
    if (link.endKey != PARAMETER_CEILING) {
        ParameterReading bound = readParameter(link, link.endKey);
        if (closedMeanwhile()) return endAction(), false;
        if (bound.outcome == ReadOutcome::Failed) {
            ctx_.showText(3);
            closeDialog(false);
            return endAction(), false;
        }
        if (bound.outcome != ReadOutcome::EndOfTable) {
            owner.currentParameterNumber = FIRST_PARAMETER;
            link.endKey = PARAMETER_CEILING;
        }
    }

    view_.spinMinimum = FIRST_PARAMETER;
    view_.spinMaximum = PARAMETER_CEILING;
    if (!showParameter(false)) return endAction(), false;
    if (closedMeanwhile()) return endAction(), false;
    openingDone_ = true;
    endAction();
    return !view_.closed;
}

bool ParameterDialogModel::showParameter(bool backward) {
    DeviceLink& link = ctx_.link;
    FrameState& owner = ctx_.window();

    view_.waitCursor = true;
    if (onWaitCursor) onWaitCursor(true);
    ctx_.showProgressText(&link.progressCounter, link.endKey, 1064);
    ParameterReading reading;
    SeekResult result = seekParameter(link, owner.currentParameterNumber, backward, &reading);
    ctx_.ui().HideProgress();
    view_.waitCursor = false;
    if (onWaitCursor) onWaitCursor(false);

    if (result == SeekResult::Failed) {
        ctx_.showText(3);
        closeAsCancel();
        return false;
    }

    if (result == SeekResult::Found) {
        onOff_ = reading.onOff;
        deviceValue_ = reading.onOff ? (reading.value != 0) : reading.value;
        digits_ = reading.digits;
    }
    view_.spinPosition = static_cast<int>(owner.currentParameterNumber);
    numberFieldLive_ = false;
    writeNumberField(formatParameterNumber(owner.currentParameterNumber));
    numberFieldLive_ = true;

    std::string description;
    if (result == SeekResult::Found) {
        parameterShown_ = true;
        view_.sliderEnabled = true;
        description = parameterDescription(ctx_.texts, owner.currentParameterNumber);
        view_.sliderMaximum = onOff_ ? 1 : maxParameterValue(digits_);
        view_.valueReadOnly = onOff_;
        showValue(onOff_ ? (reading.value ? 1 : 0) : reading.value);
    } else {
        description = ctx_.message(result == SeekResult::EndOfTable ? 1060 : 1059);
        parameterShown_ = false;
        view_.sliderMaximum = 0;
        view_.sliderEnabled = false;
        view_.valueReadOnly = true;
        showValue(0);
        view_.valueText.clear();
    }
    view_.description = description;
    view_.sendEnabled = false;
    moveFocus(DialogFocus::Dialog);
    return true;
}

void ParameterDialogModel::moveFocus(DialogFocus focus) {
    view_.focus = focus;
    ++view_.focusRequests;
}

void ParameterDialogModel::clearParameterFields() {
    parameterShown_ = false;
    view_.sliderMaximum = 0;
    view_.sliderEnabled = false;
    view_.description.clear();
    view_.valueReadOnly = true;
    showValue(0);
    view_.valueText.clear();
    view_.sendEnabled = false;
}

// The number field written by the dialog itself raises the same change
// handling as the operator typing would; numberFieldLive_ decides whether it
// is acted on.
void ParameterDialogModel::writeNumberField(const std::string& text) {
    view_.numberText = text;
    if (numberFieldLive_) numberFieldChanged(text);
}

// A value the dialog puts in the field itself (read from the device, set by
// the slider or a click): what the field shows is what Send sends.
void ParameterDialogModel::showValue(uint32_t value) {
    view_.sliderPosition = value;
    view_.valueText = parameterValueText(ctx_.texts, value, onOff_);
    setValueNote(EditOutcome::Accepted, {});
    sendUnseen_ = false;
    view_.sendEnabled = true;
}

void ParameterDialogModel::setValueNote(EditOutcome outcome, const std::string& note) {
    view_.valueOutcome = outcome;
    view_.valueNote = note;
}

void ParameterDialogModel::numberFieldChanged(const std::string& text) {
    view_.numberText = text;
    if (!numberFieldLive_) return;
    if (!beginAction()) return;
    FrameState& owner = ctx_.window();
    std::optional<ParameterNumber> typed = parseParameterNumber(ctx_.link, text);
    if (typed) {
        owner.currentParameterNumber = *typed;
        numberFieldLive_ = false;
        showParameter(false);
        numberFieldLive_ = true;
    } else {
        clearParameterFields();
    }
    endAction();
}

void ParameterDialogModel::spinTo(int position) {
    if (!beginAction()) return;
    FrameState& owner = ctx_.window();
    DeviceLink& link = ctx_.link;
    int64_t current = owner.currentParameterNumber;
    if (position > current) {
        nextParameterNumber(link, owner.currentParameterNumber);
        showParameter(false);
    } else if (position < current) {
        previousParameterNumber(link, owner.currentParameterNumber);
        showParameter(true);
    }
    endAction();
}

void ParameterDialogModel::spinUp() {
    if (view_.spinPosition < view_.spinMaximum) spinTo(view_.spinPosition + 1);
}

void ParameterDialogModel::spinDown() {
    if (view_.spinPosition > view_.spinMinimum) spinTo(view_.spinPosition - 1);
}

void ParameterDialogModel::valueFieldChanged(const std::string& text) {
    if (busy_ || view_.closed) return;
    if (view_.valueReadOnly) return;   // a read-only field takes no typing
    // The field keeps what was typed; the note says what becomes of it.
    view_.valueText = text;
    const TypedValue typed = readTypedValue(ctx_.texts, text, onOff_, digits_, view_.sliderPosition);
    setValueNote(typed.outcome, typed.reason);
    sendUnseen_ = typed.outcome == EditOutcome::Clamped;
    if (typed.outcome == EditOutcome::Refused) {
        view_.sendEnabled = false;   // nothing typed to send
        return;
    }
    view_.sliderPosition = typed.value;
    view_.sendEnabled = true;
}

void ParameterDialogModel::sliderMoved(uint32_t position) {
    if (busy_ || view_.closed || !view_.sliderEnabled) return;
    if (position > view_.sliderMaximum) position = view_.sliderMaximum;
    showValue(position);
}

void ParameterDialogModel::valueFieldClicked() {
    if (busy_ || view_.closed) return;
    if (!parameterShown_ || !onOff_) return;
    showValue(view_.sliderPosition ? 0 : 1);
}

void ParameterDialogModel::send() {
    if (!view_.sendEnabled) return;   // a disabled default button takes no Enter
    if (!beginAction()) return;
    if (sendUnseen_) {
        // Not what was typed: the Enter that ended the typing shows the value
        // in the field; the next one sends it.
        sendUnseen_ = false;
        const std::string typed = view_.valueText;
        view_.valueText = formatParameterValue(view_.sliderPosition);
        view_.valueNote = fillText(ctx_.message(SEND_AGAIN_TEXT), {typed, view_.valueText});
        endAction();
        return;
    }
    DeviceLink& link = ctx_.link;
    JournalEntry entry(ctx_, JournalOperation::ParameterSend);
    link.WriteRegisterRetry(ctx_.window().currentParameterNumber, view_.sliderPosition, onOff_);
    entry.record().values = {{ctx_.window().currentParameterNumber, onOff_, deviceValue_, view_.sliderPosition, {},
                              lastWriteOutcome(ctx_)}};
    entry.finish(link.errorFlag() == 0);
    if (link.errorFlag() == 0) deviceValue_ = view_.sliderPosition;
    if (link.errorFlag() != 0) {
        ctx_.showText(3);
    } else {
        view_.sendEnabled = false;
        setValueNote(EditOutcome::Accepted, {});
        ctx_.notifyText(PARAMETER_SENT_TEXT, {formatParameterNumber(ctx_.window().currentParameterNumber),
                                              view_.valueText});
    }
    moveFocus(DialogFocus::NumberField);
    endAction();
}

void ParameterDialogModel::ok() {
    if (!beginAction()) return;
    closeDialog(true);
    endAction();
}

void ParameterDialogModel::cancel() {
    if (view_.closed) return;
    if (busy_) {
        cancelPending_ = true;
        return;
    }
    busy_ = true;
    closeAsCancel();
    busy_ = false;
}

void ParameterDialogModel::closeAsCancel() { closeDialog(openingDone_); }

void ParameterDialogModel::closeDialog(bool restart) {
    if (view_.closed) return;
    if (restart) {
        restartAndReport(ctx_);
        view_.restarted = true;
    }
    view_.closed = true;
}
