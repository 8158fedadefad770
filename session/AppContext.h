#pragma once
// What a command works with: the installation's settings, the device link,
// the operator interface, the main window's flags and the texts of the chosen
// language. Start-up builds one context and hands it to every command, model
// and batch job; a test builds its own, so two of them never share state.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/Operator.h"
#include "platform/SerialPorts.h"
#include "platform/SettingsProfile.h"
#include "platform/UserDirs.h"
#include "texts/TextTable.h"

class Clock;
class DeviceLink;
class ServiceJournal;
class PlantSender;

inline constexpr const char* versionText = "v1.10";
inline constexpr const char* dateText = "Jun, 2008";

// Something about the installation the operator is told once its texts are
// loaded: a text number and the values for its places.
struct InstallationNote {
    uint32_t text = 0;
    std::vector<std::string> values;
};

// The installation: where it is and what config.ini chose.
struct Settings {
    std::string installDirectory;   // the folder of the texts and help files, no trailing "/"
    std::string profilePath;        // installDirectory + "/config.ini", or the system's config.ini
    // The installation is the system's (a package's): nothing is written
    // into it, whoever runs the program, root included.
    bool sharedInstallation = false;
    // Told after the installation loader has loaded the texts, then cleared.
    std::vector<InstallationNote> installationNotes;
    // The operator's own config.ini over the installed one, when the
    // installation cannot be written ($XDG_CONFIG_HOME/fieldservice/config.ini);
    // empty: the installed file is the operator's.
    std::string userProfilePath;
    // The user's folders; empty in a context built without a start-up
    // (tests, benchmarks), which keeps everything in installDirectory.
    UserDirs user;
    // Every read and write of the settings goes through this.
    SettingsProfile profile() const { return SettingsProfile(profilePath, userProfilePath); }
    std::string language;
    uint8_t serialPort = 1;
    bool connectOnStartup = false;
    // The load's backup before it writes and its read-back afterwards. The
    // installation loader turns both on unless config.ini says 0; a context
    // built without an installation (tests, benchmarks) loads plainly.
    bool backupBeforeLoad = false;
    bool verifyAfterLoad = false;
    // A save (and the load's backup) reads every numeric value again until
    // two reads agree: answers carry no checksum, and a value that lost two
    // digit bytes on the way is well-formed. On unless config.ini says 0,
    // in a context without an installation too.
    bool confirmSaveReads = true;
    // The service history: on unless config.ini says history_journal=0; its
    // database at history_database, else history.sqlite in the user's data
    // folder (none in a context without the user's folders).
    bool journalEnabled = true;
    std::string journalPath;
    // The plant's history server: a libpq connection URI (history_server);
    // empty: the laptop keeps its history alone.
    std::string historyServer;
    // The CA file for rfc2217s:// and tcps:// (tls_ca_file); empty: the system's authorities.
    std::string tlsCaFile;
    std::string windowTitle;        // text 0 + " " + versionText
    std::string helpFilePath;       // installDirectory + "/help_" + language + ".hlp"
    bool installationLoaded = false;
    // The folder the operator last chose a file in, this run (see FileChooser.h).
    std::string lastFolder;
    // --port: the serial device of this run, whatever config.ini maps; never written.
    std::string portOverride;
    // In a job on several buses, the bus as part of a file name ("ttyUSB0",
    // "plc7-4001"): the files the job makes end in it. Empty otherwise.
    std::string busFileTag;
    // Where the serial ports present are looked for (tests point it at a tree of their own).
    SerialRoots serialRoots;
};

// The main window's flags that commands read and change. MainFrame derives
// from it; batch jobs and tests use the context's own plain instance.
class FrameState {
public:
    virtual ~FrameState() = default;
    bool deviceSelected = false;
    bool idle = true;
    uint32_t currentParameterNumber = 0x100;
    uint32_t lastStatus = 0;
    // The port whose connection was lost (see PortLoss.h); empty otherwise.
    std::string lostPort;
    // The loss was told during the command (or poll) running now: its other
    // failures are that loss too. Cleared when the next one starts.
    bool portLossTold = false;
    // Renders the device panel again (the Qt main window repaints; others do nothing).
    virtual void RenderPanel() {}
};

class AppContext {
public:
    // Without an operator of its own, the context reports on standard error.
    explicit AppContext(DeviceLink& link, Operator* op = nullptr);
    ~AppContext();
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    Settings settings;
    LanguageTexts texts;
    DeviceLink& link;
    // The clock whose tick count seeds each sealed file; the monotonic clock
    // when none is set (tests set one with a fixed count).
    std::shared_ptr<Clock> seedClock;
    // The service history the commands write to; none: nothing is journaled.
    ServiceJournal* journal = nullptr;
    // Sends the journal's entries to the plant's server; none: nothing is sent.
    PlantSender* plant = nullptr;
    // Where the operations running now were started from, when not from their
    // own command ("compare", "history", "batch"); see JournalVia.
    std::string journalVia;

    Operator& ui() const { return *operator_; }
    FrameState& window() const { return *window_; }
    void setOperator(Operator* op);
    // The main window takes over as operator and window while it exists;
    // null gives the context's own back.
    void attachWindow(Operator* op, FrameState* window);

    // Text n of the messages table.
    std::string message(uint32_t n) const { return texts.messages.Lookup(n); }
    // A message box with the window title as caption and text n.
    void showText(uint32_t n, MessageIcon icon = MessageIcon::Exclamation);
    // A message box with the window title as caption and a text built by the caller.
    void showMessage(const std::string& text, MessageIcon icon = MessageIcon::Exclamation);
    // Text n about one file: the file's name below it, after an empty line.
    void showFileText(uint32_t n, const std::string& path);
    // A Yes/No question with the window title as caption and text n.
    bool askText(uint32_t n);
    // Text n with its places filled (see texts/TextFill.h), told in passing.
    void notifyText(uint32_t n, std::initializer_list<std::string> values);
    // The progress window with text n as caption.
    void showProgressText(uint32_t* counter, uint32_t maximum, uint32_t n);

private:
    std::unique_ptr<Operator> ownOperator_;
    Operator* operator_ = nullptr;
    FrameState ownWindow_;
    FrameState* window_ = &ownWindow_;
};
