// A register read against a line whose answer comes from the input:
// the read sends the key, then ReadNibbleValue takes what the "device"
// answers. The outcome must be the one the answer rules give (a reference
// reading below, written from the rules, not from the code), and it must keep
// the promises callers rely on: success only with 2, 4, 6 or 8 digits and a
// value that fits them; a short answer is one digit; every other failure
// carries a status word of 0x100 or more; the digit count changes only on
// success.
//
// Input: byte 0 is the register key's low byte (the high byte is 0x01); its
// bit 0 makes the line echo every byte sent, bit 1 runs the read through
// ReadRegister on a worker thread instead of calling the transaction
// directly. Then one event per pair of bytes: the first of the pair tells
// what the read gets (bits 0-1: 0 or 3 the byte, 1 a timeout, 2 a failed
// read call; bit 2 parity, bit 3 framing, bit 4 overrun, bit 5 the error
// state cannot be read), the second is the byte.
#include <memory>

#include "FuzzCheck.h"
#include "FuzzTargets.h"
#include "link/SerialLink.h"
#include "sim/FaultLine.h"
#include "sim/VirtualClock.h"

namespace {

constexpr uint32_t UNTOUCHED_DIGITS = 99;

class ProbeLink : public SerialLink {
public:
    void presetDigits(uint32_t digits) { slots_.digits = digits; }
    // The read transaction on this thread, with the slots as RunTransaction
    // hands them over.
    void readDirect(uint32_t key) {
        slots_.registerKey = key;
        work_ = slots_;
        ReadTransaction();
        slots_ = work_;
    }
};

using Event = FaultLine::Incoming;

std::vector<Event> scriptOf(const uint8_t* data, size_t size) {
    std::vector<Event> script;
    for (size_t i = 0; i + 1 < size; i += 2) {
        Event e;
        uint8_t how = data[i];
        e.timesOut = (how & 3) == 1;
        e.readFails = (how & 3) == 2;
        e.byte = data[i + 1];
        e.errors.parity = how & 0x04;
        e.errors.framing = how & 0x08;
        e.errors.overrun = how & 0x10;
        e.errorStateLost = how & 0x20;
        script.push_back(e);
    }
    return script;
}

// The status word a read event becomes.
uint32_t statusOf(const Event& e) {
    uint32_t s = e.timesOut ? NoByte : e.readFails ? 0 : e.byte;
    if (e.errorStateLost) return s | PortFailure;
    if (e.errors.parity) s |= ParityError;
    if (e.errors.framing) s |= FramingError;
    if (e.errors.overrun) s |= Overrun;
    return s;
}

struct Expected {
    int32_t error = 0;
    uint32_t result = 0;
    uint32_t digits = 0;
    size_t consumed = 0;   // events read before the answer ended
};

// The answer rules: byte i carries digit i in its low four bits and bit 6
// exactly on odd positions; bit 4 ends the answer, which after one byte is a
// short answer (its digit) and otherwise needs an even count; the eighth byte
// ends it with or without the mark. A status word above 0xFF (timeout, line
// error) spoils the answer but does not end it; a lost port does, and every
// later read reports the port failure without reading.
Expected expectedRead(const std::vector<Event>& script) {
    Expected x;
    size_t next = 0;
    bool portLost = false;
    auto read = [&]() -> uint32_t {
        if (portLost) return PortFailure;
        uint32_t s = next < script.size() ? statusOf(script[next]) : NoByte;
        if (next < script.size()) ++next;
        if (s & PortFailure) portLost = true;
        return s;
    };
    uint32_t bad = 0, value = 0;
    unsigned count = 0;
    bool ended = false;
    while (!ended && count < 8) {
        uint32_t s = read();
        if (s > 0xFF) bad |= s;
        else if (bool(s & 0x40) != bool(count & 1)) bad |= BadAnswer;
        else value |= (s & 0x0F) << (4 * count);
        ended = s & 0x10;
        ++count;
        if (count == 1 && ended) {
            x.error = -1;
            x.result = bad ? bad : (s & 0x0F);
            x.consumed = next;
            return x;
        }
    }
    x.consumed = next;
    if (count & 1) bad = BadAnswer;
    if (bad) {
        x.error = -1;
        x.result = bad;
    } else {
        x.digits = count;
        x.result = value;
    }
    return x;
}

}  // namespace

void fuzzNibbleRead(const uint8_t* data, size_t size) {
    if (size == 0) return;
    const uint8_t options = data[0];
    const bool echoes = options & 1;
    const bool onWorker = options & 2;
    const uint32_t key = 0x0100u | options;

    // Bytes cost no time: only the waits the link chooses move the clock.
    auto clock = std::make_shared<VirtualClock>();
    auto owned = std::make_unique<FaultLine>(clock, 0);
    FaultLine& line = *owned;
    line.echo = echoes;
    ProbeLink link;
    link.setTransport(std::move(owned));
    link.setClock(clock);
    FUZZ_CHECK(link.Open(1) == 1);
    FUZZ_CHECK(link.echo() == echoes);
    link.presetDigits(UNTOUCHED_DIGITS);

    // The device's answer, scripted only now so that opening the port
    // (its echo probe) reads none of it.
    const std::vector<Event> script = scriptOf(data + 1, size - 1);
    for (const Event& e : script) line.laterByte(e);
    line.written.clear();
    int64_t started = clock->nowNs();
    if (onWorker) link.ReadRegister(key);
    else link.readDirect(key);

    // The request: the key in its read form, low byte first.
    FUZZ_CHECK(line.written.size() == 2);
    FUZZ_CHECK(line.written[0] == (key & 0xFE) && line.written[1] == ((key >> 8) & 0xFF));

    Expected x = expectedRead(script);
    FUZZ_CHECK(script.size() - line.laterLeft() == x.consumed);
    FUZZ_CHECK(link.errorFlag() == x.error);
    FUZZ_CHECK(link.resultField() == x.result);

    const uint32_t digits = link.digitCount();
    const uint32_t result = link.resultField();
    if (link.errorFlag() == 0) {
        FUZZ_CHECK(digits == 2 || digits == 4 || digits == 6 || digits == 8);
        FUZZ_CHECK(digits == 8 || result < (1u << (4 * digits)));
    } else {
        FUZZ_CHECK(link.errorFlag() == -1);
        FUZZ_CHECK(digits == UNTOUCHED_DIGITS);
        FUZZ_CHECK(result <= 0x0F || result >= 0x100);
        // A port failure ends the port; a read through ReadRegister says so.
        if (result >= 0x100 && (result & PortFailure)) FUZZ_CHECK(!link.isOpen() && !line.isOpen());
    }
    // One answer never waits longer than its eight bytes and the settle.
    FUZZ_CHECK(clock->nowNs() - started <= (8 * 50 + 2 + 2) * int64_t(1000000));
}
