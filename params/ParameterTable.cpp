#include "params/ParameterTable.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "link/DeviceLink.h"
#include "params/CsvFile.h"
#include "session/AppContext.h"
#include "session/DeviceSteps.h"
#include "texts/TextFill.h"
#include "texts/TextTable.h"

namespace {

// More steps than the number space holds means the stepping is stuck.
constexpr uint32_t MAX_STEPS = (PARAMETER_CEILING - FIRST_PARAMETER) / 2 + 2;
constexpr uint32_t FREE_WALK_CAPTION = 32778;
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


// One walk forward from FIRST_PARAMETER; visit sees every parameter found.
// The cancel flag is read before every seek: a seek crosses a gap of
// unavailable numbers in one go, so a Cancel takes effect after the read
// under way or, inside a gap, at its end.
template <typename Visit>
WalkResult walk(AppContext& ctx, uint32_t caption, bool& cancelled, const WalkOptions& options, Visit visit) {
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

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

}  // namespace

WalkResult readDeviceParameters(AppContext& ctx, std::vector<DeviceParameter>& out, const WalkOptions& options) {
    out.clear();
    bool cancelled = false;
    WalkResult result;
    result.end = WalkEnd::Failed;
    std::vector<ParameterNumber> freeNumbers;
    if (options.markFree) {
        if (!openParameterAccess(ctx, false)) return result;
        result.accessOpened = true;
        WalkResult first = walk(ctx, FREE_WALK_CAPTION, cancelled, options,
                                [&](ParameterNumber number, const ParameterReading&) { freeNumbers.push_back(number); });
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
                                 p.free = std::binary_search(freeNumbers.begin(), freeNumbers.end(), number);
                                 out.push_back(p);
                             });
    second.accessOpened = true;
    return second;
}

std::string parameterValueText(const LanguageTexts& texts, uint32_t value, bool onOff) {
    return onOff ? onOffText(texts, value != 0) : formatParameterValue(value);
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

std::string ParameterTable::setValueText(size_t row, const std::string& text) {
    TableRow& r = rows_[row];
    if (!r.parameter.onOff) {
        r.edited = parseParameterValue(text, r.parameter.digits);
    } else {
        const std::string typed = lower(trimmed(text));
        if (typed == "1" || typed == lower(onOffText(ctx_.texts, true)))
            r.edited = 1;
        else if (typed == "0" || typed == lower(onOffText(ctx_.texts, false)))
            r.edited = 0;
    }
    return valueText(row);
}

size_t ParameterTable::changedCount() const {
    return static_cast<size_t>(std::count_if(rows_.begin(), rows_.end(), [](const TableRow& r) { return r.changed(); }));
}

bool ParameterTable::matches(size_t row, const std::string& filter) const {
    const std::string wanted = lower(trimmed(filter));
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
    const std::string description = lower(r.description);
    std::istringstream words(wanted);
    std::string word;
    while (words >> word)
        if (description.find(word) == std::string::npos) return false;
    return true;
}

unsigned ParameterTable::writeChanges() {
    if (changedCount() == 0) return 0;
    DeviceLink& link = ctx_.link;
    if (!accessOpen_) {
        if (!openParameterAccess(ctx_, true)) return 0;
        accessOpen_ = true;
    }
    unsigned written = 0;
    for (TableRow& r : rows_) {
        if (!r.changed()) continue;
        link.WriteRegisterRetry(r.parameter.number, r.edited, r.parameter.onOff);
        if (link.errorFlag() != 0) {
            ctx_.showText(3);
            break;
        }
        r.parameter.value = r.edited;
        ++written;
    }
    // The device takes the new values over at its restart, which also closes
    // the access the writes went through.
    accessOpen_ = false;
    const bool restarted = restartAndReport(ctx_) != 0;
    if (written && restarted) ctx_.notifyText(WRITTEN_TEXT, {std::to_string(written)});
    return written;
}

void ParameterTable::close() {
    if (!accessOpen_) return;
    accessOpen_ = false;
    restartAndReport(ctx_);
}

std::string ParameterTable::csv() const {
    std::string out = csvRow({ctx_.message(NUMBER_HEADER), ctx_.message(DESCRIPTION_HEADER),
                              ctx_.message(VALUE_HEADER), ctx_.message(KIND_HEADER), ctx_.message(ACCESS_HEADER)});
    for (size_t i = 0; i < rows_.size(); ++i)
        out += csvRow({numberText(i), rows_[i].description, valueText(i), kindText(i), accessText(i)});
    return out;
}
