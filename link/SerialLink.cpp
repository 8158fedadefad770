// The port layer of the link: open and close with the fixed line settings,
// the echo probe, one byte at a time with status words, and the two
// deadline timers.
#include "link/SerialLink.h"

#include "platform/TermiosPort.h"

namespace {
// Longer than the pause after which a device abandons a half-received request.
constexpr uint32_t ResyncSilenceMs = 20;
}  // namespace

SerialLink::SerialLink() : clockWatchUs_(DefaultClockWatchUs) { setClock(monotonicClock()); }

SerialLink::~SerialLink() {
    Close();
    if (stamps_) stamps_->appendTo(stampPath_, portPath_.empty() ? "link" : portPath_);
}

void SerialLink::setStampLog(const std::string& path) {
    stampPath_ = path;
    if (path.empty()) {
        stamps_.reset();
        return;
    }
    // Room for a long load's transactions; older ones give way.
    constexpr size_t Rows = 1 << 14;
    stamps_ = std::make_unique<StampRing>(
        Rows, std::vector<std::string>{"kind", "call", "start", "purged", "deadline", "woke", "settled", "sent",
                                       "answered", "end", "back"});
}

void SerialLink::setPortResolver(std::function<std::string(unsigned port)> resolver) {
    resolver_ = std::move(resolver);
}

void SerialLink::setTransport(std::unique_ptr<ByteTransport> transport) {
    if (openFlag) Close();
    transport_ = std::move(transport);
    if (transport_) transport_->setClockWatch(clockWatchUs_);
    io_ = transport_.get();
}

void SerialLink::setClockWatch(uint32_t micros) {
    clockWatchUs_ = micros;
    if (transport_) transport_->setClockWatch(micros);
}

void SerialLink::setMonitor(BusRecorder* recorder) {
    if (recorder) {
        int64_t now = 0;
        clock_->now(now);
        recorder->start(now, clockFrequency);
    }
    monitor_.store(recorder, std::memory_order_release);
}

void SerialLink::setClock(std::shared_ptr<Clock> clock) {
    clock_ = clock ? std::move(clock) : monotonicClock();
    int64_t f = 0;
    if (clock_->frequency(f) && f > 0) clockFrequency = f;
}

void SerialLink::setWaitHook(std::function<void()> hook) { waitHook_ = std::move(hook); }

int SerialLink::Open(unsigned port) {
    openFailure_ = PortOpenFailure{};
    if (openFlag || port == 0) return 0;
    std::string path = resolver_ ? resolver_(port) : "/dev/ttyS" + std::to_string(port - 1);
    openFailure_.path = path;
    portLost_ = false;
    portPath_ = path;
    if (!transport_) setTransport(std::make_unique<TermiosPort>());
    int64_t f = 0;
    if (!clock_->frequency(f) || f <= 0) {
        openFailure_.problem = PortProblem::Other;
        return 0;
    }
    clockFrequency = f;
    if (!transport_->open(path)) {
        openFailure_ = transport_->lastOpenFailure();
        if (openFailure_.problem == PortProblem::None) openFailure_.problem = PortProblem::Other;
        if (openFailure_.path.empty()) openFailure_.path = path;
        return 0;
    }
    echoFlag = 0;
    openFlag = 1;
    EchoProbe();
    if (!openFlag) {
        // It opened but failed at its first bytes: a port with nothing
        // behind it (the transport tells), or one gone at once.
        portLost_ = false;
        openFailure_ = transport_->lastOpenFailure();
        if (openFailure_.problem == PortProblem::None) openFailure_.problem = PortProblem::Other;
        if (openFailure_.path.empty()) openFailure_.path = path;
        return 0;
    }
    PurgeAll();
    return 1;
}

void SerialLink::LosePort() {
    if (!openFlag) return;
    portLost_ = true;
    ClosePort();
}

// Some adapters hand every sent byte straight back. Phase one waits for any
// reaction to 0xFF at all; phase two insists on a clean 0xFF, so a line that
// only answers with noise is never taken for an echoing one.
void SerialLink::EchoProbe() {
    bool reacted = false;
    for (int attempt = 0; attempt < 4 && openFlag; ++attempt) {
        Settle();
        WriteByte(0xFF);
        if (!(ReadByte(50) & NoByte)) {
            reacted = true;
            break;
        }
    }
    if (!reacted) return;
    for (int attempt = 0; attempt < 4 && openFlag; ++attempt) {
        Settle();
        WriteByte(0xFF);
        if (ReadByte(50) == 0x00FF) {
            echoFlag = 1;
            return;
        }
    }
}

// The worker goes with the port: a transaction in flight (a close asked from
// the wait hook) ends first.
int SerialLink::Close() {
    worker_.stop();
    return ClosePort();
}

int SerialLink::ClosePort() {
    if (!openFlag) return 0;
    bool restored = transport_->close();
    openFlag = 0;
    resyncPending_ = false;
    return restored ? 1 : 0;
}

int SerialLink::PurgeAll() {
    if (!openFlag) return 0;
    io_->purge();
    LineErrors discarded;
    return io_->takeErrors(discarded) ? 1 : 0;
}

// The 2 ms pause before each request lets the line calm down. It sleeps to
// shortly before the deadline and watches the clock for the rest (see
// DefaultClockWatchUs), then confirms on the same clock.
//
// A device takes bytes that follow each other within about 10 ms for one
// request. After a request that failed on a wrong answer it may still hold
// part of one (a byte of ours lost on the way, or bytes it took for a
// request of their own and answered early); a retry 2 ms later would be read
// as the rest of it, and every retry after it the same way. So the request
// after such a failure first keeps the line silent for twice that gap. A
// failure on silence needs none: the 50 ms wait for the answer was the gap.
// Retrying at once instead, a device holding one stray byte fails all ten
// attempts of a write (the stray-byte rows of the conformance suite and the
// fault soak show it).
int SerialLink::Settle() {
    // Nothing to calm down on a closed port, and nothing to wait for.
    if (!openFlag) return 0;
    if (resyncPending_) {
        resyncPending_ = false;
        if (StartDeadline(1, ResyncSilenceMs)) {
            int64_t before = clockNow;
            for (;;) {
                clock_->waitUntil(deadline1, clockWatchUs_);
                if (DeadlinePassed(1) || clockNow == before) break;
                before = clockNow;
            }
        }
    }
    int purged = PurgeAll();
    stamp(StampPurged);
    if (!StartDeadline(1, 2)) return purged;
    if (stamp_) stamp_[StampDeadline] = deadline1;
    int64_t before = clockNow;
    for (;;) {
        int64_t woke = clock_->waitUntil(deadline1, clockWatchUs_);
        if (stamp_ && woke) stamp_[StampWoke] = woke;
        if (DeadlinePassed(1)) break;
        if (clockNow == before) break;  // a clock that stands still would hold us forever
        before = clockNow;
    }
    stamp(StampSettled);
    return purged;
}

uint32_t SerialLink::ReadByte(uint32_t timeoutMs) {
    if (!openFlag) return PortFailure;
    uint8_t byte = 0;
    uint32_t status = 0;
    switch (io_->readByte(timeoutMs, byte)) {
    case ByteTransport::ReadStatus::Byte:
        status = byte;
        stamp(StampAnswered);
        break;
    case ByteTransport::ReadStatus::Timeout: status = NoByte; break;
    case ByteTransport::ReadStatus::Failed: status = 0; break;
    }
    LineErrors errors;
    if (io_->takeErrors(errors)) {
        if (errors.parity) status |= ParityError;
        if (errors.framing) status |= FramingError;
        if (errors.overrun) status |= Overrun;
    } else {
        status |= PortFailure;
    }
    if (status & PortFailure) LosePort();
    return status;
}

int SerialLink::IsLineQuiet() { return ReadByte(20) == NoByte ? -1 : 0; }

int SerialLink::WriteByte(uint32_t b) {
    if (!openFlag) return 0;
    uint8_t byte = uint8_t(b & 0xFF);
    int result = -1;
    if (!io_->writeByte(byte)) result = 0;
    if (stamp_ && !stamp_[StampSent]) stamp(StampSent);
    if (echoFlag && ReadByte(50) != byte) result = 0;
    LineErrors discarded;
    if (!openFlag) return 0;
    // A write the driver refused for good (EIO of a pulled adapter, a hung
    // up line) is a port failure like a failed read: the port goes at once.
    if (!io_->takeErrors(discarded)) {
        LosePort();
        return 0;
    }
    return result;
}

int64_t* SerialLink::DeadlineOf(int timer) {
    if (timer == 1) return &deadline1;
    if (timer == 2) return &deadline2;
    return nullptr;
}

bool SerialLink::ReadClock() {
    int64_t t = 0;
    if (!clock_->now(t)) return false;
    clockNow = t;
    return true;
}

// Multiply before dividing: at 999 ticks per second 2 ms must still be one
// tick ahead, not zero.
int SerialLink::StartDeadline(int timer, uint32_t ms) {
    int64_t* deadline = DeadlineOf(timer);
    if (!deadline || !ReadClock()) return 0;
    *deadline = clockNow + clockFrequency * int64_t(ms) / 1000;
    return -1;
}

int SerialLink::DeadlinePassed(int timer) {
    int64_t* deadline = DeadlineOf(timer);
    if (!deadline || !ReadClock()) return 0;
    return clockNow > *deadline ? -1 : 0;
}

int32_t SerialLink::RemainingMs() {
    if (!ReadClock() || clockFrequency <= 0) return 0;
    return int32_t((deadline2 - clockNow) * 1000 / clockFrequency);
}
