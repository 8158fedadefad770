#pragma once
// One simulated field device: identity and control registers, a parameter
// table, and the request parser that turns bytes from the master into
// answers.
//
// Registers (keys): 16..30 name (one character each), 32 version, 34
// release, 36 parameter version, 40 and 44 optional identity values, 46
// status, 48 password, 58 restart (write 0x55), 60 bus address, 62
// parameter access (write 0xA5 with a password, 0x5A without; reads 1 while
// open), 68 extended access (write 0x5A once access is open; reads 1 while
// open). Parameters from 0x0100: numeric ones of 2, 4, 6 or 8 digits and
// on/off ones (read as the short answer 0x10/0x11, written in the digit form
// 0x10 + d), each readable with normal access or with extended access only.
//
// Answers the device gives besides values and 0x1F:
//   0x1D  a parameter key at or past the end of the table (also without access)
//   0x1E  no such register, a gap in the table, a parameter the current
//         access does not reach (every parameter while access is closed),
//         or a write the register refuses (read-only, wrong form, too wide)
//   none  a broken request, a muted key, or while restarting
//
// Live parameters: a counter (operating hours, starts, energy) steps after
// every read of it or once every period of the device's clock; a wandering
// measurement (a voltage, a flow) moves about its base the same way. Every
// other parameter stands still between writes.
//
// Devices differ in how they answer within what the wire allows; the
// fields under "how it answers" pick the forms and the timing. Their
// defaults are the common device the tests and benchmarks assume.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

// How a parameter's value moves between reads.
enum class SimMotion : uint8_t { Still, Counter, Wander };

struct SimParameter {
    uint32_t key = 0;
    uint8_t digits = 4;          // 2, 4, 6 or 8; 0 for an on/off parameter
    uint32_t value = 0;
    bool extendedOnly = false;
    // The largest value the device takes, when its range is narrower than
    // its digits (a percentage in 2 digits stops at 100); larger values are
    // refused like values too wide.
    uint32_t limit = 0xFFFFFFFFu;

    // ---- live values (numeric parameters only) ----
    // Counter: adds step to the value after every read that answers it
    // (periodNs 0) or once every periodNs of the device's clock, the ticks
    // missed since the last one caught up when it is next read or written.
    // It wraps at its digits (a 4-digit counter goes from 0xFFFF to 0).
    // Wander: the value takes small random steps (-2..+2, the same every run)
    // within base - band .. base + band, clamped to 0 and to its digits. The
    // bus file starts it at base; a value set by hand outside that range
    // becomes its base.
    // The period counts from the first read or write of the parameter.
    // An accepted write sets a counter's value, and a wandering value's base
    // and value.
    SimMotion motion = SimMotion::Still;
    uint32_t step = 1;
    uint32_t band = 0;
    int64_t periodNs = 0;
    uint32_t base = 0;
    // The device's bookkeeping: when the period last ticked (-1: not yet
    // started) and the random walk's state (0: not yet seeded).
    int64_t tickedNs = -1;
    uint32_t walk = 0;

    bool onOff() const { return digits == 0; }
};

class SimDevice {
public:
    static constexpr uint8_t ShortAnswer = 0x10;
    static constexpr uint8_t EndOfTable = 0x1D;
    static constexpr uint8_t NotAvailable = 0x1E;
    static constexpr uint8_t Acknowledge = 0x1F;

    // ---- what the device is ----
    uint8_t address = 1;
    std::string name = "DEVICE  ";   // always 8 characters
    uint32_t version = 1;
    uint32_t release = 0;
    uint32_t parameterVersion = 1;
    bool hasRegister40 = false;
    uint32_t register40 = 0;
    bool hasRegister44 = false;
    uint32_t register44 = 0;
    uint32_t status = 0;
    uint32_t password = 0;
    std::map<uint32_t, SimParameter> parameters;
    uint32_t endKey = 0x0100;        // first key that answers 0x1D

    // ---- how it answers ----
    bool accessReadsShort = false;      // 62 and 68 read 0x10/0x11 rather than the value 0 or 1
    // Identity registers 32, 34, 36, 40, 44, 46, 48: 0 answers 32, 34, 36 and
    // 48 in as few digits as the value needs and 40, 44, 46 in 4; 2 or 4
    // answers all of them in at least that many digits.
    uint8_t identityDigits = 0;
    bool absentRegistersSilent = false; // 40/44 absent: no answer rather than 0x1E
    bool nameZeroPadded = false;        // the blanks after the name are answered as 0x00
    bool eightDigitsWithoutEndMark = false;   // 8-digit values leave the end mark off
    int64_t turnaroundNs = -1;          // before the first byte of an answer; -1: the wire's
    int64_t answerByteGapNs = 0;        // quiet time between the bytes of one answer
    bool restartAcknowledged = true;    // false: the restart command goes unanswered
    int64_t restartSilenceNs = -1;      // how long a restart keeps it silent; -1: the bus's
    // A request that breaks off (a byte lost) is kept while further bytes
    // come within this time of the one before (stop bit to stop bit); the
    // next bytes continue it. After a longer quiet line the device starts
    // afresh.
    int64_t requestHoldNs = 10000000;

    // ---- faults ----
    std::set<uint32_t> mutedKeys;    // reads and writes of these never answer
    // Reads of a key answered this many more times, then never again (a
    // line that fails between two reads of one register).
    std::map<uint32_t, unsigned> readsBeforeMute;
    bool vanished = false;           // answers nothing at all
    // Reads of these keys answer 0x1E although the register exists (a
    // password register that cannot be read); writes go on as usual.
    std::set<uint32_t> unavailableKeys;

    // ---- what happened ----
    bool access = false;
    bool extendedAccess = false;
    int64_t silentUntilNs = 0;
    unsigned restarts = 0;
    unsigned reads = 0;              // read requests received (muted ones too)
    unsigned writes = 0;             // accepted writes
    std::map<uint32_t, unsigned> writesByKey;

    // Sets the name, cut or padded with blanks to 8 characters.
    void setName(const std::string& text);
    SimParameter* parameter(uint32_t key);
    const SimParameter* parameter(uint32_t key) const;
    bool awake(int64_t atNs) const { return !vanished && atNs >= silentUntilNs; }
    // The last parameter key plus one step, or 0x0100 for an empty table.
    uint32_t keyAfterLastParameter() const;

    // A request byte (bit 7 clear) from the master while this device is
    // selected; returns the answer bytes. busRestartSilenceNs: how long a
    // restart keeps the device silent unless it has its own time.
    std::vector<uint8_t> receive(uint8_t byte, int64_t atNs, int64_t busRestartSilenceNs);
    // True once after a restart command was accepted (the bus drops the selection).
    bool takeRestarted();
    void resetRequest() { state_ = State::KeyLow; }

private:
    enum class State { KeyLow, KeyHigh, Value };
    std::vector<uint8_t> answerRead(uint32_t key, int64_t atNs);
    // Brings a live parameter up to atNs (the ticks of its period since the
    // last one), or moves it once after a read when it has no period.
    void catchUp(SimParameter& p, int64_t atNs);
    void move(SimParameter& p, uint64_t times);
    std::vector<uint8_t> answerWrite(uint32_t key, bool digitForm, uint32_t value, int64_t atNs,
                                     int64_t silenceNs);
    std::vector<uint8_t> writeParameter(uint32_t key, bool digitForm, uint32_t value, int64_t atNs);
    bool reaches(const SimParameter& p) const;
    std::vector<uint8_t> value(uint32_t v, unsigned minDigits = 2) const;
    std::vector<uint8_t> identity(uint32_t v, unsigned ownDigits) const;

    State state_ = State::KeyLow;
    uint8_t keyLow_ = 0;
    uint32_t key_ = 0;
    std::vector<uint8_t> valueBytes_;
    int64_t lastByteNs_ = 0;
    bool restarted_ = false;
};
