#pragma once
// Parameter text, sealed parameter files, reports, loading and saving.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/AtomicFile.h"
#include "files/MemoryStream.h"
#include "params/ConfirmedRead.h"

class AppContext;
class Clock;
struct LanguageTexts;

// The seal: every byte of a sealed block is combined with a four-byte key
// formed from the file's seed and this mask.
inline constexpr uint32_t SEAL_MASK = 0x6C6C6C6C;
// The seed of a file written while the clock cannot be read.
inline constexpr uint32_t FALLBACK_SEED = 0x4E1D7B92;
inline constexpr uint16_t CHECKSUM_START = 0x5B3D;

// What a reading of the device found besides the values themselves.
struct ReadNotes {
    std::vector<MovingValue> moving;   // values that changed while they were read
    bool passwordWithheld = false;     // the device does not give its password: the text holds none
    bool cancelled = false;            // the operator stopped the reading: nothing was told
};
// Reads the selected device's parameter set into a parameter text (two
// passes), the password, the parameter version and the address in its head
// read again with the care the values get. False after the message saying
// why (a register named when it could not be read reliably). With cancel,
// the progress window has a Cancel button: a Cancel ends the reading after
// the read under way, and the result is false with notes->cancelled set and
// nothing told.
bool writeParameterText(AppContext& ctx, MemoryStream& stream, ReadNotes* notes = nullptr,
                        std::atomic<bool>* cancel = nullptr);

// Writes the report of the parameter text in stream to withExtension(path,
// "DOC"). path names the parameter file or the report itself (any extension,
// or none): its file name's extension is replaced exactly once, so the report
// of "unit.old.NFO" is "unit.old.DOC". Do not pass a base path that has
// already lost its extension. The report is complete or not written at all;
// an earlier report of that name survives a failure. False after text 4.
// Deferred durability leaves the flush to the disk to the caller.
bool writeReport(AppContext& ctx, const std::string& path, MemoryStream& stream, bool allParameters,
                 Durability durability = Durability::Synced);
// Splits text into at most maxLines lines of at most width characters.
int wrapText(const std::string& text, std::vector<std::string>& lines, int width, int maxLines);

// The sealed block.
void sealBytes(uint32_t seed, uint8_t* bytes, size_t count);
uint16_t textChecksum(MemoryStream& stream);
// Position of needle in data[0, length), or -1.
long findBytes(const uint8_t* data, size_t length, const std::string& needle);
// Writes the report (free parameters only) and then the sealed parameter
// file withExtension(path, "NFO"), each complete or not at all. *seal, when
// given: "<seed>/<checksum>" in hex, as its "#CRPT: " and "#END: " lines
// hold them.
bool writeSealedFile(AppContext& ctx, const std::string& path, MemoryStream& stream, std::string* seal = nullptr);
// Reads withExtension(path, "NFO"), unseals it into stream (which it empties
// first) and verifies the checksum.
bool readSealedFile(AppContext& ctx, const std::string& path, MemoryStream& stream);

// Where writeSealedFile takes its seed: the tick count of the context's seed
// clock (the monotonic clock when it has none), low and high 32-bit halves
// added; FALLBACK_SEED when the clock cannot be read.
uint32_t sealSeed(Clock& clock);

// Loading into the selected device.
bool loadParameterFile(AppContext& ctx, const std::string& path);
bool applyParameterText(AppContext& ctx, MemoryStream& stream);
// The same, with a step run before the load writes anything: once the text
// has passed its own checks (name, form, parameter version question) and
// before the check against the device opens extended access, so that the
// step sees the device's access as the load found it. False from it ends the
// load there (the step has told why).
bool applyParameterText(AppContext& ctx, MemoryStream& stream, const std::function<bool()>& beforeWriting);

// How far a load came. Each stage's writes come after the ones before: the
// bus address, the password, the access that opens the parameters again,
// the pass that clears every parameter, the pass that writes the file's.
enum class LoadStage : uint8_t { Checking, Address, Password, Access, Clearing, Writing, Complete };

// One register a load wrote (or sent a value to and got no answer), in the
// order written; a parameter cleared and then written appears twice.
struct WrittenRegister {
    uint32_t key = 0;
    uint32_t value = 0;
    bool onOff = false;
    bool acknowledged = true;   // false: the device did not answer; it may hold the value or not
};

// How a load ended, for the callers that restart the device or put it back.
struct LoadRun {
    bool loaded = false;
    bool accessOpened = false;   // a handshake ran: access stays open until a restart
    bool written = false;        // a write went out (address, password, a parameter)
    bool deviceFailed = false;   // a read or write failed; text 3 is left to the caller
    uint32_t failedAt = 0;       // the parameter whose read or write failed; 0: none
    std::vector<uint32_t> missing;   // registers the file lists and the device lacks
    LoadStage stage = LoadStage::Checking;   // the furthest stage the load reached
    std::vector<WrittenRegister> registers;  // what it wrote, in order
    uint8_t addressBefore = 0;               // the device's address when the load began
    // The write that stopped it: its value and how the device met it.
    std::optional<uint32_t> failedValue;
    bool failedSilent = false;   // no answer (true) or a refusal (false)
    std::string declined;        // why the load stopped before writing, for the history ("values too wide")
};
struct LoadOptions {
    // As beforeWriting above.
    std::function<bool()> beforeWriting;
    // Values wider than the digits the device gives their parameters: one
    // question lists them before anything is written (No the default). A
    // backup holds the device's own values and goes in without it.
    bool askAboutWideValues = true;
    // The file's path as the operator named it, for the messages.
    std::string path;
};
// The device name a parameter text gives ("#NAME: "), without its padding.
std::optional<std::string> nameInText(std::string_view text);
// True when the text's name is the connected device's (the file's may run
// on past it); otherwise says so, naming the file, both devices and the
// address.
bool textIsForDevice(AppContext& ctx, std::string_view text, const std::string& path);
// The load itself, telling how far it came; applyParameterText is this with
// text 3 after a failed read or write.
LoadRun runParameterText(AppContext& ctx, MemoryStream& stream, const LoadOptions& options);
// True when the text is fit to be loaded as far as the text alone tells:
// "#NAME: " present; "#PVER: ", "#ADDR: " (a bus address, 0 to 63) and
// "#PSWD: " readable where present; every "#CODE: " followed by a parameter
// number (0x0100 up, both bytes below 0x80) and every "#DATA: " by a decimal
// number or a word. Loading refuses anything else with text 32783 before it
// writes to the device, and then checks every value against the kind of its
// parameter, read from the device, before the first write.
bool parameterTextWellFormed(const std::string& text);

// Commands of the main window that need no window of their own.
void saveParameterFile(AppContext& ctx);        // 40011
// The save after its file was chosen: the device's parameters read into
// stream and written as the sealed file at path (the report beside it),
// journaled as a save (with the values that moved). False after the
// message saying why. *notes: what the reading found besides the values.
// A cancelled reading (see writeParameterText) writes no file.
bool writeParameterFileTo(AppContext& ctx, const std::string& path, MemoryStream& stream,
                          ReadNotes* notes = nullptr, std::atomic<bool>* cancel = nullptr);
// What a save says besides its file: the values that moved and a password
// the device withheld, one paragraph each; empty when there is nothing.
std::string readNotesText(const LanguageTexts& texts, const ReadNotes& notes);
void loadParameterFileCommand(AppContext& ctx); // 40012
// What command 40012 does with the chosen file: the load with its backup
// and read-back as the settings ask, the restart, and what it tells. True
// when the file went in, the device came back and (when asked) every value
// read back equal. First the operator is asked (No the default) to load the
// file into the device named by name and address; *confirmed tells the
// answer to callers that show the device afterwards.
bool loadFileIntoDevice(AppContext& ctx, const std::string& path, bool* confirmed = nullptr);
