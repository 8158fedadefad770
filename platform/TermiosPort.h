#pragma once
// A serial port through termios: 9600 baud, 8 data bits, even parity with
// input checking, 1 stop bit, raw, no flow control, DTR and RTS low. Bytes
// with parity or framing errors are marked in the input stream (PARMRK) and
// told apart with the driver's error counters where it keeps them.
#include <sys/types.h>
#include <termios.h>

#include <cstdint>
#include <deque>
#include <string>

#include "platform/ByteTransport.h"
#include "platform/PortLock.h"

// Undoes the input marking of PARMRK: a good 0xFF arrives doubled, a byte
// with a parity or framing error as 0xFF 0x00 b, a break as 0xFF 0x00 0x00.
class InputMarks {
public:
    struct Decoded {
        uint8_t byte = 0;
        bool marked = false;   // arrived with an error mark
        bool brk = false;      // the mark of a break (or a framing error on 0)
    };
    void feed(uint8_t raw);
    bool take(Decoded& out);
    // In the middle of a mark: more raw bytes are due.
    bool pending() const { return state_ != State::Plain; }
    // The rest of a mark did not come: what was held goes out as plain bytes.
    void flush();
    void reset();

private:
    enum class State { Plain, AfterFF, AfterFF00 };
    State state_ = State::Plain;
    std::deque<Decoded> out_;
};

class TermiosPort : public ByteTransport {
public:
    TermiosPort() = default;
    ~TermiosPort() override;
    TermiosPort(const TermiosPort&) = delete;
    TermiosPort& operator=(const TermiosPort&) = delete;

    // Besides the settings, open honours and takes the port's lock file and
    // an advisory lock on the device, and makes the port exclusive. A port
    // another program holds is not even opened. lastOpenFailure() also
    // tells NoHardware when the first byte after the open was refused.
    bool open(const std::string& devicePath) override;
    PortOpenFailure lastOpenFailure() const override { return failure_; }
    bool close() override;
    // Where lock files are kept; empty (the default) means the system's folder.
    void setLockDirectory(std::string directory) { lockDirectory_ = std::move(directory); }
    // The lock file held while the port is open, empty when none.
    std::string lockFilePath() const { return lockFile_.path(); }
    ReadStatus readByte(uint32_t timeoutMs, uint8_t& byte) override;
    bool writeByte(uint8_t byte) override;
    bool purge() override;
    bool takeErrors(LineErrors& errors) override;
    void setClockWatch(uint32_t watchMicros) override { watchNs_ = int64_t(watchMicros) * 1000; }

private:
    struct Counters {
        int parity = 0;
        int frame = 0;
        int overrun = 0;
    };

    // open without the ending signals' deferral.
    bool openPort(const std::string& devicePath);
    bool configure();
    // 9600 baud, 8 data bits, even parity, 1 stop bit, no flow control, as read back.
    bool settingsTook() const;
    void restoreAndRelease();
    // Fills the input buffer with what is waiting, waiting up to timeoutMs
    // for the first byte. False on timeout or failure (failed_ set).
    bool fill(int timeoutMs);
    // Waits until deadlineNs for input: a sleeping poll to watchNs_ before
    // the end, polls that do not sleep after it. False on timeout or failure.
    bool waitReadable(int64_t deadlineNs);
    // The next raw byte from the buffer, reading more within timeoutMs.
    bool nextRaw(int timeoutMs, uint8_t& byte);
    InputMarks marks_;
    bool readCounters(Counters& c);
    bool drain();

    bool refuse(PortProblem problem);
    // The open call failed with err: why, in our terms.
    bool refuseOpenError(int err, const std::string& devicePath);
    void nameHolder(pid_t pid);

    int fd_ = -1;
    std::string path_;
    int restoreSlot_ = -1;
    // A byte has gone out since the open.
    bool written_ = false;
    PortOpenFailure failure_;
    std::string lockDirectory_;
    PortLockFile lockFile_;
    int64_t watchNs_ = 0;
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
