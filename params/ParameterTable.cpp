#include "params/ParameterTable.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "link/DeviceLink.h"
#include "params/ConfirmedRead.h"
#include "params/CsvFile.h"
#include "session/AppContext.h"
#include "session/DeviceSteps.h"
#include "session/JournalEntry.h"
#include "texts/TextFill.h"
#include "texts/TextTable.h"

namespace {

// More steps than the number space holds means the stepping is stuck.
constexpr uint32_t MAX_STEPS = (PARAMETER_CEILING - FIRST_PARAMETER) / 2 + 2;
constexpr uint32_t FREE_WALK_CAPTION = 32778;
constexpr uint32_t VALUE_WALK_CAPTION = 32779;
constexpr uint32_t NUMBER_HEADER = 1025;
constexpr uint32_t DESCRIPTION_HEADER = 1030;
constexpr uint32_t VALUE_HEADER = 1032;
constexpr uint32_t KIND_HEADER = 33118;
constexpr uint32_t ACCESS_HEADER = 33119;
constexpr uint32_t FREE_TEXT = 33120;
constexpr uint32_t EXTENDED_TEXT = 33121;
constexpr uint32_t ON_OFF_KIND_TEXT = 33122;
constexpr uint32_t DIGITS_KIND_TEXT = 33123;
constexpr uint32_t WRITTEN_TEXT = 33132;            // "Wrote %u parameters into the device"
constexpr uint32_t WRITE_FAILED_TEXT = 33174;       // "Writing %s (%s) failed ..."
constexpr uint32_t PENDING_HEADER = 33179;          // "Pending (not written)"


// One walk forward from FIRST_PARAMETER; visit sees every parameter found.
// The cancel flag is read before every seek: a seek crosses a gap of
// unavailable numbers in one go, so a Cancel takes effect after the read
// under way or, inside a gap, at its end.
template <typename Visit>
WalkResult walk(AppContext& ctx, uint32_t caption, std::atomic<bool>& cancelled, const WalkOptions& options, Visit visit) {
    DeviceLink& link = ctx.link;
    WalkResult result;
    ParameterNumber number = 0;
    ctx.ui().ShowCancellableProgress(&number, link.endKey, ctx.message(caption), &cancelled);
    number = FIRST_PARAMETER;
    for (uint32_t step = 0; step < MAX_STEPS; ++step) {
        if (cancelled) {
            result.end = WalkEnd::Cancelled;
            result.stoppedAt = number;
            break;
        }
        ParameterReading reading;
        const SeekResult r = seekParameter(link, number, false, &reading);
        if (options.onRead) options.onRead(number);
        if (r == SeekResult::NoneAtFirst) {
            // 0x0100 is not available here; the parameters after it still count.
            nextParameterNumber(link, number);
            continue;
        }
        if (r == SeekResult::Failed) {
            result.end = WalkEnd::Failed;
            result.stoppedAt = number;
            break;
        }
        if (r == SeekResult::EndOfTable) break;
        visit(number, reading);
        nextParameterNumber(link, number);
        if (number >= link.endKey) break;
    }
    ctx.ui().HideProgress();
    return result;
}

}  // namespace

WalkResult readDeviceParameters(AppContext& ctx, std::vector<DeviceParameter>& out, const WalkOptions& options) {
    out.clear();
    std::atomic<bool> cancelled{false};
    WalkResult result;
    result.end = WalkEnd::Failed;
    std::vector<ParameterNumber> freeNumbers;
    std::vector<ParameterReading> freeReadings;   // beside freeNumbers
    if (options.markFree) {
        if (!openParameterAccess(ctx, false)) return result;
        result.accessOpened = true;
        WalkResult first = walk(ctx, FREE_WALK_CAPTION, cancelled, options,
                                [&](ParameterNumber number, const ParameterReading& reading) {
                                    freeNumbers.push_back(number);
                                    freeReadings.push_back(reading);
                                });
        if (first.end != WalkEnd::Complete) {
            first.accessOpened = true;
            return first;
        }
    }
    if (!openParameterAccess(ctx, true)) return result;
    WalkResult second = walk(ctx, options.caption, cancelled, options,
                             [&](ParameterNumber number, const ParameterReading& reading) {
                                 DeviceParameter p;
                                 p.number = number;
                                 p.value = reading.value;
                                 p.onOff = reading.onOff;
                                 p.digits = reading.digits;
                                 // Both walks go up in number order.
                                 const auto at = std::lower_bound(freeNumbers.begin(), freeNumbers.end(), number);
                                 p.free = at != freeNumbers.end() && *at == number;
                                 if (p.free) p.moving = movedBetween(freeReadings[at - freeNumbers.begin()], reading);
                                 // A measurement may read the same twice by chance:
                                 // up to two reads more before it counts as still.
                                 ParameterReading last = reading;
                                 for (int again = 0; again < 2 && !p.onOff && !p.moving && options.readAgain &&
                                                     options.readAgain(p);
                                      ++again) {
                                     const ParameterReading next = readParameter(ctx.link, number);
                                     p.moving = movedBetween(last, next);
                                     if (next.outcome != ReadOutcome::Present || next.onOff ||
                                         next.digits < last.digits)
                                         continue;   // no answer, or digits lost on the way
                                     p.value = next.value;
                                     p.digits = next.digits;
                                     last = next;
                                 }
                                 out.push_back(p);
                             });
    second.accessOpened = true;
    return second;
}

WalkResult ParameterTable::read(const WalkOptions& options) {
    rows_.clear();
    std::vector<DeviceParameter> found;
    WalkOptions walkOptions = options;
    walkOptions.markFree = true;
    walk_ = readDeviceParameters(ctx_, found, walkOptions);
    if (walk_.accessOpened) accessOpen_ = true;
    if (walk_.end == WalkEnd::Failed && walk_.accessOpened) ctx_.showText(3);
    rows_.reserve(found.size());
    for (const DeviceParameter& p : found) {
        TableRow row;
        row.parameter = p;
        row.description = parameterDescription(ctx_.texts, p.number);
        row.edited = p.value;
        rows_.push_back(std::move(row));
    }
    return walk_;
}

std::string ParameterTable::numberText(size_t row) const { return formatParameterNumber(rows_[row].parameter.number); }

std::string ParameterTable::valueText(size_t row) const {
    const TableRow& r = rows_[row];
    return parameterValueText(ctx_.texts, r.edited, r.parameter.onOff);
}

std::string ParameterTable::kindText(size_t row) const {
    const DeviceParameter& p = rows_[row].parameter;
    if (p.onOff) return ctx_.message(ON_OFF_KIND_TEXT);
    return fillText(ctx_.message(DIGITS_KIND_TEXT), {std::to_string(p.digits)});
}

std::string ParameterTable::accessText(size_t row) const {
    return ctx_.message(rows_[row].parameter.free ? FREE_TEXT : EXTENDED_TEXT);
}

EditResult ParameterTable::editValue(size_t row, const std::string& text) {
    TableRow& r = rows_[row];
    const TypedValue typed = readTypedValue(ctx_.texts, text, r.parameter.onOff, r.parameter.digits, r.edited);
    EditResult result;
    result.outcome = typed.outcome;
    result.reason = typed.reason;
    if (typed.outcome != EditOutcome::Refused) {
        r.edited = typed.value;
        r.written = false;
    }
    result.shown = valueText(row);
    return result;
}

void ParameterTable::revert(size_t row) { rows_[row].edited = rows_[row].parameter.value; }

ParameterTable::Update ParameterTable::updateValues() {
    Update update;
    if (rows_.empty()) return update;
    if (!accessOpen_) {
        if (!openParameterAccess(ctx_, true)) {
            update.end = WalkEnd::Failed;
            return update;
        }
        accessOpen_ = true;
    }
    std::atomic<bool> cancelled{false};
    uint32_t done = 0;
    ctx_.ui().ShowCancellableProgress(&done, static_cast<uint32_t>(rows_.size()), ctx_.message(VALUE_WALK_CAPTION),
                                      &cancelled);
    for (TableRow& r : rows_) {
        if (cancelled) {
            update.end = WalkEnd::Cancelled;
            break;
        }
        const ParameterReading now = readParameter(ctx_.link, r.parameter.number);
        ++done;
        if (now.outcome == ReadOutcome::Failed) {
            update.end = WalkEnd::Failed;
            break;
        }
        if (now.outcome != ReadOutcome::Present || now.onOff != r.parameter.onOff) continue;
        // Narrower than before: digits lost on the way, not a new value.
        if (!now.onOff && now.digits < r.parameter.digits) continue;
        if (now.value == r.parameter.value) continue;
        const bool edited = r.changed();
        r.parameter.value = now.value;
        r.parameter.moving = true;
        if (!edited) r.edited = now.value;
        ++update.changed;
    }
    ctx_.ui().HideProgress();
    if (update.end == WalkEnd::Failed) ctx_.showText(3);
    return update;
}

size_t ParameterTable::movingCount() const {
    return static_cast<size_t>(
        std::count_if(rows_.begin(), rows_.end(), [](const TableRow& r) { return r.parameter.moving; }));
}

size_t ParameterTable::changedCount() const {
    return static_cast<size_t>(std::count_if(rows_.begin(), rows_.end(), [](const TableRow& r) { return r.changed(); }));
}

bool ParameterTable::matches(size_t row, const std::string& filter) const {
    const std::string wanted = lowerText(trimmedText(filter));
    if (wanted.empty()) return true;
    const TableRow& r = rows_[row];
    const std::string number = formatParameterNumber(r.parameter.number);
    // The number as typed or without its leading zeros: "0x17" and "17" find 017e.
    std::string digits = wanted.rfind("0x", 0) == 0 ? wanted.substr(2) : wanted;
    if (!digits.empty() && number.rfind(digits, 0) == 0) return true;
    const auto unpadded = [](const std::string& s) {
        const size_t first = s.find_first_not_of('0');
        return first == std::string::npos ? std::string() : s.substr(first);
    };
    digits = unpadded(digits);
    if (!digits.empty() && unpadded(number).rfind(digits, 0) == 0) return true;
    const std::string description = lowerText(r.description);
    std::istringstream words(wanted);
    std::string word;
    while (words >> word)
        if (description.find(word) == std::string::npos) return false;
    return true;
}

std::vector<PlannedWrite> ParameterTable::writePlan() const {
    std::vector<PlannedWrite> plan;
    for (size_t i = 0; i < rows_.size(); ++i) {
        const TableRow& r = rows_[i];
        if (!r.changed()) continue;
        plan.push_back({i, r.parameter.number, r.description,
                        parameterValueText(ctx_.texts, r.parameter.value, r.parameter.onOff), valueText(i)});
    }
    return plan;
}

std::string ParameterTable::writePlanText() const {
    std::string out;
    for (const PlannedWrite& w : writePlan())
        out += formatParameterNumber(w.number) + "  " + w.description + ": " + w.oldText + " -> " + w.newText + "\n";
    return out;
}

WriteOutcome ParameterTable::writeChanges() {
    WriteOutcome outcome;
    for (TableRow& r : rows_) r.written = false;
    outcome.pending = changedCount();
    if (outcome.pending == 0) return outcome;
    DeviceLink& link = ctx_.link;
    if (!accessOpen_) {
        if (!openParameterAccess(ctx_, true)) return outcome;
        accessOpen_ = true;
    }
    JournalEntry entry(ctx_, JournalOperation::ParameterSend, {}, "table");
    for (size_t i = 0; i < rows_.size(); ++i) {
        TableRow& r = rows_[i];
        if (!r.changed()) continue;
        link.WriteRegisterRetry(r.parameter.number, r.edited, r.parameter.onOff);
        entry.record().values.push_back(
            {r.parameter.number, r.parameter.onOff, r.parameter.value, r.edited, {}, lastWriteOutcome(ctx_)});
        if (link.errorFlag() != 0) {
            // Nothing more goes out once one write failed: the device may be gone.
            outcome.failed = true;
            outcome.failedRow = i;
            break;
        }
        r.parameter.value = r.edited;
        r.written = true;
        ++outcome.written;
    }
    outcome.pending = changedCount();
    entry.finish(!outcome.failed);
    if (outcome.failed) {
        const TableRow& f = rows_[outcome.failedRow];
        ctx_.showMessage(fillText(ctx_.message(WRITE_FAILED_TEXT),
                                  {formatParameterNumber(f.parameter.number), f.description,
                                   std::to_string(outcome.written), std::to_string(outcome.pending)}));
    }
    // The device takes the new values over at its restart, which also closes
    // the access the writes went through.
    accessOpen_ = false;
    const bool restarted = restartAndReport(ctx_) != 0;
    if (outcome.written && restarted) ctx_.notifyText(WRITTEN_TEXT, {std::to_string(outcome.written)});
    return outcome;
}

void ParameterTable::close() {
    if (!accessOpen_) return;
    accessOpen_ = false;
    restartAndReport(ctx_);
}

std::string ParameterTable::csv(const std::string& filter) const {
    std::string out = csvRow({ctx_.message(NUMBER_HEADER), ctx_.message(DESCRIPTION_HEADER), ctx_.message(VALUE_HEADER),
                              ctx_.message(PENDING_HEADER), ctx_.message(KIND_HEADER), ctx_.message(ACCESS_HEADER)});
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (!matches(i, filter)) continue;
        const TableRow& r = rows_[i];
        // The value column holds what the device holds; an edit not yet
        // written goes beside it, never in its place.
        const auto value = [&](uint32_t v) {
            return r.parameter.onOff ? parameterValueText(ctx_.texts, v, true) : csvNumber(static_cast<uint64_t>(v));
        };
        out += csvRow({numberText(i), r.description, value(r.parameter.value), r.changed() ? value(r.edited) : std::string(),
                       kindText(i), accessText(i)});
    }
    return out;
}
