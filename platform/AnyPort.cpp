#include "platform/AnyPort.h"

#include "platform/NetworkPort.h"
#include "platform/TermiosPort.h"

AnyPort::AnyPort(std::function<std::string()> caFile)
    : serial_(std::make_unique<TermiosPort>()),
      network_(std::make_unique<NetworkPort>(std::move(caFile))),
      current_(serial_.get()) {}

AnyPort::~AnyPort() { close(); }

bool AnyPort::open(const std::string& path) {
    // The link never opens a port that is open; the kind of the last one
    // stays in charge until the next open.
    current_ = isNetworkPortPath(path) ? network_.get() : serial_.get();
    return current_->open(path);
}

PortOpenFailure AnyPort::lastOpenFailure() const { return current_->lastOpenFailure(); }
bool AnyPort::close() { return current_->close(); }
ByteTransport::ReadStatus AnyPort::readByte(uint32_t timeoutMs, uint8_t& byte) {
    return current_->readByte(timeoutMs, byte);
}
bool AnyPort::writeByte(uint8_t byte) { return current_->writeByte(byte); }
bool AnyPort::purge() { return current_->purge(); }
bool AnyPort::takeErrors(LineErrors& errors) { return current_->takeErrors(errors); }
void AnyPort::setClockWatch(uint32_t watchMicros) {
    serial_->setClockWatch(watchMicros);
    network_->setClockWatch(watchMicros);
}
