#pragma once
// The one operator interface: every message box, question, file chooser and
// progress window of the program goes through it. The main window implements
// it with Qt, batch jobs without a display print to standard error, and tests
// record what was shown and answer with what they were told to.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

enum class MessageIcon { Exclamation, Stop, Question, Information };

// A file chooser request: the filter text as the program builds it
// ("Parameter files (*.NFO)|*.NFO|"), the default extension without the dot
// ("NFO"), the directory to start in, and for a save the name it proposes
// ("PUMP_01_2026-12-10.NFO"; empty: none).
struct FileChoice {
    std::string filter;
    std::string defaultExtension;
    std::string initialDirectory;
    std::string proposedName;
    // What the chooser picks, as its title; empty: the window title.
    std::string caption;
};

class Operator {
public:
    virtual ~Operator() = default;

    // A message box with an OK button.
    virtual void message(const std::string& caption, const std::string& text, MessageIcon icon) = 0;
    // A message whose lines are laid out in columns (a table of values): its
    // lines and blanks are kept as they are, in a fixed-width font where
    // there is a choice of fonts. Operators without one show a message.
    virtual void messageTable(const std::string& caption, const std::string& text, MessageIcon icon) {
        message(caption, text, icon);
    }
    // A result the operator reads at the end of a command (where a backup
    // went, what was loaded), with one more button beside OK that opens
    // folder in the desktop's file manager; actionLabel is its caption.
    // Operators without buttons show the message alone.
    virtual void messageWithFolder(const std::string& caption, const std::string& text, MessageIcon icon,
                                   const std::string& actionLabel, const std::string& folder) {
        (void)actionLabel;
        (void)folder;
        message(caption, text, icon);
    }
    // A question with Yes and No; true for Yes.
    virtual bool question(const std::string& caption, const std::string& text) = 0;
    // A question whose Yes is a risk (going on without a safety net): No is
    // the button Enter presses. Operators without buttons ask as above.
    virtual bool questionDefaultNo(const std::string& caption, const std::string& text) {
        return question(caption, text);
    }

    // The open- and save-file choosers; nothing when the operator cancelled.
    virtual std::optional<std::string> chooseOpenFile(const FileChoice& choice) = 0;
    virtual std::optional<std::string> chooseSaveFile(const FileChoice& choice) = 0;

    // The progress window. ShowProgress sets *counter to 0 and shows a bar from
    // 0 to maximum that follows *counter (read every 100 ms, never moving back)
    // under the caption; HideProgress ends it. Every ShowProgress is followed by
    // exactly one HideProgress. The counter is written by the window thread only.
    virtual void ShowProgress(uint32_t* counter, uint32_t maximum, const std::string& caption) = 0;
    virtual void HideProgress() = 0;
    // The progress window with a Cancel button: the button sets *cancelled,
    // which the operation reads between its steps and stops at the next one.
    // HideProgress ends it as it ends the plain window. Operators without a
    // button show the plain window and leave *cancelled as it is. The flag
    // may be read on another thread than the one the button runs on.
    virtual void ShowCancellableProgress(uint32_t* counter, uint32_t maximum, const std::string& caption,
                                         std::atomic<bool>* cancelled) {
        (void)cancelled;
        ShowProgress(counter, maximum, caption);
    }

    // What a command did, told in passing ("Saved 312 parameters to
    // .../unit.NFO"): the main window's status bar shows it for a few
    // seconds. Nobody has to answer it, so operators without a status bar
    // may let it go.
    virtual void notify(const std::string& text) { (void)text; }
};
