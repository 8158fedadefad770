#pragma once
// The wire between the master and the simulated bus: byte timing, echo,
// seeded fault injection and the wire log. Times are nanoseconds on
// whatever clock the owner uses (virtual in-process, monotonic in fieldsim).
#include <cstdint>
#include <deque>
#include <functional>
#include <random>

#include "sim/SimBus.h"

struct WireOptions {
    int64_t byteTimeNs = 1146000;   // 11 bits at 9600 baud
    int64_t turnaroundNs = 0;       // the devices' reaction time (a device may have its own)
    bool echo = false;              // the line hands every sent byte back
    // The echo reaches the master this long after its byte has left; what
    // arrives after it on the line queues behind it.
    int64_t echoDelayNs = 0;
};

// Rates in parts per million, rolled for each answer (noAnswer), each byte
// either way (dropByte) or each answer byte (the others) from a generator
// seeded with seed. A rate of 0 draws nothing, so adding a kind leaves the
// faults of a seed without it as they were.
struct FaultOptions {
    uint32_t seed = 1;
    uint32_t noAnswer = 0;      // a whole answer lost
    uint32_t brokenMarks = 0;   // bit 6 of an answer byte flipped
    uint32_t corruptAck = 0;    // an acknowledgement 0x1F replaced by another byte
    uint32_t parity = 0;        // an answer byte arrives with a parity error
    uint32_t framing = 0;       // an answer byte arrives with a framing error
    uint32_t dropByte = 0;      // a byte lost on the wire, either way (rolled for every byte)
    // Two adjacent digit bytes lost from a value of 4 or more digits (rolled
    // for each such answer). The pair never holds the last byte, so the rest
    // keeps its marks in place and its end mark: a well-formed, shorter and
    // wrong value, which nothing on the wire can tell from a right one.
    uint32_t lostDigitPair = 0;
    bool any() const { return noAnswer || brokenMarks || corruptAck || parity || framing || dropByte || lostDigitPair; }
};

// What the injection did so far: answers given by the bus and faults of each
// kind (a dropped byte counts once, whichever way it went).
struct FaultCounts {
    uint64_t answers = 0;
    uint64_t noAnswer = 0;
    uint64_t brokenMarks = 0;
    uint64_t corruptAck = 0;
    uint64_t parity = 0;
    uint64_t framing = 0;
    uint64_t droppedToBus = 0;
    uint64_t droppedFromBus = 0;
    uint64_t lostDigitPairs = 0;
    uint64_t total() const {
        return noAnswer + brokenMarks + corruptAck + parity + framing + droppedToBus + droppedFromBus +
               lostDigitPairs;
    }
};

struct WireByte {
    int64_t atNs = 0;     // when its stop bit has passed the master's receiver
    uint8_t byte = 0;
    bool parity = false;
    bool framing = false;
};

struct WireLogEntry {
    int64_t atNs = 0;
    bool fromMaster = false;
    uint8_t byte = 0;
    bool parity = false;
    bool framing = false;
};

class SimWire {
public:
    explicit SimWire(SimBus& bus) : bus_(bus) {}

    WireOptions options;
    // Receives every byte on the wire (master's requests, answers as sent).
    std::function<void(const WireLogEntry&)> logSink;

    void setFaults(const FaultOptions& faults);
    const FaultOptions& faults() const { return faults_; }
    // Counts since the last setFaults.
    const FaultCounts& faultCounts() const { return counts_; }

    // A byte from the master starting at atNs; returns when it has left the
    // wire. Its echo and the bus's answer are queued for the master.
    int64_t send(uint8_t byte, int64_t atNs);
    bool empty() const { return incoming_.empty(); }
    const WireByte& front() const { return incoming_.front(); }
    void pop() { incoming_.pop_front(); }
    // Drops what has arrived by nowNs; bytes still under way keep coming.
    void purgeArrived(int64_t nowNs);
    // Queues a byte from outside the bus (noise), arriving at atNs.
    void inject(uint8_t byte, int64_t atNs);

private:
    bool roll(uint32_t ratePerMillion);
    void loseDigitPair(std::vector<uint8_t>& answer);
    void deliver(WireByte b);

    SimBus& bus_;
    FaultOptions faults_;
    FaultCounts counts_;
    std::mt19937 random_{1};
    std::deque<WireByte> incoming_;
    int64_t txFreeNs_ = 0;     // the master's transmitter
    int64_t rxFreeNs_ = 0;     // the line towards the master
};
