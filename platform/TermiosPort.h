#pragma once
// A serial port through termios: 9600 baud, 8 data bits, even parity with
// input checking, 1 stop bit, raw, no flow control, DTR and RTS low. Bytes
// with parity or framing errors are marked in the input stream (PARMRK) and
// told apart with the driver's error counters where it keeps them.
#include <sys/types.h>
#include <termios.h>

#include <cstdint>
#include <string>

#include "platform/ByteTransport.h"

class TermiosPort : public ByteTransport {
public:
    TermiosPort() = default;
    ~TermiosPort() override;
    TermiosPort(const TermiosPort&) = delete;
    TermiosPort& operator=(const TermiosPort&) = delete;

    bool open(const std::string& devicePath) override;
    bool close() override;
    ReadStatus readByte(uint32_t timeoutMs, uint8_t& byte) override;
    bool writeByte(uint8_t byte) override;
    bool purge() override;
    bool takeErrors(LineErrors& errors) override;

private:
    struct Counters {
        int parity = 0;
        int frame = 0;
        int overrun = 0;
    };

    bool configure();
    void restoreAndRelease();
    // Fills the input buffer with what is waiting, waiting up to timeoutMs
    // for the first byte. False on timeout or failure (failed_ set).
    bool fill(int timeoutMs);
    // The next raw byte from the buffer, reading more within timeoutMs.
    bool nextRaw(int timeoutMs, uint8_t& byte);
    bool readCounters(Counters& c);
    bool drain();

    int fd_ = -1;
    termios saved_{};
    bool haveSerialInfo_ = false;
    int savedSerialFlags_ = 0;
    bool haveCounters_ = false;
    Counters counters_;
    bool failed_ = false;
    bool markedError_ = false;
    bool markedBreak_ = false;
    uint8_t buffer_[256] = {};
    size_t bufferStart_ = 0;
    size_t bufferEnd_ = 0;
};
