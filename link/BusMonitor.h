#pragma once
// The bus monitor's plain part: what one transaction looked like on the line,
// the recorder the link's worker thread hands each one to, the tap that
// catches the bytes while a recorded transaction runs, the decoding of a
// transaction into words, and the log the monitor window shows.
//
// A link without a recorder attached runs as before: the only cost is one
// atomic load when a transaction starts (SerialLink::setMonitor).
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ByteTransport.h"

enum class BusKind : uint8_t { Select, Release, Read, Write, DigitWrite };
inline constexpr unsigned BusKindCount = 5;

struct BusTransaction {
    static constexpr unsigned MaxSent = 10;
    static constexpr unsigned MaxReceived = 16;

    uint64_t serial = 0;        // numbered by the recorder from 0
    int64_t atNs = 0;           // start, since the recorder was started, on the link's clock
    BusKind kind = BusKind::Read;
    uint32_t target = 0;        // the address of a select, the register key otherwise
    uint32_t value = 0;         // the value a write sent
    uint32_t result = 0;        // the result field as the transaction left it
    int32_t error = 0;          // the error flag
    uint32_t digits = 0;        // digits of a value read
    uint32_t request = 0;       // the retried request it belongs to; 0: none
    uint16_t attempt = 0;       // 1, 2, ... within that request
    int16_t address = -1;       // the device it went to: a select's address, else the one selected last; -1 none
    bool restarting = false;    // sent after a restart write, while the device is expected to stay silent
    uint8_t sentCount = 0;
    uint8_t receivedCount = 0;
    uint16_t receivedMore = 0;  // reads past the ones kept
    bool sendFailed = false;    // a byte could not be sent
    uint8_t sent[MaxSent] = {};
    // Each read as a status word: the byte, or NoByte, with the line error bits.
    uint16_t received[MaxReceived] = {};
};

// The transactions of a link, kept in a ring of the last `capacity`. The
// link's worker thread records, the window thread takes; a lock guards both.
class BusRecorder {
public:
    static constexpr size_t Capacity = 100000;
    explicit BusRecorder(size_t capacity = Capacity) : capacity_(capacity ? capacity : 1) {}

    // Time 0 of the recording, in ticks of the link's clock.
    void start(int64_t originTicks, int64_t ticksPerSecond);
    // Numbers the transaction, times it from the clock ticks at its start,
    // gives it the address selected at the time and whether a restart is
    // under way, and keeps it (the oldest goes once capacity are held).
    void record(BusTransaction t, int64_t startTicks);
    // Copies the transactions from number `next` on (older ones that were
    // overwritten are skipped), at most `max`, and moves next past them.
    void take(uint64_t& next, std::vector<BusTransaction>& out, size_t max = Capacity);
    // How many were ever recorded: the number the next one gets.
    uint64_t recorded() const;
    size_t capacity() const { return capacity_; }

private:
    mutable std::mutex mutex_;
    size_t capacity_;
    std::vector<BusTransaction> ring_;
    uint64_t total_ = 0;
    int64_t origin_ = 0;
    int64_t frequency_ = 1000000000;
    int16_t selected_ = -1;
    bool restarting_ = false;
};

// A transport between the link and its own while a recorded transaction
// runs: passes everything on and writes the bytes into the transaction.
// An adapter's echo of a sent byte is not an answer and is left out.
class BusTap : public ByteTransport {
public:
    void begin(ByteTransport* inner, bool echo, BusTransaction* into);

    bool open(const std::string& devicePath) override { return inner_->open(devicePath); }
    bool close() override { return inner_->close(); }
    ReadStatus readByte(uint32_t timeoutMs, uint8_t& byte) override;
    bool writeByte(uint8_t byte) override;
    bool purge() override;
    bool takeErrors(LineErrors& errors) override;

private:
    ByteTransport* inner_ = nullptr;
    BusTransaction* into_ = nullptr;
    bool echo_ = false;
    bool echoNext_ = false;
    bool readKept_ = false;   // the last call was a read kept in the transaction
};

// ---- decoding ----

enum class BusAnswer {
    Value,            // a read's value
    ShortAnswer,      // a one-digit answer to a read
    EndOfTable,       // short answer 0x1D
    Gap,              // short answer 0x1E
    Acknowledged,     // a write's 0x1F
    Selected,
    Released,
    NotAcknowledged,  // a write answered with another byte
    WrongAnswer,      // a select answered by another address
    LineNotQuiet,     // a release that never found the line quiet
    LineFault,        // status bits: timeout, line errors, send or port failure, bad answer
    RestartSilence,   // a timeout the restart command asked for: the device is restarting
};

struct BusOutcome {
    BusAnswer answer = BusAnswer::LineFault;
    uint32_t value = 0;    // the value, the short answer (0x10 + digit) or the byte answered
    uint32_t status = 0;   // the status bits of a line fault
    unsigned digits = 0;
    bool failed = false;   // shown in colour: the link counts it a failure
};

BusOutcome decodeOutcome(const BusTransaction& t);

// The words the monitor writes, from texts whose parts are separated by
// '|': the kinds (in BusKind order), the outcome words (BusWord order), the
// column headings (BusColumn order) and the register names (BusRegister
// order from Name on). Missing parts keep their English default.
enum class BusWord {
    Value, ShortAnswer, EndOfTable, Gap, Acknowledged, Selected, Released, NotAcknowledged,
    WrongAnswer, LineNotQuiet, Timeout, ParityError, FramingError, Overrun, SendFailed,
    PortFailure, BadAnswer, Retry, RestartSilence, Count
};

// The registers the program itself uses, by name; parameters are one group.
enum class BusRegister {
    None, Name, Version, Release, ParameterVersion, Identity, Status, Password, Restart, BusAddress,
    ParameterAccess, ExtendedAccess, Parameter, Count
};
BusRegister registerOf(uint32_t key);
// The result comes before the bytes: it is what the operator reads, and it
// stays in sight in a narrow window.
enum class BusColumn { Time, Kind, Target, Register, Result, Sent, Received, Count };
struct BusWords {
    BusWords();
    static constexpr unsigned ColumnCount = unsigned(BusColumn::Count);
    static constexpr unsigned RegisterCount = unsigned(BusRegister::Count) - 1;
    void set(const std::string& kinds, const std::string& outcomes, const std::string& columns = "",
             const std::string& registers = "");
    std::string kinds[BusKindCount];
    std::string columns[ColumnCount];
    std::string words[size_t(BusWord::Count)];
    std::string registers[RegisterCount];
    const std::string& word(BusWord w) const { return words[size_t(w)]; }
    const std::string& column(BusColumn c) const { return columns[size_t(c)]; }
    std::string registerName(BusRegister r) const { return r == BusRegister::None ? "" : registers[size_t(r) - 1]; }
};

// One transaction as the monitor's columns show it.
struct BusRowText {
    std::string time;       // ms with one decimal
    std::string kind;       // "read", or "retry 2" for a later attempt
    std::string target;     // address or key, hexadecimal
    std::string name;       // the register's name, when the program knows it
    std::string sent;       // hex bytes
    std::string received;   // hex bytes; "--" a read that timed out, marks P F O for line errors
    std::string result;
    bool failed = false;
    bool retry = false;     // a later attempt of a retried request
};
BusRowText describe(const BusTransaction& t, const BusWords& words);

// ---- the log the window shows ----

// The last `capacity` transactions taken from a recorder, those of the kinds
// shown in a list of their own. Rows are numbered from the first ever kept
// (firstRow), so a view can tell what left at the front and what came at
// the end since it last looked.
class BusMonitorLog {
public:
    explicit BusMonitorLog(size_t capacity = BusRecorder::Capacity);

    BusRecorder& recorder() { return recorder_; }

    // Takes what the recorder holds since the last time; nothing while paused.
    void pull();
    void setPaused(bool paused) { paused_ = paused; }
    bool paused() const { return paused_; }
    // Forgets every transaction kept and every one recorded so far.
    void clear();
    void setKindShown(BusKind kind, bool shown);
    bool kindShown(BusKind kind) const { return shown_[unsigned(kind)]; }
    // Only the transactions that went to this device address; -1 all.
    void setAddressShown(int address);
    int addressShown() const { return address_; }

    // The rows shown, numbered firstRow() to firstRow() + rowCount() - 1.
    uint64_t firstRow() const { return firstRow_; }
    size_t rowCount() const { return rows_.size(); }
    // Row n by its number; null when it is not (or no longer) shown.
    const BusTransaction* row(uint64_t n) const;
    // Every transaction kept, shown or not.
    size_t kept() const { return kept_.size(); }
    // Where row n stands among every transaction kept, and back: the first
    // row at or after that place (one past the last row when none is). A
    // view keeps its place across a change of filter by these.
    uint64_t keptPosition(uint64_t n) const;
    uint64_t rowAtOrAfter(uint64_t keptPosition) const;

    // The rows shown under their headings, as text columns or as
    // comma-separated values (CR LF line ends, with a last column: 1 for a
    // failure; each field as texts/CsvField.h makes it, never a formula). The
    // time column is milliseconds since the recording started.
    bool writeText(std::FILE* f, const BusWords& words) const;
    bool writeCsv(std::FILE* f, const BusWords& words) const;

private:
    void rebuildRows();
    bool shows(const BusTransaction& t) const;

    BusRecorder recorder_;
    size_t capacity_;
    uint64_t next_ = 0;                 // the recorder's next number to take
    std::deque<BusTransaction> kept_;
    uint64_t firstKept_ = 0;            // position of kept_.front() among all ever kept
    std::deque<uint64_t> rows_;         // positions of the rows shown
    uint64_t firstRow_ = 0;
    bool shown_[BusKindCount] = {true, true, true, true, true};
    int address_ = -1;
    bool paused_ = false;
    std::vector<BusTransaction> taken_;
};
