#pragma once
// What the options dialog shows and what its OK does, without a screen: the
// language codes of the installation, the entry the configured language
// selects, the port names with the devices they lead to, the serial devices
// present, and writing the choice to config.ini before the installation is
// loaded again.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/SerialPorts.h"
#include "platform/SettingsProfile.h"

struct Settings;

// The language codes of the "messages.*" files in dir: the part of each name
// after its first ".", lower-cased, sorted. Names without a point, entries
// that are not files and empty codes are left out; "messages.ITA" and
// "messages.ita" give one entry.
std::vector<std::string> languageCodes(const std::string& dir);

// The entry that begins with language, compared without regard to case. The
// search starts at the second entry, runs to the end and wraps around to the
// first, which is tried last. -1 when none matches.
int findLanguageEntry(const std::vector<std::string>& codes, const std::string& language);

// "COM 01" to "COM 24".
std::vector<std::string> portNames();
// The entry the configured port selects: port - 1, or -1 outside 1 to 24.
int portEntry(unsigned port);

// One "COM nn" entry with the device it leads to and whether that is there.
struct PortEntry {
    std::string name;        // "COM 05"
    std::string device;      // what OK leaves in the profile for this port
    bool present = false;
    bool changed = false;    // a device chosen in this dialog, written by OK
};

// The words the port lists are made of, in the language of the dialog.
struct PortWords {
    std::string present;     // "present"
    std::string absent;      // "not present"
    std::string builtIn;     // "built-in port"
    std::string serial;      // "serial number %s"
    std::string uart;        // "UART of the board (%s)"
    std::string bluetooth;   // "Bluetooth serial %s"
    std::string network;     // "network port"
};

// The port words in the language of text: a function from a text number to
// the text (the window's conversion, or the plain message).
PortWords portWords(const std::function<std::string(uint32_t)>& text);

// "The options could not be saved to this file and stay as they were:",
// above the file's name: what a settings write that failed tells.
inline constexpr uint32_t SETTINGS_NOT_WRITTEN_TEXT = 0x8180;

// What a COM entry shows beside its name: "/dev/ttyUSB0 (present)", or
// "rfc2217://10.0.0.7:4001 (network port)": whether a server is there shows
// only when it is connected to.
std::string portDetail(const PortEntry& entry, const PortWords& words);
// A present device as its list shows it: the path, then maker, model and
// serial number ("/dev/ttyUSB0  FTDI FT232R USB UART, serial number A5X"),
// the built-in word for a PC's own port, the board's device for a UART of
// the board and the far end's address for a Bluetooth link.
std::string deviceText(const SerialDevice& device, const PortWords& words);

// The COM entries and the serial devices present, and the devices chosen for
// COM ports while the dialog is open. The devices are read when it is made
// and on refresh; what was chosen stays until OK writes it.
class PortChoices {
public:
    explicit PortChoices(SettingsProfile profile, SerialRoots roots = {});

    // Reads the devices present again.
    void refresh();
    const std::vector<PortEntry>& ports() const { return ports_; }
    const std::vector<SerialDevice>& devices() const { return scan_.devices; }
    // The present device that COM entry portEntry leads to, -1 when none.
    int deviceEntry(int portEntry) const;
    // Maps the present device to the COM entry, by its by-id link when it has
    // one; false (nothing changes) when either index is outside its list.
    bool choose(int portEntry, int deviceEntry);
    // Maps a path the operator typed (any device, listed or not) to the COM
    // entry; false when the entry is outside its list or the path is empty.
    bool choosePath(int portEntry, const std::string& path);
    // Port number -> device, for OK to write.
    const std::map<unsigned, std::string>& chosen() const { return chosen_; }

private:
    void update();

    SettingsProfile profile_;
    SerialScan scan_;
    std::vector<PortEntry> ports_;
    std::map<unsigned, std::string> chosen_;
};

// What the operator chose; -1 stands for "nothing selected".
struct OptionsChoice {
    int languageEntry = -1;
    int portEntry = -1;
    bool connectOnStartup = false;
    // Devices chosen for COM ports: port number -> device path.
    std::map<unsigned, std::string> portDevices;
    bool backupBeforeLoad = true;
    bool verifyAfterLoad = true;
    bool confirmSaveReads = true;
    // The service history's switch and database (the default one's path, or
    // empty, keeps the default).
    bool historyJournal = true;
    std::string historyDatabase;
    // The plant's history server (a connection URI; empty: none).
    std::string historyServer;
    std::string tlsCaFile;
};

// OK: language = the chosen code (kept when none is chosen), lower-cased;
// serial port = entry + 1 (0 when none); the six keys written to the
// profile (language, serial_port, connect_on_startup, backup_before_load,
// verify_after_load, confirm_save_reads, history_journal, history_database, history_server), and "com<N>=<device>" in section "Port Devices" for
// each device chosen, through the settings profile (the user's own file when
// the installation is not theirs); when a write fails, writeFailed gets the
// file's name once, before reload runs (the installation loader; its result
// is not looked at, its own messages tell of a failure).
void applyOptions(Settings& state, const std::vector<std::string>& codes, const OptionsChoice& choice,
                  const std::function<bool()>& reload,
                  const std::function<void(const std::string& file)>& writeFailed = {});
