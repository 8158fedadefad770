#include "sim/FaultLine.h"

FaultLine::FaultLine(std::shared_ptr<VirtualClock> clock, int64_t byteTimeNs)
    : clock_(std::move(clock)), byteTimeNs_(byteTimeNs) {}

bool FaultLine::open(const std::string& devicePath) {
    if (open_ || refuseOpen) return false;
    open_ = true;
    path = devicePath;
    ++opens;
    noiseState_ = noiseSeed ? noiseSeed : 1;
    return true;
}

bool FaultLine::close() {
    if (!open_) return false;
    open_ = false;
    ++closes;
    return !refuseRestore;
}

void FaultLine::later(const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) later_.push_back({b, {}, false});
}

void FaultLine::waiting(const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) waiting_.push_back({b, {}, false});
}

void FaultLine::clearScript() {
    later_.clear();
    waiting_.clear();
    echo_.clear();
}

ByteTransport::ReadStatus FaultLine::readByte(uint32_t timeoutMs, uint8_t& byte) {
    if (!open_) return ReadStatus::Failed;
    readTimeouts.push_back(timeoutMs);
    if (failReads) {
        clock_->advanceNs(byteTimeNs_);  // a failing driver call still takes a moment
        return ReadStatus::Failed;
    }
    std::deque<Incoming>* source = !echo_.empty() ? &echo_ : !waiting_.empty() ? &waiting_
                                   : !later_.empty() ? &later_ : nullptr;
    if (source) {
        Incoming in = source->front();
        source->pop_front();
        clock_->advanceNs(in.timesOut ? int64_t(timeoutMs) * 1000000 : byteTimeNs_);
        errorStateLost_ = errorStateLost_ || in.errorStateLost;
        pending_.parity = pending_.parity || in.errors.parity;
        pending_.framing = pending_.framing || in.errors.framing;
        pending_.overrun = pending_.overrun || in.errors.overrun;
        if (in.readFails) return ReadStatus::Failed;
        if (in.timesOut) return ReadStatus::Timeout;
        byte = in.byte;
        return ReadStatus::Byte;
    }
    if (flood || noise) {
        clock_->advanceNs(byteTimeNs_);
        if (noise) {
            // xorshift: the same seed gives the same noise everywhere.
            noiseState_ ^= noiseState_ << 13;
            noiseState_ ^= noiseState_ >> 17;
            noiseState_ ^= noiseState_ << 5;
            byte = uint8_t(noiseState_);
        } else {
            byte = floodByte;
        }
        return ReadStatus::Byte;
    }
    clock_->advanceNs(int64_t(timeoutMs) * 1000000);
    return ReadStatus::Timeout;
}

bool FaultLine::writeByte(uint8_t byte) {
    if (!open_ || failWrites) return false;
    clock_->advanceNs(byteTimeNs_);
    written.push_back(byte);
    if (echo) echo_.push_back({byte, {}, false});
    if (onWrite) onWrite(byte);
    return true;
}

bool FaultLine::purge() {
    if (!open_) return false;
    ++purges;
    waiting_.clear();
    echo_.clear();
    return true;
}

bool FaultLine::takeErrors(LineErrors& errors) {
    errors = pending_;
    pending_ = LineErrors{};
    if (!open_) return false;
    if (errorStateLost_) {
        errorStateLost_ = false;
        return false;
    }
    if (failErrorState && takes_ >= failErrorStateAfter) return false;
    ++takes_;
    return true;
}
