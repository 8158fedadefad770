#pragma once
// A scripted line for testing the link against everything a line can do
// wrong: answers given byte by byte with line errors, echo, silence, a flood
// of bytes, noise, failing reads, writes and error state. Time runs on a
// VirtualClock: a byte costs its wire time, a read that gets nothing its
// timeout.
//
//   auto clock = std::make_shared<VirtualClock>();
//   auto line = std::make_unique<FaultLine>(clock);
//   FaultLine* f = line.get();
//   link.setClock(clock); link.setTransport(std::move(line)); link.Open(1);
//   f->later({0x05, 0x55});          // the answer to the next request
//   link.ReadRegister(32);           // -> 0x55; f->written holds 0x20 0x00
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "platform/ByteTransport.h"
#include "sim/VirtualClock.h"

class FaultLine : public ByteTransport {
public:
    struct Incoming {
        uint8_t byte = 0;
        LineErrors errors;
        bool readFails = false;   // the read call itself fails (no byte)
        bool timesOut = false;    // the read gets nothing within its timeout
        bool errorStateLost = false;   // the error state after it cannot be read
    };

    explicit FaultLine(std::shared_ptr<VirtualClock> clock, int64_t byteTimeNs = 1146000);

    bool open(const std::string& devicePath) override;
    bool close() override;
    ReadStatus readByte(uint32_t timeoutMs, uint8_t& byte) override;
    bool writeByte(uint8_t byte) override;
    bool purge() override;
    bool takeErrors(LineErrors& errors) override;

    // Bytes that arrive after the next purge (answers to the coming request).
    void later(const std::vector<uint8_t>& bytes);
    void laterByte(const Incoming& in) { later_.push_back(in); }
    // Bytes already waiting in the input queue (a purge drops them).
    void waiting(const std::vector<uint8_t>& bytes);
    void clearScript();

    // ---- behaviour ----
    bool echo = false;                       // every byte written comes back
    bool flood = false;                      // a byte on every read, forever
    uint8_t floodByte = 0xFF;
    bool noise = false;                      // flood of seeded random bytes
    uint32_t noiseSeed = 1;
    bool refuseOpen = false;
    bool refuseRestore = false;
    bool failReads = false;                  // every read call fails
    bool failWrites = false;                 // no byte is sent
    bool failErrorState = false;             // the error state cannot be read
    unsigned failErrorStateAfter = 0;        // ... only after this many successful takes
    // Called with every byte sent, after it has been sent (before its echo
    // is read): the place to script answers that depend on the request.
    std::function<void(uint8_t)> onWrite;

    // ---- record ----
    std::vector<uint8_t> written;
    std::vector<uint32_t> readTimeouts;     // the timeout of every read, in order
    unsigned opens = 0;
    unsigned closes = 0;
    unsigned purges = 0;
    std::string path;
    bool isOpen() const { return open_; }
    unsigned takes() const { return takes_; }   // successful takeErrors calls so far
    size_t laterLeft() const { return later_.size(); }   // scripted bytes not read yet

private:
    std::shared_ptr<VirtualClock> clock_;
    int64_t byteTimeNs_;
    bool open_ = false;
    std::deque<Incoming> echo_;
    std::deque<Incoming> later_;
    std::deque<Incoming> waiting_;
    LineErrors pending_;
    bool errorStateLost_ = false;
    unsigned takes_ = 0;
    uint32_t noiseState_ = 0;
};
