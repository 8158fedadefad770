#pragma once
// The operator of a batch job without a display: every message is one line on
// standard error (a table keeps its lines), every question is answered No, every file chooser is
// cancelled, and the progress window becomes a line per step when standard
// error is a terminal. Nobody can answer a question here, so No is the safe
// answer: it never lets a job go on with something the operator was asked
// about. Texts reach the terminal in the encoding of the locale, whatever
// encoding their language file was written in.

#include <iosfwd>
#include <string>

#include "platform/Operator.h"

class StderrOperator : public Operator {
public:
    // Writes to standard error; progress lines only when it is a terminal.
    StderrOperator();
    // Writes to out; progress lines when showProgress is set; texts in the
    // character set codeset ("UTF-8", "ISO-8859-1"; empty: the locale's).
    StderrOperator(std::ostream& out, bool showProgress, std::string codeset = {});

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
    // Language file bytes in the terminal's encoding.
    std::string forTerminal(const std::string& text) const;

    std::ostream& out_;
    std::string codeset_;
    bool showProgress_;
    std::string progressCaption_;
};

// The character set of the user's locale (LC_ALL, LC_CTYPE, LANG), whether or
// not the program has set its locale: "UTF-8", "ANSI_X3.4-1968" for C.
std::string localeCodeset();

// The text as one line: CR LF, a lone LF and a lone CR each become one blank.
std::string oneLine(const std::string& text);
