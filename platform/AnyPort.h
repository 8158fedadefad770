#pragma once
// The port a path names: a serial device through termios, or a port on the
// network (rfc2217://HOST:PORT, tcp://HOST:PORT). The link opens every port
// through it and never learns which kind it got.
#include <memory>
#include <string>

#include "platform/ByteTransport.h"

class AnyPort : public ByteTransport {
public:
    AnyPort();
    ~AnyPort() override;

    bool open(const std::string& path) override;
    PortOpenFailure lastOpenFailure() const override;
    bool close() override;
    ReadStatus readByte(uint32_t timeoutMs, uint8_t& byte) override;
    bool writeByte(uint8_t byte) override;
    bool purge() override;
    bool takeErrors(LineErrors& errors) override;
    void setClockWatch(uint32_t watchMicros) override;

private:
    std::unique_ptr<ByteTransport> serial_;
    std::unique_ptr<ByteTransport> network_;
    // The one opened or tried last.
    ByteTransport* current_;
};
