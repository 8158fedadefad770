#pragma once
// A byte line whose device answers from a script, on a clock that jumps
// instead of waiting, so a register read costs no real time whatever it
// waits for.
//
// The script is a list of read events: a byte, a read that times out, or a
// read call that fails, each with the line errors that come with it (and
// whether the error state can be read at all). Until armed the line answers
// nothing but the echo of what was sent, when it echoes; once armed, every
// read that finds no echo waiting takes the next event, and an empty script
// times out.
#include <cstdint>
#include <deque>
#include <vector>

#include "platform/ByteTransport.h"
#include "platform/Clock.h"

struct ReadEvent {
    enum Kind { Byte, Timeout, Failed } kind = Timeout;
    uint8_t byte = 0;
    LineErrors errors;
    bool errorStateLost = false;   // the error state cannot be read: a port failure
};

class JumpingClock : public Clock {
public:
    static constexpr int64_t TICKS_PER_SECOND = 1000000;
    bool frequency(int64_t& f) override {
        f = TICKS_PER_SECOND;
        return true;
    }
    bool now(int64_t& t) override {
        t = ticks;
        return true;
    }
    void sleepUntil(int64_t t) override {
        if (ticks <= t) ticks = t + 1;
    }
    void advanceMs(uint32_t ms) { ticks += int64_t(ms) * TICKS_PER_SECOND / 1000; }
    int64_t ticks = 0;
};

class ScriptedLine : public ByteTransport {
public:
    ScriptedLine(JumpingClock& clock, bool echoes) : clock_(clock), echoes_(echoes) {}

    std::vector<ReadEvent> script;
    size_t consumed = 0;            // script events taken so far
    std::vector<uint8_t> sent;      // bytes written since armed
    bool armed = false;
    bool isOpen = false;

    void arm() {
        armed = true;
        sent.clear();
    }

    bool open(const std::string&) override {
        isOpen = true;
        return true;
    }
    bool close() override {
        isOpen = false;
        return true;
    }
    ReadStatus readByte(uint32_t timeoutMs, uint8_t& byte) override {
        if (!echo_.empty()) {
            byte = echo_.front();
            echo_.pop_front();
            return ReadStatus::Byte;
        }
        if (!armed || consumed == script.size()) {
            clock_.advanceMs(timeoutMs);
            return ReadStatus::Timeout;
        }
        const ReadEvent& e = script[consumed++];
        pending_ = e.errors;
        lost_ = e.errorStateLost;
        switch (e.kind) {
        case ReadEvent::Byte: byte = e.byte; return ReadStatus::Byte;
        case ReadEvent::Timeout: clock_.advanceMs(timeoutMs); return ReadStatus::Timeout;
        case ReadEvent::Failed: return ReadStatus::Failed;
        }
        return ReadStatus::Failed;
    }
    bool writeByte(uint8_t byte) override {
        if (armed) sent.push_back(byte);
        if (echoes_) echo_.push_back(byte);
        return true;
    }
    bool purge() override {
        echo_.clear();
        return true;
    }
    bool takeErrors(LineErrors& errors) override {
        errors = pending_;
        pending_ = LineErrors{};
        bool readable = !lost_;
        lost_ = false;
        return readable;
    }

private:
    JumpingClock& clock_;
    bool echoes_;
    std::deque<uint8_t> echo_;
    LineErrors pending_;
    bool lost_ = false;
};
