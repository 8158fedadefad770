#include "sim/SimWire.h"

#include <algorithm>

void SimWire::setFaults(const FaultOptions& faults) {
    faults_ = faults;
    counts_ = FaultCounts{};
    random_.seed(faults.seed);
}

// Plain modulo on the raw generator output: the same seed gives the same
// faults with every standard library.
bool SimWire::roll(uint32_t ratePerMillion) {
    if (ratePerMillion == 0) return false;
    return random_() % 1000000u < ratePerMillion;
}

// Only an end-marked value of 4 or more digits qualifies: a select answer,
// an acknowledgement or a short answer is one byte, and an 8-digit value
// without its end mark would lose the mark's place along with the pair.
void SimWire::loseDigitPair(std::vector<uint8_t>& answer) {
    const size_t n = answer.size();
    if (n < 4 || !(answer[n - 1] & 0x10)) return;
    if (!roll(faults_.lostDigitPair)) return;
    // Any pair before the last byte: what follows it moves two places down,
    // where bit 6 belongs on the same bytes as before.
    const size_t first = random_() % (n - 2);
    answer.erase(answer.begin() + long(first), answer.begin() + long(first) + 2);
    ++counts_.lostDigitPairs;
}

void SimWire::deliver(WireByte b) {
    incoming_.push_back(b);
    if (logSink) logSink({b.atNs, false, b.byte, b.parity, b.framing});
}

int64_t SimWire::send(uint8_t byte, int64_t atNs) {
    int64_t done = std::max(atNs, txFreeNs_) + options.byteTimeNs;
    txFreeNs_ = done;
    if (logSink) logSink({done, true, byte, false, false});
    if (options.echo) {
        int64_t echoAt = done + options.echoDelayNs;
        rxFreeNs_ = std::max(rxFreeNs_, echoAt);
        deliver({echoAt, byte});
    }
    // A byte lost on its way to the devices: they see a request with a
    // byte missing.
    if (roll(faults_.dropByte)) {
        ++counts_.droppedToBus;
        return done;
    }
    std::vector<uint8_t> answer = bus_.receive(byte, done);
    if (answer.empty()) return done;
    ++counts_.answers;
    if (roll(faults_.noAnswer)) {
        ++counts_.noAnswer;
        return done;
    }
    loseDigitPair(answer);
    bool ack = answer.size() == 1 && answer[0] == SimDevice::Acknowledge;
    const SimDevice* from = bus_.answering();
    int64_t turnaround = from && from->turnaroundNs >= 0 ? from->turnaroundNs : options.turnaroundNs;
    int64_t gap = from ? from->answerByteGapNs : 0;
    int64_t at = std::max(done + turnaround, rxFreeNs_);
    for (size_t i = 0; i < answer.size(); ++i) {
        uint8_t b = answer[i];
        if (i > 0) at += gap;
        WireByte w;
        w.byte = b;
        if (ack && roll(faults_.corruptAck)) {
            w.byte = uint8_t(0x1F ^ (1 + random_() % 0xFF));
            ++counts_.corruptAck;
        }
        if (roll(faults_.brokenMarks)) {
            w.byte ^= 0x40;
            ++counts_.brokenMarks;
        }
        w.parity = roll(faults_.parity);
        w.framing = roll(faults_.framing);
        counts_.parity += w.parity;
        counts_.framing += w.framing;
        at += options.byteTimeNs;
        w.atNs = at;
        // Lost on its way back: the wire was busy, the master hears nothing.
        if (roll(faults_.dropByte)) {
            ++counts_.droppedFromBus;
            continue;
        }
        deliver(w);
    }
    rxFreeNs_ = at;
    return done;
}

void SimWire::purgeArrived(int64_t nowNs) {
    while (!incoming_.empty() && incoming_.front().atNs <= nowNs) incoming_.pop_front();
}

void SimWire::inject(uint8_t byte, int64_t atNs) {
    WireByte w;
    w.byte = byte;
    w.atNs = std::max(atNs, rxFreeNs_);
    rxFreeNs_ = w.atNs;
    deliver(w);
}
