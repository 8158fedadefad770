#pragma once
// The in-process line to a simulated bus: a ByteTransport that hands the
// master's bytes to a SimWire and delivers the answers when they are due.
//
// With a VirtualClock (the link must use the same clock, via setClock) a
// read that gets nothing moves the clock by its timeout and every byte moves
// it by its wire time, so tests run in microseconds whatever the timeouts.
// Without one the line runs in real time on the monotonic clock and really
// waits (then byteTimeNs paces the line like a 9600-baud wire).
#include <memory>

#include "platform/ByteTransport.h"
#include "sim/SimWire.h"
#include "sim/VirtualClock.h"

class SimLine : public ByteTransport {
public:
    SimLine(SimWire& wire, std::shared_ptr<VirtualClock> clock);

    bool open(const std::string& devicePath) override;
    bool close() override;
    ReadStatus readByte(uint32_t timeoutMs, uint8_t& byte) override;
    bool writeByte(uint8_t byte) override;
    bool purge() override;
    bool takeErrors(LineErrors& errors) override;

    // ---- faults of the port itself ----
    bool refuseOpen = false;     // open fails (no such port, busy)
    bool unplugged = false;      // every operation fails, as an adapter pulled out
    int unplugAfterWrites = -1;  // unplugged once this many more bytes were sent (-1: never)
    bool failWrites = false;     // bytes are not sent
    bool refuseRestore = false;  // close cannot put the settings back
    // Opens, but no byte goes out and the port fails at the first one: a
    // built-in port without a UART behind it.
    bool noUart = false;
    PortOpenFailure lastOpenFailure() const override;

    bool isOpen() const { return open_; }
    std::string openedPath() const { return path_; }
    unsigned opens() const { return opens_; }

private:
    int64_t nowNs() const;
    void waitUntilNs(int64_t ns);

    SimWire& wire_;
    std::shared_ptr<VirtualClock> clock_;
    bool open_ = false;
    std::string path_;
    unsigned opens_ = 0;
    bool uartMissed_ = false;
    LineErrors pending_;
};
