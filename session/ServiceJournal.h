#pragma once
// The service history: every operation that changed or recorded a device,
// kept in one SQLite database per user. An operation's start is written
// before it touches the device and its end after, so an entry without an end
// is one cut off by a crash or a pulled cable. The journal never stops
// service work: a database it cannot use is a problem it reports once, and
// it tries again at the next operation.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/SqliteDb.h"

// The schema this program writes. Version 1 lacked the two further identity
// values and kept no parameter values; version 2 kept no value's outcome, no
// device's identity per entry, and took a device with a new address or
// firmware for a new one. Version 3 gave its entries no globally unique id
// and kept no note of what the plant's server has. All are brought up to
// date on opening.
inline constexpr int JOURNAL_SCHEMA_VERSION = 4;
// The application id every journal database carries from version 3 on
// ("FSVH", FieldService Service History, in its four bytes): a database
// with another id belongs to another program and is neither changed nor
// used. Versions 1 and 2 carried none (0).
inline constexpr int64_t JOURNAL_APPLICATION_ID = 0x46535648;

// PutBack: a load's backup written back after the load stopped, an entry of
// its own beside the load's.
enum class JournalOperation : uint8_t { ParameterSend, PasswordChange, AddressChange, Restart, Save, Load, PutBack };
inline constexpr int JournalOperationCount = static_cast<int>(JournalOperation::PutBack) + 1;
// The key stored in the database and printed by --history ("send", "load").
const char* operationKey(JournalOperation op);
std::optional<JournalOperation> operationOfKey(const std::string& key);

// Who a device is: what the connection reads from it. Values it did not
// give are -1.
struct DeviceIdentity {
    int64_t address = -1;
    std::string name;
    int64_t version = -1;
    int64_t release = -1;
    int64_t parameterVersion = -1;
    int64_t register40 = -1;
    int64_t register44 = -1;
    bool operator==(const DeviceIdentity&) const = default;
};

// Whether a device is the unit the journal knows as unit: the same name and,
// when both give them, the same two further identity values (registers 40
// and 44), whatever their address and firmware; without them, the same name
// at the unit's address. The journal's own choice of a device follows it.
bool sameUnit(const DeviceIdentity& unit, const DeviceIdentity& device);

struct JournalStart {
    JournalOperation operation = JournalOperation::Restart;
    DeviceIdentity device;
    int64_t time = 0;   // seconds since 1970, UTC
    std::string user, host, port;
    std::string file;   // the file a load reads or a save writes
    std::string via;    // where the operation was started ("compare", "history", "table", "batch")
};

// What became of one parameter in an operation, as it happened.
enum class ValueOutcome : uint8_t {
    Recorded,   // a save's value (read, nothing written)
    Written,    // written and acknowledged, not read back
    Verified,   // written, and read back equal
    Differs,    // written, and read back otherwise (readBack holds what)
    Moving,     // written; moves on its own, a counter or a measurement (readBack: what it read)
    Refused,    // the device refused the value (after: the value it was offered)
    NoAnswer,   // the device did not answer the write (it may or may not hold it)
    PutBack,    // written, then put back from the backup (readBack: what it holds now)
};
inline constexpr int ValueOutcomeCount = static_cast<int>(ValueOutcome::PutBack) + 1;
// The key stored in the database and printed by --history ("verified", "put back").
const char* valueOutcomeKey(ValueOutcome outcome);
std::optional<ValueOutcome> valueOutcomeOfKey(const std::string& key);

// A parameter's value in an entry: before and after a send, the value a save
// recorded or a load wrote (and the device acknowledged), and what the
// read-back found.
struct JournalValue {
    uint32_t number = 0;
    bool onOff = false;
    std::optional<int64_t> before;
    std::optional<int64_t> after;
    std::optional<int64_t> readBack;
    std::optional<ValueOutcome> outcome;
};

enum class JournalOutcome : uint8_t { Done, Failed };

struct JournalEnd {
    JournalOutcome outcome = JournalOutcome::Failed;
    int64_t time = 0;
    std::string file, seal, backup;
    std::string detail;   // the verification's result, the old and new address
    std::vector<JournalValue> values;
    // The address the device answers at after the operation, when it changed
    // it (an address change): the unit is found there from then on.
    std::optional<int64_t> address;
};

struct JournalDevice {
    int64_t id = 0;
    DeviceIdentity identity;
    int64_t entries = 0;
    int64_t lastTime = 0;
};

struct JournalRow {
    int64_t id = 0;
    int64_t deviceId = 0;
    JournalOperation operation = JournalOperation::Restart;
    int64_t started = 0;
    std::optional<int64_t> ended;   // nothing: interrupted (or still running)
    std::optional<JournalOutcome> outcome;
    std::string user, host, port, via, file, seal, backup, detail;
    int64_t valueCount = 0;
    // The device as the entry found it: its address and versions then
    // (-1: not known).
    int64_t address = -1, version = -1, release = -1, parameterVersion = -1;
    // The entry's globally unique id (a random UUID given when it was
    // written), and whether the plant's server lacks it or its end.
    std::string uid;
    bool waiting = false;
};

// An entry the plant's server lacks (or has without its end): the row, the
// unit it was made with, and its values.
struct WaitingEntry {
    JournalRow row;
    DeviceIdentity device;
    std::vector<JournalValue> values;
};

struct ValuePoint {
    int64_t entryId = 0;
    int64_t time = 0;
    JournalOperation operation = JournalOperation::Restart;
    JournalValue value;
};

// How an entry ended: done, failed, or never (cut off, or still running).
enum class EntryState : uint8_t { Done, Failed, Interrupted };

// What the window and --history ask for: one device's entries (every
// device's when deviceId is 0), of one operation or all, of one state or
// all, whose texts (file, user, host, port, detail) hold a word; newest first.
struct JournalQuery {
    int64_t deviceId = 0;
    std::optional<JournalOperation> operation;
    std::optional<EntryState> state;
    std::string text;
    size_t limit = 0;   // 0: all
    // Only the entries whose ids lie in [fromId, toId] (0: no bound).
    int64_t fromId = 0;
    int64_t toId = 0;
};

// Foreign: a database of another program (another application id, or tables
// that are not the journal's); it is neither changed nor used.
enum class JournalProblem : uint8_t { None, CannotOpen, Busy, Damaged, NewerSchema, Foreign, ReadOnly, Full, Failed };

class ServiceJournal {
public:
    // path: the database file; an empty path or enabled false journals nothing.
    explicit ServiceJournal(std::string path = {}, bool enabled = true, int busyMs = 3000);
    // A new location or switch takes effect at the next operation.
    void configure(const std::string& path, bool enabled);
    const std::string& path() const { return path_; }
    bool enabled() const { return enabled_ && !path_.empty(); }
    // Reads only (--history): the database is read into memory, brought up
    // to date there, and nothing is ever written or created, no folder, no
    // file. A later change to the file is not seen.
    void setReadOnly(bool readOnly);
    bool readOnly() const { return readOnly_; }

    // The entry's id, or 0 when it could not be written (problem() says why).
    int64_t begin(const JournalStart& start);
    // An end that could not be written is kept and written at the next
    // operation that can (a full disk emptied, a lock gone), so a finished
    // operation does not stay "interrupted"; it is lost only with the program.
    bool end(int64_t entryId, const JournalEnd& end);
    size_t pendingEnds() const { return pending_.size(); }
    // The backup of an operation still running, written at once: should the
    // operation never end, the entry still leads to the device as it was.
    bool noteBackup(int64_t entryId, const std::string& backup);

    std::vector<JournalDevice> devices();
    std::vector<JournalRow> entries(const JournalQuery& query);
    // The ids of the entries the query finds, newest first: what a window of
    // a hundred thousand entries reads before it reads the rows it shows.
    std::vector<int64_t> entryIds(const JournalQuery& query);
    std::optional<JournalRow> entry(int64_t id);
    std::vector<JournalValue> values(int64_t entryId);
    // One parameter of one device over time, oldest first.
    std::vector<ValuePoint> valueHistory(int64_t deviceId, uint32_t number);
    // Every parameter number the device's entries hold a value of.
    std::vector<uint32_t> parameterNumbers(int64_t deviceId);

    // The entries the plant's server lacks, oldest first, from the one
    // after afterId; at most limit; with their values unless only the rows
    // are asked for (the plant's view).
    std::vector<WaitingEntry> waitingEntries(int64_t afterId, size_t limit, bool withValues = true);
    // How many entries wait for the plant's server (-1: not known).
    int64_t waitingCount();
    // The server took these entries: whole (their end too) when they had ended.
    bool markSent(const std::vector<std::pair<int64_t, bool>>& sent);

    // The last call's problem, and the library's words for it.
    JournalProblem problem() const { return problem_; }
    const std::string& problemText() const { return problemText_; }
    // True once for each stretch of failures: the first failure after a
    // success (or after the start). The caller tells the operator then.
    bool problemIsNew();
    // True once after the database file was found replaced or removed by
    // another program while the journal had it open: the journal left the
    // old one and went on with what is there now (said to the operator).
    bool takeReplaced();

private:
    bool ready();
    // Whether the file the journal may use is ours (empty, ours of this or
    // an older version); problem() says why not. Reads only.
    bool ours();
    bool migrate();
    bool sameFile() const;
    bool writeEnd(int64_t entryId, const JournalEnd& end);
    bool writePending();
    bool fail(DbStatus status);
    void succeed();
    int64_t deviceIdOf(const DeviceIdentity& identity);
    // The rows of a query's columns, each made by read(statement).
    template <typename Row, typename Read>
    std::vector<Row> queryRows(const std::string& columns, const JournalQuery& q, Read read);

    std::string path_;
    bool enabled_;
    int busyMs_;
    SqliteDb db_;
    JournalProblem problem_ = JournalProblem::None;
    std::string problemText_;
    bool told_ = false;
    bool readOnly_ = false;
    bool replaced_ = false;
    // The file the connection opened (device and inode): another program
    // may put another file in its place.
    uint64_t fileDevice_ = 0, fileInode_ = 0;
    std::vector<std::pair<int64_t, JournalEnd>> pending_;
};
