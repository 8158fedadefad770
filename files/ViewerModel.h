#pragma once
// What the report viewer and the parameter text editor do, without a screen:
// the dialogs show the texts these give and call save when their button is
// pressed. Texts for the text area have CR LF line ends.
#include <string>

#include "files/MemoryStream.h"
#include "files/ReportPages.h"

class AppContext;
struct Settings;

// The temporary report of the viewer: "TMP.DOC" in the user's runtime folder
// ($XDG_RUNTIME_DIR/fieldservice, else the cache folder), made when missing.
// Always there, never in the installation directory: that is rarely the
// user's to write, and two users viewing at once would share one file there.
// A context without the user's folders keeps it in the installation
// directory.
std::string temporaryReportPath(const Settings& settings);

// Line ends for the text area: CR LF, LF CR and LF each become one CR LF, and
// an empty line between two lines (CR LF CR LF) becomes a single line break.
std::string normaliseLineEnds(const std::string& text);
// The text before the first "#END.: ", or all of it.
std::string cutAtEndKey(const std::string& text);

class ReportViewModel {
public:
    ReportViewModel(AppContext& ctx, std::string path) : ctx_(ctx), path_(std::move(path)) {}
    // Reads the parameter file (a failed verification still gives a report),
    // writes its full report to the temporary report, takes its text and
    // deletes it. Empty after text 4 when the report cannot be read.
    std::string open();
    // What a printed page of the report says it comes from, and whether the
    // file passed its check: known after open.
    ReportHeading heading() const;
    // The save button: the full report again from the file's content, under
    // the chosen name with the extension "DOC".
    void save();
    const std::string& path() const { return path_; }

private:
    AppContext& ctx_;
    std::string path_;
    MemoryStream stream_;
    bool verified_ = false;
};

class ParameterTextModel {
public:
    ParameterTextModel(AppContext& ctx, std::string path) : ctx_(ctx), path_(std::move(path)) {}
    // The unsealed content for editing, line ends normalised, cut before "#END.: ".
    std::string open();
    // The save button: the edited text (any line ends) sealed under the chosen
    // name, with its report beside it. True when it was written.
    bool save(const std::string& areaText);
    const std::string& path() const { return path_; }

private:
    AppContext& ctx_;
    std::string path_;
    MemoryStream stream_;
};
