// The device link's own view of the transactions: the selected address and
// end key that follow each select, and the typed operations with retries.
#include "link/DeviceLink.h"

#include "link/RegisterKeys.h"

namespace {
constexpr int Attempts = 10;
constexpr uint32_t HandshakeMs = 10000;
// Selects that must stay unanswered before a device whose restart write was
// not acknowledged counts as restarting. Three of them take at most about
// 160 ms: well inside the shortest restart silence of a device (0.2 s), and
// enough that a select lost on the line does not pass for a restart.
constexpr int RestartProbes = 3;
}  // namespace

DeviceLink::DeviceLink() = default;

DeviceLink::~DeviceLink() = default;

int DeviceLink::Open(unsigned port) {
    busListCount = 0;
    return SerialLink::Open(port);
}

// The device answers the low six bits of the address, so those are what
// gets recorded: recording the full byte would name a device that is not
// on the bus and that no bus list entry could match.
int DeviceLink::Select(uint8_t address) {
    if (inFlight_) return 0;
    if (SerialLink::Select(address)) {
        selectedAddress = address & 0x3F;
        endKey = 0x7F7E;
        return -1;
    }
    selectedAddress = 0;
    return 0;
}

int DeviceLink::Deselect() {
    if (inFlight_) return 0;
    selectedAddress = 0;
    return SerialLink::Deselect();
}

// Numbers a retried request and its attempts in the slots while it lasts.
class DeviceLink::RequestScope {
public:
    RequestScope(DeviceLink& link) : slots_(link.slots_) { slots_.request = ++link.requests_; }
    ~RequestScope() {
        slots_.request = 0;
        slots_.attempt = 0;
    }
    void attempt(int n) { slots_.attempt = uint16_t(n + 1); }

private:
    Slots& slots_;
};

uint8_t DeviceLink::ReadRegisterRetry(uint32_t key, uint32_t& out) {
    RequestScope request(*this);
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        request.attempt(attempt);
        ReadRegister(key);
        out = slots_.result;
        if (slots_.error == 0) return 1;
        if (portLost_) return 0;   // nothing to retry against
        switch (slots_.result) {
        case 0x0:
        case 0x1: return 1;
        case 0xD:
            if (misreadEndOfTable(key, slots_.result)) break;
            return 2;
        case 0xE: return 3;
        default: break;
        }
    }
    return 0;
}

uint32_t DeviceLink::WriteRegisterRetry(uint32_t key, uint32_t value, bool digit) {
    RequestScope request(*this);
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        request.attempt(attempt);
        WriteRegister(key, value, digit);
        if (slots_.error == 0 || portLost_) break;
    }
    return slots_.result;
}

// The handshakes below loop on the clock for up to 10 s; asked for while a
// transaction is in flight every step would be refused, so they refuse at once.
int DeviceLink::OpenParameterAccess(bool alsoRegister68) {
    if (!connected || inFlight_) return 0;
    StartDeadline(2, HandshakeMs);
    // A closed port (lost on the way) ends the handshake: its 10 s are for
    // a slow device, not for a line that is gone.
    while (!DeadlinePassed(2) && openFlag) {
        progressCounter = uint32_t(int32_t(HandshakeMs) - RemainingMs());
        WriteRegister(AccessKey, password != 0 ? 0xA5 : 0x5A);
        if (slots_.error) continue;
        // Open access reads 1: as the value 1 or as the short answer 0x11,
        // which a device may give just as well. The result field holds 1 in
        // both cases; every failure holds a status word instead.
        ReadRegister(AccessKey);
        if (slots_.result != 1) continue;
        if (alsoRegister68) {
            WriteRegister(ExtendedAccessKey, 0x5A);
            if (slots_.error) continue;
        }
        parameterAccess = 1;
        return -1;
    }
    return 0;
}

// A device never restarts twice. A restart write whose acknowledgement did
// not arrive whole may have reached the device all the same (a lost or
// damaged acknowledgement, or a device that goes silent without one). A restarting
// device stays silent for a while; one that did not take the write still
// answers a select at once. So after such a write the device is probed with
// a few selects: an answer means it is awake and the write is sent again;
// silence means it is restarting, and from then on it is only waited for.
int DeviceLink::RestartAndWait() {
    if (!connected || inFlight_) return 0;
    uint8_t remembered = selectedAddress;
    StartDeadline(2, HandshakeMs);
    enum class Step { Write, Probe, Wait } step = Step::Write;
    int silentProbes = 0;
    while (!DeadlinePassed(2) && openFlag) {
        progressCounter = uint32_t(int32_t(HandshakeMs) - RemainingMs());
        switch (step) {
        case Step::Write:
            WriteRegister(RestartKey, 0x55);
            // Any answer but the acknowledgement may be a damaged one: the
            // probe tells whether the device took the write.
            step = slots_.error == 0 ? Step::Wait : Step::Probe;
            silentProbes = 0;
            break;
        case Step::Probe:
            if (Select(remembered)) {
                step = Step::Write;   // awake: the restart never arrived
            } else if (++silentProbes >= RestartProbes) {
                step = Step::Wait;
            }
            break;
        case Step::Wait:
            if (Select(remembered)) return -1;
            break;
        }
    }
    Deselect();
    return 0;
}

int DeviceLink::WriteAddress(uint32_t address) {
    if (!connected) return 0;
    WriteRegisterRetry(AddressKey, address & 0xFF);
    if (slots_.error) return 0;
    selectedAddress = uint8_t(address);
    return -1;
}

int DeviceLink::WritePassword(uint32_t value) {
    if (!connected) return 0;
    WriteRegisterRetry(PasswordKey, value);
    if (slots_.error) return 0;
    password = value;
    return -1;
}
