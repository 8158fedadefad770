#pragma once
// The operator of a batch job without a display: every message is one line on
// standard error (a table keeps its lines), every question is answered No, every file chooser is
// cancelled, and the progress window becomes a line per step when standard
// error is a terminal. Nobody can answer a question here, so No is the safe
// answer: it never lets a job go on with something the operator was asked
// about.

#include <iosfwd>
#include <string>

#include "platform/Operator.h"

class StderrOperator : public Operator {
public:
    // Writes to standard error; progress lines only when it is a terminal.
    StderrOperator();
    // Writes to out; progress lines when showProgress is set (for tests).
    StderrOperator(std::ostream& out, bool showProgress);

    void message(const std::string& caption, const std::string& text, MessageIcon icon) override;
    // The caption on a line of its own, then every line of the text as it is.
    void messageTable(const std::string& caption, const std::string& text, MessageIcon icon) override;
    bool question(const std::string& caption, const std::string& text) override;
    std::optional<std::string> chooseOpenFile(const FileChoice& choice) override;
    std::optional<std::string> chooseSaveFile(const FileChoice& choice) override;
    void ShowProgress(uint32_t* counter, uint32_t maximum, const std::string& caption) override;
    void HideProgress() override;

private:
    void writeLine(const std::string& caption, const std::string& text);

    std::ostream& out_;
    bool showProgress_;
    std::string progressCaption_;
};

// The text as one line: CR LF, a lone LF and a lone CR each become one blank.
std::string oneLine(const std::string& text);
