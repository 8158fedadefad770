#pragma once
// What the parameter dialog does, without a screen: the opening sequence,
// showing a parameter, and the handlers of its controls. The widget mirrors
// the view state after every call and forwards only what the operator did
// (typing, clicks, slider moves); the model's own writes to the number field
// run its handler here, guarded by numberFieldLive.
//
// Works on the context it is given: its link, operator and window flags.

#include <cstdint>
#include <functional>
#include <string>

#include "params/ParameterModel.h"
#include "params/TypedValue.h"

class AppContext;

// Where the keyboard focus goes after an action.
enum class DialogFocus : uint8_t { Unchanged, Dialog, NumberField };

struct ParameterDialogView {
    std::string title;
    std::string frameCaption;    // 1400: text 1024 in mode 0, text 1063 otherwise
    std::string numberText;      // 1402
    int spinMinimum = FIRST_PARAMETER;     // 1403
    int spinMaximum = PARAMETER_CEILING;
    int spinPosition = FIRST_PARAMETER;
    std::string description;     // 1407
    std::string valueText;       // 1409
    // What the typed value becomes when it is not taken as typed (refused or
    // clamped, by the parameter table's rule), shown under the field (1412);
    // empty, and Accepted, otherwise.
    EditOutcome valueOutcome = EditOutcome::Accepted;
    std::string valueNote;
    bool valueReadOnly = true;
    uint32_t sliderMaximum = 0;  // 1410, minimum always 0
    uint32_t sliderPosition = 0;
    bool sliderEnabled = false;
    bool sendEnabled = false;    // 1411
    bool waitCursor = false;
    DialogFocus focus = DialogFocus::Unchanged;
    unsigned focusRequests = 0;  // counts focus moves, so a view applies each once
    bool closed = false;         // the dialog has ended
    bool restarted = false;      // closing ran the device restart
};

class ParameterDialogModel {
public:
    // mode 0 for command 40007, -1 for 40009 (only the outer caption differs).
    ParameterDialogModel(AppContext& ctx, int mode);

    // The opening sequence. False when it closed the dialog (no restart then).
    bool open();

    // Operator actions. Each is ignored while another one is still talking to
    // the device (a nested event loop may deliver clicks then); a close asked
    // for meanwhile is carried out when the running action ends.
    void numberFieldChanged(const std::string& text);
    void spinTo(int position);
    void spinUp();      // one click of the up arrow
    void spinDown();    // one click of the down arrow
    // Typed text is read by readTypedValue. A refused text stays in the field
    // and disables Send; a clamped one stays as typed, the note saying what
    // will be sent, and the first Send (Enter) after it only puts the value
    // to be sent into the field: the operator sees it before it goes out.
    void valueFieldChanged(const std::string& text);
    void sliderMoved(uint32_t position);
    void valueFieldClicked();
    void send();
    void ok();
    void cancel();      // Escape or the close box

    const ParameterDialogView& view() const { return view_; }
    bool openingDone() const { return openingDone_; }
    bool parameterShown() const { return parameterShown_; }
    bool onOff() const { return onOff_; }
    uint8_t digits() const { return digits_; }

    // Called with true before a search starts and false after it ends, so the
    // widget can show the wait cursor while the window thread is blocked.
    std::function<void(bool)> onWaitCursor;

private:
    bool showParameter(bool backward);
    void clearParameterFields();
    void moveFocus(DialogFocus focus);
    void writeNumberField(const std::string& text);
    void showValue(uint32_t value);
    void setValueNote(EditOutcome outcome, const std::string& note);
    void closeDialog(bool restart);
    void closeAsCancel();
    bool beginAction();
    void endAction();

    AppContext& ctx_;
    ParameterDialogView view_;
    int mode_;
    bool openingDone_ = false;
    bool numberFieldLive_ = true;
    bool parameterShown_ = false;
    bool onOff_ = false;
    uint8_t digits_ = 0;
    uint32_t deviceValue_ = 0;   // what the device held when it was read or last sent
    // The value to send is not what was typed and the field does not show it yet.
    bool sendUnseen_ = false;
    bool busy_ = false;
    bool cancelPending_ = false;
};
