#include "files/ViewerModel.h"

#include <cstdio>
#include <filesystem>

#include "session/AppContext.h"
#include "session/FileChooser.h"
#include "files/AtomicFile.h"
#include "files/FileNames.h"
#include "files/ParameterFiles.h"
#include "files/ParameterKeys.h"
#include "files/ReplaceQuestion.h"
#include "platform/UserDirs.h"

namespace {

constexpr uint32_t UNLOADABLE_TEXT_QUESTION = 33025;
constexpr uint32_t SAVED_FILE_TEXT = 33033;   // "Saved %s"

// A report is a few kilobytes per parameter set.
constexpr size_t MAX_REPORT = 64u * 1024 * 1024;

// Every occurrence of from, left to right, without looking again at what was
// put in.
std::string replaceAll(const std::string& text, const std::string& from, const std::string& to) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, pos)) {
        out.append(text, pos, at - pos);
        out += to;
        pos = at + from.size();
    }
    out.append(text, pos, std::string::npos);
    return out;
}

void removeFile(const std::string& path) { std::remove(path.c_str()); }

}  // namespace

std::string temporaryReportPath(const Settings& settings) {
    for (const std::string& folder : {settings.user.runtime, settings.user.cache})
        if (!folder.empty() && makeUserFolder(folder)) return folder + "/TMP.DOC";
    const std::string& dir = settings.installDirectory;
    return dir.empty() ? std::string("TMP.DOC") : dir + "/TMP.DOC";
}

std::string normaliseLineEnds(const std::string& text) {
    std::string out = replaceAll(text, "\r\n", "\n");
    out = replaceAll(out, "\n\r", "\n");
    out = replaceAll(out, "\n", "\r\n");
    return replaceAll(out, "\r\n\r\n", "\r\n");
}

std::string cutAtEndKey(const std::string& text) {
    size_t at = text.find(KEY_END);
    return at == std::string::npos ? text : text.substr(0, at);
}

std::string ReportViewModel::open() {
    verified_ = readSealedFile(ctx_, path_, stream_);
    std::string tmp = temporaryReportPath(ctx_.settings);
    // A report left behind by an earlier run must not pass for this one.
    removeFile(tmp);
    writeReport(ctx_, tmp, stream_, true);
    std::string report;
    bool read = readWholeFile(tmp, report, MAX_REPORT);
    removeFile(tmp);
    if (!read) {
        ctx_.showText(4);
        return {};
    }
    return report;
}

ReportHeading ReportViewModel::heading() const {
    return reportHeading(stream_.str(), path_, verified_);
}

void ReportViewModel::save() {
    auto chosen = chooseFileToSave(ctx_, fileFilter(ctx_.texts, REPORT_EXTENSION), REPORT_EXTENSION,
                                   fileNameWithExtension(path_, REPORT_EXTENSION));
    if (!chosen) return;
    // "x.txt" is written as x.DOC, a name the chooser never asked about.
    const std::string report = withExtension(*chosen, REPORT_EXTENSION);
    if (!confirmReplacing(ctx_, *chosen, {report})) return;
    if (writeReport(ctx_, *chosen, stream_, true)) ctx_.notifyText(SAVED_FILE_TEXT, {report});
}

std::string ParameterTextModel::open() {
    readSealedFile(ctx_, path_, stream_);
    size_t length = stream_.length();
    std::string text(length, '\0');
    stream_.seek(0);
    if (stream_.read(text.data(), length) != length) {
        ctx_.showText(4);
        return {};
    }
    return cutAtEndKey(normaliseLineEnds(text));
}

bool ParameterTextModel::save(const std::string& areaText) {
    std::string text = replaceAll(areaText, "\r\n", "\n");
    // A text the load would refuse is saved only when the operator wants it
    // so; No goes back to the editor.
    if (!parameterTextWellFormed(text) && !ctx_.askText(UNLOADABLE_TEXT_QUESTION)) return false;
    auto chosen = chooseFileToSave(ctx_, fileFilter(ctx_.texts, PARAMETER_EXTENSION), PARAMETER_EXTENSION,
                                   fileNameWithExtension(path_, PARAMETER_EXTENSION));
    if (!chosen) return false;
    const std::string file = withExtension(*chosen, PARAMETER_EXTENSION);
    if (!confirmReplacing(ctx_, *chosen, {file, withExtension(*chosen, REPORT_EXTENSION)})) return false;
    stream_.setLength(0);
    stream_.seek(0);
    stream_.write(text);
    if (!writeSealedFile(ctx_, *chosen, stream_)) return false;
    ctx_.notifyText(SAVED_FILE_TEXT, {file});
    return true;
}
