#include "files/Compare.h"

#include <filesystem>

#include "files/FileNames.h"
#include "files/ParameterFiles.h"
#include "files/ParameterKeys.h"
#include "files/ParameterPairs.h"
#include "files/ScanfLike.h"
#include "link/DeviceLink.h"
#include "params/CsvFile.h"
#include "params/ParameterTable.h"
#include "session/AppContext.h"
#include "session/FileChooser.h"
#include "session/DeviceSteps.h"
#include "texts/TextTable.h"

namespace {
constexpr uint32_t NUMBER_HEADER = 1025;
constexpr uint32_t DESCRIPTION_HEADER = 1030;
constexpr uint32_t DEVICE_SIDE_TEXT = 33113;

bool readSet(AppContext& ctx, const std::string& path, ParameterSet& set) {
    MemoryStream stream;
    if (!readSealedFile(ctx, path, stream)) return false;
    if (!parameterSetOfText(stream.str(), set)) {
        ctx.showFileText(32783, withExtension(path, PARAMETER_EXTENSION));
        return false;
    }
    return true;
}
}  // namespace

bool parameterSetOfText(const std::string& text, ParameterSet& set) {
    set.clear();
    bool words = true;
    const PairsEnd end = forEachParameterPair(text, [&](uint32_t number, std::string_view rest) {
        ComparedValue value;
        if (auto decimal = scanDecimal(rest)) {
            value.value = decimal->value;
        } else {
            auto word = scanWord(rest, 3);
            if (!word || (word->word != "ON" && word->word != "OFF")) return words = false;
            value.onOff = true;
            value.value = word->word == "ON" ? 1 : 0;
        }
        set[number] = value;
        return true;
    });
    return words && end == PairsEnd::Complete;
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
    return parameterValueText(texts, value->value, value->onOff);
}

std::string comparisonCsv(const LanguageTexts& texts, const Comparison& comparison) {
    std::string out = csvRow({texts.messages.Lookup(NUMBER_HEADER), texts.messages.Lookup(DESCRIPTION_HEADER),
                              comparison.leftName, comparison.rightName});
    for (const ComparedRow& row : comparison.rows)
        out += csvRow({formatParameterNumber(row.number), parameterDescription(texts, row.number),
                       comparedValueText(texts, row.left), comparedValueText(texts, row.right)});
    return out;
}

bool compareFiles(AppContext& ctx, const std::string& leftPath, const std::string& rightPath, Comparison& out) {
    ParameterSet left, right;
    if (!readSet(ctx, leftPath, left) || !readSet(ctx, rightPath, right)) return false;
    out = Comparison{};
    out.leftName = withExtension(leftPath, PARAMETER_EXTENSION);
    out.rightName = withExtension(rightPath, PARAMETER_EXTENSION);
    out.rows = compareSets(left, right);
    return true;
}

bool compareDeviceWithFile(AppContext& ctx, const std::string& path, Comparison& out) {
    ParameterSet file;
    if (!readSet(ctx, path, file)) return false;
    std::vector<DeviceParameter> found;
    const WalkResult walked = readDeviceParameters(ctx, found, WalkOptions{});
    const bool stopped = walked.accessOpened && walked.end == WalkEnd::Failed;
    if (stopped) ctx.showText(3);
    // Reading opened extended access; only a restart closes it.
    if (walked.accessOpened) restartAndReport(ctx);
    if (!walked.accessOpened || walked.end == WalkEnd::Cancelled) return false;
    ParameterSet device;
    for (const DeviceParameter& p : found) device[p.number] = ComparedValue{p.value, p.onOff};
    out = Comparison{};
    out.leftName = ctx.message(DEVICE_SIDE_TEXT);
    out.rightName = withExtension(path, PARAMETER_EXTENSION);
    if (stopped) {
        out.partial = true;
        out.stoppedAt = walked.stoppedAt;
    }
    out.rows = compareSets(device, file, out.partial ? out.stoppedAt : 0);
    return true;
}

bool loadComparedFile(AppContext& ctx, const std::string& path) {
    // The same load as command 40012: backup first, read-back after.
    const bool loaded = loadFileIntoDevice(ctx, path);
    ctx.window().RenderPanel();
    return loaded;
}

std::optional<std::string> chooseParameterFile(AppContext& ctx) {
    return chooseFileToOpen(ctx, fileFilter(ctx.texts, PARAMETER_EXTENSION), PARAMETER_EXTENSION);
}
