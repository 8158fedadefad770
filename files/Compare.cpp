#include "files/Compare.h"

#include <algorithm>
#include <filesystem>

#include "files/FileNames.h"
#include "files/Format.h"
#include "files/ParameterFiles.h"
#include "files/ParameterKeys.h"
#include "files/ParameterPairs.h"
#include "files/ScanfLike.h"
#include "link/DeviceLink.h"
#include "params/CsvFile.h"
#include "params/ParameterTable.h"
#include "session/AppContext.h"
#include "session/FileChooser.h"
#include "session/JournalEntry.h"
#include "session/DeviceSteps.h"
#include "texts/TextTable.h"

namespace {
constexpr uint32_t NUMBER_HEADER = 1025;
constexpr uint32_t DESCRIPTION_HEADER = 1030;
constexpr uint32_t DEVICE_SIDE_TEXT = 33113;
constexpr uint32_t NAME_ROW_TEXT = 0x81A2;
constexpr uint32_t ADDRESS_ROW_TEXT = 0x81A3;
constexpr uint32_t PASSWORD_ROW_TEXT = 0x81A4;
constexpr uint32_t VERSION_ROW_TEXT = 0x81A5;
constexpr uint32_t PASSWORD_SET_TEXT = 0x81A6;
constexpr uint32_t PASSWORD_NONE_TEXT = 0x81A7;
constexpr uint32_t NOT_IN_FILE_TEXT = 0x81A8;
constexpr uint32_t OTHER_PASSWORD_TEXT = 0x81A9;

using ValueTexts = std::map<ParameterNumber, std::string_view>;

// Each register's value text, the last pair of a register winning as it
// does when the load writes them in turn. False when the load would refuse
// the text before writing anything.
bool valueTextsOf(std::string_view text, ValueTexts& values) {
    values.clear();
    if (!parameterTextWellFormed(std::string(text))) return false;
    const PairsEnd end = forEachParameterPair(text, [&](uint32_t code, std::string_view value) {
        values[registerOfCode(code)] = value;
        return true;
    });
    // A "#CODE: " without "#DATA: " ends the load's pass, not the load.
    return end != PairsEnd::BadNumber;
}

// What the load writes for a value text into a parameter of the given kind.
ComparedValue valueAs(std::string_view text, bool onOff) {
    ComparedValue value;
    value.onOff = onOff;
    if (auto v = parameterValueOf(text, onOff)) {
        value.value = *v;
    } else {
        auto word = scanWord(text, 8);
        value.unreadable = word ? word->word : std::string();
        if (value.unreadable.empty()) value.unreadable = "?";
    }
    return value;
}

// Without a device to tell the kind: a decimal number is a value, a word an
// on/off state.
ComparedValue valueOfUnknownKind(std::string_view text) {
    return valueAs(text, !scanDecimal(text).has_value());
}

bool readText(AppContext& ctx, const std::string& path, std::string& text, ValueTexts& values) {
    MemoryStream stream;
    if (!readSealedFile(ctx, path, stream)) return false;
    text = stream.str();
    if (!valueTextsOf(text, values)) {
        ctx.showFileText(32783, withExtension(path, PARAMETER_EXTENSION));
        return false;
    }
    return true;
}

ParameterSet setOfUnknownKinds(const ValueTexts& values) {
    ParameterSet set;
    for (const auto& [number, text] : values) set[number] = valueOfUnknownKind(text);
    return set;
}

std::string fileNameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

std::string addressText(uint32_t address) { return formatText("%02x", address); }

std::string_view nameLine(std::string_view text) {
    auto name = afterKey(text, KEY_NAME);
    return name ? name->substr(0, name->find('\n')) : std::string_view();
}

// A name without the blanks the save (or the device) pads it with.
std::optional<std::string> shownName(std::string_view line) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.remove_suffix(1);
    return std::string(line);
}

std::optional<uint32_t> headerNumber(std::string_view text, const char* key,
                                     std::optional<ScannedNumber> (*read)(std::string_view)) {
    auto value = afterKey(text, key);
    if (!value) return std::nullopt;
    auto number = read(*value);
    if (!number) return std::nullopt;
    return number->value;
}

SideIdentity identityOfDevice(const DeviceLink& link) {
    return SideIdentity{shownName(link.deviceName), link.selectedAddress, link.parameterVersion, link.password,
                        link.deviceName};
}
}  // namespace

bool parameterSetOfText(const std::string& text, ParameterSet& set) {
    ValueTexts values;
    set.clear();
    if (!valueTextsOf(text, values)) return false;
    set = setOfUnknownKinds(values);
    return true;
}

SideIdentity identityOfText(const std::string& text) {
    const bool named = afterKey(text, KEY_NAME).has_value();
    return SideIdentity{named ? shownName(nameLine(text)) : std::nullopt, headerNumber(text, KEY_ADDR, scanHex),
                        headerNumber(text, KEY_PVER, scanDecimal), headerNumber(text, KEY_PSWD, scanOctal),
                        std::string(nameLine(text))};
}

std::vector<IdentityRow> identityRows(const LanguageTexts& texts, const SideIdentity& left, const SideIdentity& right,
                                      bool deviceOnLeft, bool& otherDevice) {
    const std::string missing = texts.messages.Lookup(NOT_IN_FILE_TEXT);
    std::vector<IdentityRow> rows;
    // A key the file lacks leaves the device's setting as it is: no difference.
    auto add = [&](uint32_t label, const auto& l, const auto& r, auto show) {
        rows.push_back({label, l ? show(*l) : missing, r ? show(*r) : missing, l != r && (r || !deviceOnLeft)});
    };
    // The load takes a file whose name runs on past the device's.
    const std::string& deviceName = left.matchedName;
    otherDevice = deviceOnLeft ? !right.name || right.matchedName.compare(0, deviceName.size(), deviceName) != 0
                               : left.name != right.name;
    add(NAME_ROW_TEXT, left.name, right.name, [](const std::string& n) { return n; });
    rows.back().differs = otherDevice;
    add(ADDRESS_ROW_TEXT, left.address, right.address, addressText);
    add(VERSION_ROW_TEXT, left.parameterVersion, right.parameterVersion,
        [](uint32_t v) { return std::to_string(v); });
    auto setText = [&](uint32_t p) { return texts.messages.Lookup(p != 0 ? PASSWORD_SET_TEXT : PASSWORD_NONE_TEXT); };
    add(PASSWORD_ROW_TEXT, left.password, right.password, setText);
    IdentityRow& password = rows.back();
    // Both set but not the same: say so without showing either.
    if (password.differs && left.password && right.password && *left.password != 0 && *right.password != 0)
        password.right = texts.messages.Lookup(OTHER_PASSWORD_TEXT);
    return rows;
}

std::vector<ComparedRow> compareSets(const ParameterSet& left, const ParameterSet& right, ParameterNumber limit) {
    std::vector<ComparedRow> rows;
    auto within = [limit](ParameterNumber n) { return limit == 0 || n < limit; };
    auto l = left.begin();
    auto r = right.begin();
    while (l != left.end() || r != right.end()) {
        ComparedRow row;
        if (r == right.end() || (l != left.end() && l->first < r->first)) {
            row = {l->first, l->second, std::nullopt};
            ++l;
        } else if (l == left.end() || r->first < l->first) {
            row = {r->first, std::nullopt, r->second};
            ++r;
        } else {
            row = {l->first, l->second, r->second};
            ++l;
            ++r;
            if (*row.left == *row.right) continue;
        }
        if (within(row.number)) rows.push_back(row);
    }
    return rows;
}

std::string comparedValueText(const LanguageTexts& texts, const std::optional<ComparedValue>& value) {
    if (!value) return {};
    if (!value->unreadable.empty()) return value->unreadable;
    return parameterValueText(texts, value->value, value->onOff);
}

std::string comparisonCsv(const LanguageTexts& texts, const Comparison& comparison) {
    std::string out = csvRow({texts.messages.Lookup(NUMBER_HEADER), texts.messages.Lookup(DESCRIPTION_HEADER),
                              comparison.leftName, comparison.rightName});
    for (const IdentityRow& row : comparison.identity)
        out += csvRow({std::string(), texts.messages.Lookup(row.label), row.left, row.right});
    for (const ComparedRow& row : comparison.rows)
        out += csvRow({formatParameterNumber(row.number), parameterDescription(texts, row.number),
                       comparedValueText(texts, row.left), comparedValueText(texts, row.right)});
    return out;
}

bool compareFiles(AppContext& ctx, const std::string& leftPath, const std::string& rightPath, Comparison& out) {
    std::string leftText, rightText;
    ValueTexts left, right;
    if (!readText(ctx, leftPath, leftText, left) || !readText(ctx, rightPath, rightText, right)) return false;
    out = Comparison{};
    out.leftPath = withExtension(leftPath, PARAMETER_EXTENSION);
    out.rightPath = withExtension(rightPath, PARAMETER_EXTENSION);
    out.leftName = fileNameOf(out.leftPath);
    out.rightName = fileNameOf(out.rightPath);
    out.identity = identityRows(ctx.texts, identityOfText(leftText), identityOfText(rightText), false, out.otherDevice);
    out.rows = compareSets(setOfUnknownKinds(left), setOfUnknownKinds(right));
    return true;
}

bool compareDeviceWithFile(AppContext& ctx, const std::string& path, Comparison& out) {
    std::string text;
    ValueTexts fileValues;
    if (!readText(ctx, path, text, fileValues)) return false;
    // Taken before the walk: the restart after it may lose the device.
    const SideIdentity device = identityOfDevice(ctx.link);
    std::vector<DeviceParameter> found;
    WalkOptions options;
    options.readAgain = [&](const DeviceParameter& p) {
        const auto inFile = fileValues.find(p.number);
        if (inFile == fileValues.end()) return false;
        const auto value = parameterValueOf(inFile->second, false);
        return !value || *value != p.value;
    };
    const WalkResult walked = readDeviceParameters(ctx, found, options);
    const bool stopped = walked.accessOpened && walked.end == WalkEnd::Failed;
    if (stopped) ctx.showText(3);
    // Reading opened extended access; only a restart closes it.
    if (walked.accessOpened) restartAndReport(ctx);
    if (!walked.accessOpened || walked.end == WalkEnd::Cancelled) return false;
    ParameterSet deviceSet;
    for (const DeviceParameter& p : found) deviceSet[p.number] = ComparedValue{p.value, p.onOff, {}};
    // Each file value as the load would write it: by the kind the device
    // gives the parameter.
    ParameterSet fileSet;
    for (const auto& [number, value] : fileValues) {
        auto onDevice = deviceSet.find(number);
        fileSet[number] =
            onDevice != deviceSet.end() ? valueAs(value, onDevice->second.onOff) : valueOfUnknownKind(value);
    }
    out = Comparison{};
    out.leftName = ctx.message(DEVICE_SIDE_TEXT);
    out.rightPath = withExtension(path, PARAMETER_EXTENSION);
    out.rightName = fileNameOf(out.rightPath);
    out.identity = identityRows(ctx.texts, device, identityOfText(text), true, out.otherDevice);
    if (stopped) {
        out.partial = true;
        out.stoppedAt = walked.stoppedAt;
    }
    out.rows = compareSets(deviceSet, fileSet, out.partial ? out.stoppedAt : 0);
    for (ComparedRow& row : out.rows) {
        const auto at = std::find_if(found.begin(), found.end(),
                                     [&](const DeviceParameter& p) { return p.number == row.number; });
        row.moving = at != found.end() && at->moving;
    }
    return true;
}

bool loadComparedFile(AppContext& ctx, const std::string& path, bool* confirmed) {
    // The same load as command 40012: question, backup first, read-back after.
    JournalVia via(ctx, "compare");
    const bool loaded = loadFileIntoDevice(ctx, path, confirmed);
    ctx.window().RenderPanel();
    return loaded;
}

std::optional<std::string> chooseParameterFile(AppContext& ctx, uint32_t caption) {
    return chooseFileToOpen(ctx, fileFilter(ctx.texts, PARAMETER_EXTENSION), PARAMETER_EXTENSION,
                            caption ? ctx.message(caption) : std::string());
}
