// The bus transactions. They run on the link's worker thread (LinkWorker.h)
// at the highest priority the process may ask for (real-time where it is
// allowed, see ThreadTiming.h), so byte timing holds while the caller
// waits; the caller keeps its window alive through the wait hook.
#include "link/NibbleValue.h"
#include "link/SerialLink.h"
#include "platform/ThreadTiming.h"

namespace {

// The caller's timed waits (the wait hook's interval) end on time too; asked
// once per calling thread.
void preciseTimersForCaller() {
    thread_local bool asked = false;
    if (asked) return;
    asked = true;
    threadtiming::preciseTimers();
}

}  // namespace

bool SerialLink::RunTransaction(Transaction which) {
    if (inFlight_) return false;
    inFlight_ = true;
    work_ = slots_;
    if (stamps_) {
        stamp_ = stamps_->take();
        stamp_[StampKind] = int64_t(which);
        stamp(StampCall);
    }
    running_ = which;
    // The monitor's whole cost while it is closed.
    runningRecorder_ = monitor_.load(std::memory_order_acquire);

    preciseTimersForCaller();
    bool ran = worker_.run(&SerialLink::RunJob, this, &waitHook_);
    stamp(StampBack);
    stamp_ = nullptr;
    if (ran) slots_ = work_;
    inFlight_ = false;
    return ran;
}

void SerialLink::RunJob(void* self) {
    auto* link = static_cast<SerialLink*>(self);
    if (link->runningRecorder_) link->RunRecorded(link->running_, *link->runningRecorder_);
    else link->RunBody(link->running_);
}

void SerialLink::RunBody(Transaction which) {
    stamp(StampStart);
    switch (which) {
    case Transaction::Select: SelectTransaction(); break;
    case Transaction::Deselect: DeselectTransaction(); break;
    case Transaction::Read: ReadTransaction(); break;
    case Transaction::Write: WriteTransaction(); break;
    case Transaction::WriteDigit: WriteDigitTransaction(); break;
    }
    // A read's short answers (0..0xF with the error flag) are answers, not
    // failures. Any other failure that did not end in silence may have left
    // the device out of step with us; on a closed port nothing went out.
    if (which == Transaction::Read || which == Transaction::Write || which == Transaction::WriteDigit) {
        bool failed = work_.error != 0 && (which != Transaction::Read || work_.result > 0x0F ||
                                           misreadEndOfTable(work_.registerKey, work_.result));
        resyncPending_ = failed && !(work_.result & NoByte) && openFlag;
    }
    stamp(StampEnd);
}

// The transaction with its bytes caught on the way, handed to the recorder
// from the worker when it ends.
void SerialLink::RunRecorded(Transaction which, BusRecorder& recorder) {
    BusTransaction t;
    switch (which) {
    case Transaction::Select: t.kind = BusKind::Select; t.target = work_.argumentA & 0x3F; break;
    case Transaction::Deselect: t.kind = BusKind::Release; break;
    case Transaction::Read: t.kind = BusKind::Read; t.target = work_.registerKey; break;
    case Transaction::Write: t.kind = BusKind::Write; t.target = work_.registerKey; break;
    case Transaction::WriteDigit: t.kind = BusKind::DigitWrite; t.target = work_.registerKey; break;
    }
    if (which == Transaction::Write) t.value = work_.argumentB;
    if (which == Transaction::WriteDigit) t.value = work_.argumentB & 0x0F;
    t.request = work_.request;
    t.attempt = work_.attempt;
    int64_t startTicks = 0;
    clock_->now(startTicks);
    tap_.begin(transport_.get(), echoFlag != 0, &t);
    io_ = &tap_;
    RunBody(which);
    io_ = transport_.get();
    t.result = work_.result;
    t.error = work_.error;
    t.digits = work_.digits;
    recorder.record(t, startTicks);
}

void SerialLink::SelectTransaction() {
    Settle();
    uint32_t address = work_.argumentA & 0x3F;
    work_.argumentA = address;
    int sent = WriteByte(0x80 + address);
    uint32_t s = ReadByte(50);
    work_.result = (sent && s <= 0xFF && ((s ^ address) & 0x7F) == 0) ? uint32_t(-1) : 0;
}

// No purge before the release: the line is only listened to until it has
// been quiet for 20 ms, and a line that never calms down gets nothing.
void SerialLink::DeselectTransaction() {
    StartDeadline(2, 500);
    bool passed = false;
    for (;;) {
        // A port closed by a failure can never turn quiet; don't spin on it.
        if (DeadlinePassed(2) || !openFlag) {
            passed = true;
            break;
        }
        if (IsLineQuiet()) break;
    }
    work_.result = passed ? 0 : uint32_t(int32_t(WriteByte(0xFF)));
}

bool SerialLink::SendRequest(uint32_t keyLow, uint32_t keyHigh, const uint8_t* payload,
                             unsigned count) {
    bool sent = WriteByte(keyLow) != 0;
    sent = WriteByte(keyHigh) != 0 && sent;
    for (unsigned i = 0; i < count; ++i) sent = WriteByte(payload[i]) != 0 && sent;
    return sent;
}

void SerialLink::ReadTransaction() {
    Settle();
    uint32_t k = work_.registerKey;
    if (!SendRequest(k & 0xFE, (k >> 8) & 0xFF, nullptr, 0)) {
        work_.error = -1;
        // A port lost on the way is a port failure, not a request to retry.
        work_.result = portLost_ ? SendFailed | PortFailure : SendFailed;
        return;
    }
    ReadNibbleValue();
}

// A one-byte answer with its end mark is a short answer (a status digit); a
// longer one is a value. Missing bytes do not end the answer early: only an
// end mark or the eighth byte does.
void SerialLink::ReadNibbleValue() {
    uint32_t s = ReadByte(50);
    uint32_t e = 0;
    uint32_t value = 0;
    if (s > 0xFF) {
        e = s;
    } else if (s & OddDigitMark) {
        e = BadAnswer;
    } else {
        value = s & 0x0F;
    }
    if (s & EndMark) {
        work_.error = -1;
        work_.result = e ? e : (s & 0x0F);
        return;
    }
    unsigned count = 1;
    uint32_t previous = s;
    while (!(previous & EndMark) && count < 8) {
        unsigned i = count;
        s = ReadByte(50);
        if (s > 0xFF) {
            e |= s;
        } else if (bool(s & OddDigitMark) != bool(i & 1)) {
            e |= BadAnswer;
        } else {
            value |= (s & 0x0F) << (4 * i);
        }
        previous = s;
        ++count;
    }
    if (count & 1) e = BadAnswer;
    if (e) {
        work_.error = -1;
        work_.result = e;
        return;
    }
    work_.error = 0;
    work_.digits = count;
    work_.result = value;
}

void SerialLink::FinishWrite(bool sent, uint32_t value) {
    uint32_t s = ReadByte(50);
    if (s != 0x001F) {
        work_.error = -1;
        work_.result = s;
    } else if (!sent) {
        work_.error = -1;
        work_.result = SendFailed;
    } else {
        work_.error = 0;
        work_.result = value;
    }
}

void SerialLink::WriteTransaction() {
    Settle();
    uint32_t k = work_.registerKey;
    uint8_t digitBytes[8];
    unsigned count = encodeNibbleValue(work_.argumentB, digitBytes);
    bool sent = SendRequest((k & 0xFF) | 1, (k >> 8) & 0xFF, digitBytes, count);
    FinishWrite(sent, work_.argumentB);
}

void SerialLink::WriteDigitTransaction() {
    Settle();
    uint32_t k = work_.registerKey;
    uint8_t digit = uint8_t(EndMark + (work_.argumentB & 0x0F));
    bool sent = SendRequest((k & 0xFF) | 1, (k >> 8) & 0xFF, &digit, 1);
    FinishWrite(sent, work_.argumentB);
}

int SerialLink::Select(uint8_t address) {
    if (inFlight_ || !openFlag) return 0;
    slots_.argumentA = address;
    if (!RunTransaction(Transaction::Select)) return 0;
    return int(int32_t(slots_.result));
}

int SerialLink::Deselect() {
    if (inFlight_ || !openFlag) return 0;
    if (!RunTransaction(Transaction::Deselect)) return 0;
    return int(int32_t(slots_.result));
}

// A read or write that cannot run (another one is in flight, or no thread
// could be started) fails with PortFailure without touching the port. The
// slots it sets are overwritten by the transaction in flight when it ends.
uint32_t SerialLink::RefuseTransfer() {
    slots_.error = -1;
    slots_.result = PortFailure;
    return slots_.result;
}

uint32_t SerialLink::ReadRegister(uint32_t key) {
    if (inFlight_) return RefuseTransfer();
    slots_.registerKey = key;
    if (!RunTransaction(Transaction::Read)) return RefuseTransfer();
    if (slots_.error == -1 && (slots_.result & PortFailure)) Close();
    return slots_.result;
}

uint32_t SerialLink::WriteRegister(uint32_t key, uint32_t value, bool digit) {
    if (inFlight_) return RefuseTransfer();
    slots_.registerKey = key;
    slots_.argumentB = value;
    if (!RunTransaction(digit ? Transaction::WriteDigit : Transaction::Write)) return RefuseTransfer();
    if (slots_.error == -1 && (slots_.result & PortFailure)) Close();
    return slots_.result;
}
