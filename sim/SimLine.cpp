#include "sim/SimLine.h"

#include <ctime>

namespace {
int64_t monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
}  // namespace

SimLine::SimLine(SimWire& wire, std::shared_ptr<VirtualClock> clock) : wire_(wire), clock_(std::move(clock)) {}

int64_t SimLine::nowNs() const { return clock_ ? clock_->nowNs() : monotonicNs(); }

void SimLine::waitUntilNs(int64_t ns) {
    if (clock_) {
        clock_->advanceToNs(ns);
        return;
    }
    timespec ts{};
    ts.tv_sec = time_t(ns / 1000000000);
    ts.tv_nsec = long(ns % 1000000000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) != 0) {
        if (monotonicNs() >= ns) break;
    }
}

bool SimLine::open(const std::string& devicePath) {
    if (open_ || refuseOpen || unplugged) return false;
    open_ = true;
    uartMissed_ = false;
    path_ = devicePath;
    ++opens_;
    pending_ = LineErrors{};
    return true;
}

bool SimLine::close() {
    if (!open_) return false;
    open_ = false;
    return !refuseRestore && !unplugged;
}

ByteTransport::ReadStatus SimLine::readByte(uint32_t timeoutMs, uint8_t& byte) {
    if (!open_ || unplugged) return ReadStatus::Failed;
    int64_t now = nowNs();
    int64_t deadline = now + int64_t(timeoutMs) * 1000000;
    if (wire_.empty() || wire_.front().atNs > deadline) {
        waitUntilNs(deadline);
        return ReadStatus::Timeout;
    }
    WireByte w = wire_.front();
    wire_.pop();
    if (w.atNs > now) waitUntilNs(w.atNs);
    byte = w.byte;
    pending_.parity = pending_.parity || w.parity;
    pending_.framing = pending_.framing || w.framing;
    return ReadStatus::Byte;
}

bool SimLine::writeByte(uint8_t byte) {
    if (open_ && noUart) uartMissed_ = true;
    if (unplugAfterWrites == 0) unplugged = true;
    if (unplugAfterWrites > 0) --unplugAfterWrites;
    if (!open_ || unplugged || failWrites || noUart) return false;
    waitUntilNs(wire_.send(byte, nowNs()));
    return true;
}

bool SimLine::purge() {
    if (!open_ || unplugged) return false;
    wire_.purgeArrived(nowNs());
    return true;
}

bool SimLine::takeErrors(LineErrors& errors) {
    errors = pending_;
    pending_ = LineErrors{};
    return open_ && !unplugged && !uartMissed_;
}

PortOpenFailure SimLine::lastOpenFailure() const {
    PortOpenFailure failure;
    failure.problem = uartMissed_ ? PortProblem::NoHardware : PortProblem::Other;
    return failure;
}
