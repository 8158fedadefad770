#pragma once
// The load with a safety net: the device's parameters saved to a backup pair
// before the load writes anything, and every parameter of the file read back
// once the device has restarted with its new values. The clearing pass of a
// load zeroes every parameter first, so a load that stops half way leaves a
// device that the backup puts back.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/LocalDate.h"
#include "params/ConfirmedRead.h"
#include "params/ParameterModel.h"

class AppContext;
class JournalEntry;
struct LanguageTexts;
struct Settings;

// Where backups may go, in the order they are tried: <installDirectory>/backups
// when the installation directory is writable and no system one, then the user's data folder
// ($XDG_DATA_HOME/fieldservice/backups, ~/.local/share/fieldservice/backups
// without it; none in a context without the user's folders). A folder that
// exists but cannot be written is passed over for the next. Not created here.
std::vector<std::string> backupFolders(const Settings& settings);
// "<name>-<address>-<yyyymmdd>-<hhmmss>": the device name trimmed, every
// character but letters, digits, "-" and "_" made "_" ("device" when nothing
// is left), the address in two hex digits.
std::string backupBaseName(const std::string& deviceName, uint8_t address, const LocalDate& when);

// A load of a parameter file as the settings ask for it.
struct SafeLoad {
    bool loaded = false;       // the load went through to its end
    std::string path;          // the file as the operator named it
    std::string text;          // the file's parameter text (once read and verified)
    std::string backupPath;    // the backup's parameter file; empty when none was saved
    // The load's entry in the service history: begun before the first write,
    // ended when the last copy of the load goes (with the read-back's result).
    std::shared_ptr<JournalEntry> journal;
    // An access handshake ran (the backup's reading, the check, the load):
    // the device must be restarted. False when the file was refused first.
    bool accessOpened = false;
    std::vector<uint32_t> missing;   // registers the file lists and the device lacks
    // Values that changed while the backup read them: the read-back expects
    // them to differ from what the load wrote.
    std::vector<MovingValue> backupMoving;
};
// Reads and verifies the file (a file that does not verify gets no backup),
// checks its text, saves the backup (settings.backupBeforeLoad; when it
// fails, the operator is asked whether to load without one, No the
// default answer), then checks
// every value against the device and loads. A load that stops after it
// wrote anything puts the device back from the backup at once (the same
// load, without a backup of its own) and says which parameter stopped it,
// where the backup is and whether putting back succeeded. The backup is read before the
// check opens extended access, as the save command reads a device, so its
// bytes are the ones a save would write; a value the check then refuses
// costs a spare backup, nothing on the device. Leaves extended access open,
// like loadParameterFile: the caller restarts the device.
SafeLoad loadParameterFileSafely(AppContext& ctx, const std::string& path);

// One parameter whose value in the device is not the file's.
struct ParameterDifference {
    ParameterNumber number = 0;
    bool onOff = false;
    uint32_t fileValue = 0;      // on/off: 1 for on
    uint32_t deviceValue = 0;
    bool deviceKnown = true;     // false: the device did not answer the read that was to tell
};
struct Verification {
    unsigned listed = 0;         // parameters of the file the device had at the load (each number once)
    unsigned checked = 0;        // compared with a value the device gave, equal or not
    unsigned equal = 0;
    std::vector<ParameterDifference> differences;
    // Values that move on their own (a counter, a measurement): the value
    // written and what the device reads now. Not a failed verification.
    std::vector<ParameterDifference> moving;
    // The file's bus address and password, read back from the device: a
    // register the file gives and the device holds otherwise (or would not
    // tell) is listed here (AddressKey, PasswordKey).
    std::vector<uint32_t> identityDiffers;
    uint8_t addressInFile = 0;                 // when the address differs: the file's
    std::optional<uint8_t> addressRead;        // and what the device gave, when it did
    std::vector<ParameterNumber> unavailable;   // the device had them at the load, not now
    bool partial = false;        // the device stopped answering before the end
    bool accessTried = false;    // the access handshake ran: a restart must close it
    bool clean() const { return !partial && differences.empty() && unavailable.empty() && identityDiffers.empty(); }
};
// Opens extended access and reads back every parameter the text lists, under
// a progress window. A value that differs is read once more before it counts:
// the protocol has no checksum, and two lost digit bytes make a well-formed
// wrong value; when that second read goes unanswered the parameter counts
// as a difference with the device's value unknown, and the result is
// partial. A value that reads otherwise twice at the same width moved
// between the reads, as does one the backup saw moving (knownMoving): it is
// listed as moving, not as a difference. Parameters missing at the load (it
// told of them, missingAtLoad) are left out; any other the device does not
// have now is listed. The file's bus address and password are read back
// too. Does not restart the device.
Verification verifyParameterText(AppContext& ctx, const std::string& text,
                                 const std::vector<uint32_t>& missingAtLoad = {},
                                 const std::vector<ParameterNumber>& knownMoving = {});
// What the operator reads about a verification that found differences or
// stopped: the partial mark, the table (number, description, file value,
// device value, in fixed columns) and where the backup is.
std::string verificationReport(const LanguageTexts& texts, const Verification& v, const std::string& backupPath);
// The moving values of a verification as a table under its line; empty for none.
std::string movingReport(const LanguageTexts& texts, const Verification& v);

// The end of a load that went in, after its restart: the read-back when the
// settings ask for it (then restart again through restart when its
// handshake ran: extended access must not stay open), then the result. A
// load that went in (and agrees) ends with one message naming the file, the
// count verified and the backup, with a button that opens the backups
// folder; differences are told as a table. True when the file went in,
// every parameter read back agrees and the restart (when needed) succeeded.
bool finishLoad(AppContext& ctx, const SafeLoad& load, const std::function<bool()>& restart);
