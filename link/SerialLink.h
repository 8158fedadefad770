#pragma once
// The lowest layer of the device link: one port with fixed line settings, one
// byte at a time, status words, the echo probe, deadline timers, and the
// transactions that run on the link's worker thread. The bytes travel through a
// ByteTransport (termios port, in-process fault line or simulator).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/BusMonitor.h"
#include "link/LinkWorker.h"
#include "platform/ByteTransport.h"
#include "platform/Clock.h"
#include "platform/StampRing.h"

// Status word bits.
inline constexpr uint32_t NoByte = 0x8000;
inline constexpr uint32_t ParityError = 0x4000;
inline constexpr uint32_t FramingError = 0x2000;
inline constexpr uint32_t Overrun = 0x1000;
inline constexpr uint32_t SendFailed = 0x0800;
inline constexpr uint32_t PortFailure = 0x0200;
inline constexpr uint32_t BadAnswer = 0x0100;

// A device answers 0x1D ("end of table") at and past its last parameter,
// never for a register below the parameters: such an answer is a request the
// device read out of step (it kept a byte of an earlier one), to be retried
// after the quiet that puts it back in step.
inline bool misreadEndOfTable(uint32_t key, uint32_t shortAnswer) { return key < 0x0100 && shortAnswer == 0xD; }

// The stretch before a deadline that the link watches the clock for instead
// of sleeping through. Waking from a sleep costs what the system takes to run
// the thread again: on an idle CPU of a virtual machine a tenth of a
// millisecond or more. Watching costs processor time for as long as it
// lasts, once per settle at least: a bus does over a hundred transactions a
// second, so every 100 µs of watch is about 0.011 CPU seconds per bus second
// (scripts/bench-trade.sh measures the trade; 1000 µs came to 0.13, over the
// 0.10 we allow). A watch helps only while it is longer than the wake-up it
// hides, so 200 µs: it covers a virtual machine's wake-up with room to spare,
// costs about 0.03 CPU seconds per bus second in all, and leaves the rest of
// the processor budget for slower machines than ours.
inline constexpr uint32_t DefaultClockWatchUs = 200;

class SerialLink {
public:
    SerialLink();
    virtual ~SerialLink();
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // ---- plumbing (not in the original design, needed on this platform) ----
    // Where "COM N" leads: a function from the port number to a device path.
    // Without one, port N opens "/dev/ttyS<N-1>".
    void setPortResolver(std::function<std::string(unsigned port)> resolver);
    // The transport Open uses; by default a termios port.
    void setTransport(std::unique_ptr<ByteTransport> transport);
    ByteTransport* transport() { return transport_.get(); }
    // The clock of the deadline timers; by default the monotonic clock.
    void setClock(std::shared_ptr<Clock> clock);
    // Called every few milliseconds on the waiting thread while a transaction
    // runs (the window keeps its progress bar moving). A transaction asked for
    // from inside the hook is refused, never run.
    void setWaitHook(std::function<void()> hook);
    // How long before the end of each timed wait (the settle, the byte
    // waits of the port) the link stops sleeping and watches the clock, in
    // microseconds; 0 sleeps all the way. See DefaultClockWatchUs.
    void setClockWatch(uint32_t micros);
    uint32_t clockWatch() const { return clockWatchUs_; }
    // True while a transaction is in flight.
    bool transactionInFlight() const { return inFlight_; }
    // Every transaction from now on goes to recorder as well (null: to none),
    // timed from this moment. The recorder must outlive its attachment; a
    // transaction in flight goes on recording where it started.
    void setMonitor(BusRecorder* recorder);
    BusRecorder* monitor() const { return monitor_.load(std::memory_order_acquire); }
    // From now on every transaction leaves the times of its steps (see
    // Stamp) in a ring allocated here, appended to the file at path when the
    // link goes; for the bus benchmark, which finds on them where the time
    // between an answer and the next request goes. Empty: none kept.
    void setStampLog(const std::string& path);

    // ---- port (one byte at a time) ----
    virtual int Open(unsigned port);
    int Close();
    int PurgeAll();
    int Settle();
    uint32_t ReadByte(uint32_t timeoutMs);
    int IsLineQuiet();
    int WriteByte(uint32_t b);
    int StartDeadline(int timer, uint32_t ms);
    int DeadlinePassed(int timer);
    int32_t RemainingMs();
    bool isOpen() const { return openFlag != 0; }
    // True once the open port failed under us (adapter pulled, line hung
    // up, the driver refusing every call) and was closed for it; until the
    // next Open. Every wait on the port then ends at once.
    bool portLost() const { return portLost_; }
    // The device path of the port opened last, kept after it was closed.
    const std::string& portPath() const { return portPath_; }
    // Why the last Open that tried a port failed; None after one that
    // opened it, or when Open tried nothing (already open, port 0).
    const PortOpenFailure& openFailure() const { return openFailure_; }
    bool echo() const { return echoFlag != 0; }

    // ---- transactions ----
    virtual int Select(uint8_t address);
    virtual int Deselect();
    uint32_t ReadRegister(uint32_t key);
    uint32_t WriteRegister(uint32_t key, uint32_t value, bool digit = false);

    // Slots of the last transaction.
    uint32_t resultField() const { return slots_.result; }
    int32_t errorFlag() const { return slots_.error; }
    // How the device met the last write: took it (0x1F), refused it with an
    // answer of its own (0x1E for a value it does not take, 0x1D past its
    // table), or gave no sound answer at all (silence, a damaged byte).
    enum class WriteAnswer : uint8_t { Taken, Refused, Silent };
    WriteAnswer lastWriteAnswer() const {
        if (slots_.error == 0) return WriteAnswer::Taken;
        return slots_.result <= 0xFF ? WriteAnswer::Refused : WriteAnswer::Silent;
    }
    uint32_t digitCount() const { return slots_.digits; }

protected:
    int32_t openFlag = 0;
    int32_t echoFlag = 0;
    int64_t clockFrequency = 0;
    int64_t clockNow = 0;
    int64_t deadline1 = 0;
    int64_t deadline2 = 0;
    // The transaction slots: arguments in, result field, error flag and
    // digit count out.
    struct Slots {
        uint32_t argumentA = 0;
        uint32_t argumentB = 0;
        uint32_t registerKey = 0;
        uint32_t result = 0;
        int32_t error = 0;
        uint32_t digits = 0;
        // The retried request a transaction belongs to and its attempt
        // (the bus monitor groups them); 0 outside ReadRegisterRetry and
        // WriteRegisterRetry.
        uint32_t request = 0;
        uint16_t attempt = 0;
    };
    Slots slots_;
    // The slots as the running transaction sees them. The worker reads and
    // writes only these; the caller copies the slots in before the start and
    // out after the end, so a transaction refused from inside the wait hook
    // can never disturb the one in flight.
    Slots work_;

    // Set by a read or write that failed on something other than silence:
    // the next request keeps the line silent for a while first (see Settle).
    bool resyncPending_ = false;
    bool portLost_ = false;
    std::string portPath_;

    std::unique_ptr<ByteTransport> transport_;
    // What the byte functions use: the transport, or the tap while a
    // recorded transaction runs (set and reset by its worker).
    ByteTransport* io_ = nullptr;
    std::atomic<BusRecorder*> monitor_{nullptr};
    BusTap tap_;
    uint32_t requests_ = 0;
    std::shared_ptr<Clock> clock_;
    std::function<std::string(unsigned)> resolver_;
    std::function<void()> waitHook_;
    bool inFlight_ = false;
    PortOpenFailure openFailure_;
    uint32_t clockWatchUs_;


    enum class Transaction { Select, Deselect, Read, Write, WriteDigit };

    // The steps of one transaction a stamp row holds, in monotonic
    // nanoseconds: the caller asks, the worker starts, the settle's purge
    // ends, the settle's deadline, its sleep ends, the settle ends, the
    // first request byte is out, the last answer byte is in, the worker
    // ends, the caller has the result.
    enum Stamp { StampKind, StampCall, StampStart, StampPurged, StampDeadline, StampWoke, StampSettled,
                 StampSent, StampAnswered, StampEnd, StampBack, StampCount };
    std::unique_ptr<StampRing> stamps_;
    std::string stampPath_;
    // The running transaction's row (null while none is kept); set by the
    // caller before the hand-over and cleared after it.
    int64_t* stamp_ = nullptr;
    void stamp(Stamp which) {
        if (stamp_) stamp_[which] = StampRing::now();
    }
    // Runs one transaction on the worker thread and waits for its end. False
    // (and nothing run, slots untouched) when another transaction is in
    // flight or no thread could be started.
    bool RunTransaction(Transaction which);
    // The worker's job: the transaction in running_, recorded to
    // runningRecorder_ when there is one (set by the caller before the
    // hand-over).
    static void RunJob(void* self);
    Transaction running_ = Transaction::Select;
    BusRecorder* runningRecorder_ = nullptr;
    void RunBody(Transaction which);
    void RunRecorded(Transaction which, BusRecorder& recorder);

    // Transaction bodies (worker thread; they use work_ only).
    void SelectTransaction();
    void DeselectTransaction();
    void ReadTransaction();
    void WriteTransaction();
    void WriteDigitTransaction();
    void ReadNibbleValue();
    // Sends the two key bytes of key (read or write form) and the given
    // payload bytes; true when every byte went out.
    bool SendRequest(uint32_t keyLow, uint32_t keyHigh, const uint8_t* payload, unsigned count);
    // Acknowledged write: the answer must be exactly 0x1F.
    void FinishWrite(bool sent, uint32_t value);

    uint32_t RefuseTransfer();
    // A port failure: the port is closed at once and counts as lost.
    void LosePort();
    // Close without the worker (which may be the thread asking).
    int ClosePort();
    void EchoProbe();
    int64_t* DeadlineOf(int timer);
    bool ReadClock();

    // Last, so that it goes first: nothing of the link goes while it runs.
    LinkWorker worker_;
};
