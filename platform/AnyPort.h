#pragma once
// The port a path names: a serial device through termios, or a port on the
// network (rfc2217://HOST:PORT, tcp://HOST:PORT, and both over TLS). The link opens every port
// through it and never learns which kind it got.
#include <functional>
#include <memory>
#include <string>

#include "platform/ByteTransport.h"

class AnyPort : public ByteTransport {
public:
    // caFile: the authorities' file for a network port's TLS (empty: the system's), asked at each open.
    explicit AnyPort(std::function<std::string()> caFile = {});
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
