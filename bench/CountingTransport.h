#pragma once
// A byte transport that passes everything to another one and writes down,
// with the time, every byte that crossed the line, every purge (one starts
// each 2 ms settle) and every read that timed out; and the wire's lower
// bound built from that record.
#include <chrono>
#include <memory>
#include <vector>

#include "platform/ByteTransport.h"

namespace bench {

struct LineEvent {
    enum Kind { Sent, Received, Purge, Timeout } kind;
    double at;        // seconds on the steady clock
    uint8_t byte = 0;
    uint32_t timeoutMs = 0;
};

class CountingTransport : public ByteTransport {
public:
    explicit CountingTransport(std::unique_ptr<ByteTransport> inner) : inner_(std::move(inner)) {}

    std::vector<LineEvent> events;
    bool recording = false;

    bool open(const std::string& devicePath) override { return inner_->open(devicePath); }
    bool close() override { return inner_->close(); }
    // A byte is noted when it arrived, a time out when its wait began.
    ReadStatus readByte(uint32_t timeoutMs, uint8_t& byte) override {
        double began = now();
        ReadStatus s = inner_->readByte(timeoutMs, byte);
        if (s == ReadStatus::Byte) note({LineEvent::Received, now(), byte});
        if (s == ReadStatus::Timeout) note({LineEvent::Timeout, began, 0, timeoutMs});
        return s;
    }
    bool writeByte(uint8_t byte) override {
        bool ok = inner_->writeByte(byte);
        note({LineEvent::Sent, now(), byte});
        return ok;
    }
    bool purge() override {
        note({LineEvent::Purge, now()});
        return inner_->purge();
    }
    bool takeErrors(LineErrors& errors) override { return inner_->takeErrors(errors); }
    void setClockWatch(uint32_t watchMicros) override { inner_->setClockWatch(watchMicros); }

    static double now() {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }

private:
    void note(const LineEvent& e) {
        if (recording) events.push_back(e);
    }
    std::unique_ptr<ByteTransport> inner_;
};

// What no link could avoid on a 9600-baud line, from a record of events:
//   - the 2 ms settle before every request, and the 20 ms of quiet line
//     before every release;
//   - 1.146 ms for every byte that crossed the line either way, except the
//     bytes of a request that got no answer (a release, a select of an
//     absent device): the link waits anyway after those (the next settle,
//     the answer wait), and on a pseudo-terminal a write does not wait for
//     its byte to leave, so they cross while the link waits;
//   - the devices' turnaround before every answer;
//   - the restart silence: after a device acknowledges a restart it does
//     not answer for restartMs. That is the device's own time, so it counts
//     in full, and whatever the link does meanwhile (selects sent into the
//     silence and their time outs) does not count again.
// Other time outs are answers that never came (unanswered selects of a
// scan, lost answers); whether those belong to the bound is the caller's
// call, so they are only counted.
struct WireBound {
    static constexpr double SettleMs = 2.0;
    static constexpr double QuietMs = 20.0;
    static constexpr double ByteMs = 1.146;

    unsigned settles = 0;
    unsigned quietWaits = 0;
    unsigned bytes = 0;
    unsigned overlapped = 0;   // bytes of unanswered requests, not in the bound
    unsigned answers = 0;
    unsigned restarts = 0;
    unsigned unanswered = 0;
    double turnaroundMs = 0;
    double restartMs = 0;

    double seconds() const {
        return (settles * SettleMs + quietWaits * QuietMs + bytes * ByteMs + answers * turnaroundMs +
                restarts * restartMs) /
               1000.0;
    }
};

inline WireBound wireBound(const std::vector<LineEvent>& events, double turnaroundMs, double restartMs) {
    // The restart request as it leaves the link: register 58 in write form,
    // acknowledged with 0x1F.
    constexpr uint8_t RestartKeyLow = 58 | 1;
    constexpr uint8_t RestartKeyHigh = 0;
    constexpr uint8_t Acknowledge = 0x1F;
    WireBound bound;
    bound.turnaroundMs = turnaroundMs;
    bound.restartMs = restartMs;
    std::vector<uint8_t> request;   // bytes sent since the last settle
    unsigned unanswered = 0;        // of those, the ones no answer followed yet
    bool answering = false;
    double silentUntil = -1;
    for (const LineEvent& e : events) {
        if (e.at < silentUntil) continue;
        switch (e.kind) {
        case LineEvent::Purge:
            ++bound.settles;
            bound.overlapped += unanswered;
            unanswered = 0;
            request.clear();
            answering = false;
            break;
        case LineEvent::Sent:
            ++unanswered;
            request.push_back(e.byte);
            answering = false;
            break;
        case LineEvent::Received:
            bound.bytes += unanswered + 1;
            unanswered = 0;
            if (!answering) ++bound.answers;
            answering = true;
            if (e.byte == Acknowledge && request.size() >= 2 && request[0] == RestartKeyLow &&
                request[1] == RestartKeyHigh) {
                ++bound.restarts;
                silentUntil = e.at + restartMs / 1000.0;
            }
            break;
        case LineEvent::Timeout:
            if (e.timeoutMs == uint32_t(WireBound::QuietMs)) ++bound.quietWaits;
            else ++bound.unanswered;
            break;
        }
    }
    bound.overlapped += unanswered;
    return bound;
}

}  // namespace bench
