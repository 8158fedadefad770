#pragma once
// The whole parameter table of the connected device, without a screen: one
// walk reads every parameter, the table window shows the rows, filters them,
// takes edited values by the parameter dialog's rules and writes the changed
// ones back; the rows also go out as CSV.
//
// Which parameters are free (readable with normal access) is found as the
// save finds it: a first walk with normal access collects the free numbers,
// the second with extended access reads every value. A device tells nothing
// about access in a reading, so only a walk with normal access can tell; a
// walk costs a read per number, which the table window pays once at opening.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "params/ParameterModel.h"
#include "params/TypedValue.h"

class AppContext;
struct LanguageTexts;

struct DeviceParameter {
    ParameterNumber number = 0;
    uint32_t value = 0;
    bool onOff = false;
    uint8_t digits = 0;
    bool free = false;   // readable with normal access (known only when the walk looked)
    // Its value changed between two reads at the same width: a counter or a
    // measurement. value is the later read.
    bool moving = false;
};

// How a walk ended: every parameter read, stopped by the operator, or the
// device stopped answering (the parameters read before it stay).
enum class WalkEnd : uint8_t { Complete, Cancelled, Failed };

struct WalkResult {
    WalkEnd end = WalkEnd::Complete;
    ParameterNumber stoppedAt = 0;   // the number being read when it stopped
    bool accessOpened = false;       // the handshake went through: a restart is owed
};

struct WalkOptions {
    bool markFree = false;           // the walk with normal access first
    uint32_t caption = 32779;        // the progress caption of the value walk
    // Called after every read with the number read; a hook for the tests.
    std::function<void(ParameterNumber)> onRead;
    // A numeric parameter this says yes to is read up to twice more at once
    // (the comparison: a value that differs from the file's), until it
    // agrees or reads another value at the same width, which marks it
    // moving; a wider read replaces one that lost digits.
    std::function<bool(const DeviceParameter&)> readAgain;
};

// Reads every parameter of the selected device in parameter number order:
// opens the access (text 1057 when refused: Failed at 0), walks with
// seekParameter from FIRST_PARAMETER under a progress window with a Cancel
// button, which stops the walk after the read under way. Extended access is
// left open: the caller restarts the device once when it is done with it.
// With markFree, a free parameter is read by both walks: one that read
// otherwise at the same width is marked moving.
WalkResult readDeviceParameters(AppContext& ctx, std::vector<DeviceParameter>& out, const WalkOptions& options);

struct TableRow {
    DeviceParameter parameter;
    std::string description;
    uint32_t edited = 0;   // the value to write; equals parameter.value until edited
    bool written = false;  // taken by the device in the last "Write changes"
    bool changed() const { return edited != parameter.value; }
};

// What became of a typed value (params/TypedValue.h): taken as typed, refused
// (the row keeps its value; reason says why), or brought into the range of
// the parameter (reason says to what).
struct EditResult {
    EditOutcome outcome = EditOutcome::Accepted;
    std::string shown;    // what the cell shows afterwards
    std::string reason;   // empty when accepted
};

// One value "Write changes" will write: the row, the device's value and the
// edited one as the table shows them.
struct PlannedWrite {
    size_t row = 0;
    ParameterNumber number = 0;
    std::string description;
    std::string oldText;
    std::string newText;
};

// How "Write changes" ended: how many values the device took, and when a
// write failed, the row it failed on (it and the rows after it stay pending).
struct WriteOutcome {
    unsigned written = 0;
    bool failed = false;
    size_t failedRow = 0;
    size_t pending = 0;   // edits still unwritten afterwards
};

class ParameterTable {
public:
    explicit ParameterTable(AppContext& ctx) : ctx_(ctx) {}

    // The walk; messages shown for a refused access or a failed read.
    WalkResult read(const WalkOptions& options = {});
    const std::vector<TableRow>& rows() const { return rows_; }
    const WalkResult& lastWalk() const { return walk_; }
    // Access was opened and the device has not been restarted since.
    bool accessOpen() const { return accessOpen_; }

    // Texts of a row as the table shows them.
    std::string numberText(size_t row) const;
    std::string valueText(size_t row) const;      // the edited value
    std::string kindText(size_t row) const;       // "on/off" or "4 digits"
    std::string accessText(size_t row) const;     // "free" or "extended"

    // An edit of the value cell, by the rule the parameter dialog's field
    // follows too (readTypedValue): a refused text leaves the row's value, a
    // clamped one is taken clamped, and the result says so.
    EditResult editValue(size_t row, const std::string& text);
    // editValue, giving only the text the cell shows afterwards.
    std::string setValueText(size_t row, const std::string& text) { return editValue(row, text).shown; }
    // Drops the row's edit: it shows the device's value again.
    void revert(size_t row);
    // Reads every row's value again (opening access when a restart closed
    // it): a row whose value changed at the same width is marked moving and,
    // unless edited, shows the new value. The number of rows that changed;
    // the walk's end tells a stop (the rows read before it are updated).
    struct Update {
        unsigned changed = 0;
        WalkEnd end = WalkEnd::Complete;
    };
    Update updateValues();
    size_t movingCount() const;
    size_t changedCount() const;

    // Whether a row matches the filter box: empty matches all; otherwise
    // the number's hexadecimal digits begin with the filter, or every word of
    // the filter appears in the description (case ignored).
    bool matches(size_t row, const std::string& filter) const;

    // Every value "Write changes" would write, in number order, hidden rows
    // included; and the same as lines for the operator to confirm.
    std::vector<PlannedWrite> writePlan() const;
    std::string writePlanText() const;

    // Writes every changed value (an on/off one in the digit form, as the
    // parameter dialog's send), opening extended access first when a restart
    // closed it, then restarts the device once. Stops at the first write that
    // fails and tells which parameter failed: the rows written before it are
    // marked written, it and the rest stay pending. Nothing is asked here; the
    // operator confirmed the plan before.
    WriteOutcome writeChanges();
    // The restart a close owes the device when access is still open.
    void close();

    // Number, description, the device's value, the pending edit (empty when
    // none), kind, access; a header row first. With a filter, only the rows
    // it matches.
    std::string csv(const std::string& filter = {}) const;

private:
    AppContext& ctx_;
    std::vector<TableRow> rows_;
    WalkResult walk_;
    bool accessOpen_ = false;
};
