#include "sim/SimDevice.h"

#include "link/NibbleValue.h"

namespace {

// A request whose bytes lie further apart than this is abandoned: the
// master has given up on it and starts afresh.
constexpr int64_t RequestGapNs = 10000000;

std::vector<uint8_t> nibbles(uint32_t value, unsigned digits = 0) {
    uint8_t bytes[8];
    unsigned count = encodeNibbleValue(value, bytes);
    if (digits > count) {
        // A fixed width wider than the value needs: zero digits, end mark last.
        for (unsigned i = 0; i < digits; ++i) {
            uint8_t b = uint8_t((value >> (4 * i)) & 0x0F);
            if (i & 1) b |= OddDigitMark;
            if (i + 1 == digits) b |= EndMark;
            bytes[i] = b;
        }
        count = digits;
    }
    return std::vector<uint8_t>(bytes, bytes + count);
}

std::vector<uint8_t> one(uint8_t b) { return {b}; }

uint32_t maxValue(uint8_t digits) {
    return digits >= 8 ? 0xFFFFFFFFu : (uint32_t(1) << (4 * digits)) - 1;
}

}  // namespace

void SimDevice::setName(const std::string& text) {
    name = text.substr(0, 8);
    name.resize(8, ' ');
}

SimParameter* SimDevice::parameter(uint32_t key) {
    auto it = parameters.find(key);
    return it == parameters.end() ? nullptr : &it->second;
}

const SimParameter* SimDevice::parameter(uint32_t key) const {
    auto it = parameters.find(key);
    return it == parameters.end() ? nullptr : &it->second;
}

uint32_t SimDevice::keyAfterLastParameter() const {
    if (parameters.empty()) return 0x0100;
    uint32_t key = parameters.rbegin()->first + 2;
    if ((key & 0xFF) >= 0x80) key = (key & 0xFF00) + 0x0100;
    return key;
}

bool SimDevice::takeRestarted() {
    bool r = restarted_;
    restarted_ = false;
    return r;
}

bool SimDevice::reaches(const SimParameter& p) const {
    return p.extendedOnly ? (access && extendedAccess) : access;
}

std::vector<uint8_t> SimDevice::receive(uint8_t byte, int64_t atNs, int64_t restartSilenceNs) {
    if (atNs - lastByteNs_ > RequestGapNs) state_ = State::KeyLow;
    lastByteNs_ = atNs;
    switch (state_) {
    case State::KeyLow:
        keyLow_ = byte;
        state_ = State::KeyHigh;
        return {};
    case State::KeyHigh:
        key_ = (uint32_t(byte) << 8) | (keyLow_ & 0xFE);
        if (!(keyLow_ & 1)) {
            state_ = State::KeyLow;
            ++reads;
            if (mutedKeys.count(key_)) return {};
            return answerRead(key_);
        }
        valueBytes_.clear();
        state_ = State::Value;
        return {};
    case State::Value:
        valueBytes_.push_back(byte);
        if (!(byte & EndMark) && valueBytes_.size() < 8) return {};
        state_ = State::KeyLow;
        if (mutedKeys.count(key_)) return {};
        if (valueBytes_.size() == 1) {
            if (byte & (OddDigitMark | 0xA0)) return {};
            return answerWrite(key_, true, byte & 0x0F, atNs, restartSilenceNs);
        }
        uint32_t value = 0;
        if (!decodeNibbleValue(valueBytes_.data(), unsigned(valueBytes_.size()), value)) return {};
        return answerWrite(key_, false, value, atNs, restartSilenceNs);
    }
    return {};
}

std::vector<uint8_t> SimDevice::answerRead(uint32_t key) {
    if (key >= 16 && key <= 30) return nibbles(uint8_t(name[(key - 16) / 2]), 2);
    switch (key) {
    case 32: return nibbles(version);
    case 34: return nibbles(release);
    case 36: return nibbles(parameterVersion);
    case 40: return hasRegister40 ? nibbles(register40, 4) : one(NotAvailable);
    case 44: return hasRegister44 ? nibbles(register44, 4) : one(NotAvailable);
    case 46: return nibbles(status, 4);
    case 48: return nibbles(password);
    case 58: return nibbles(0);
    case 60: return nibbles(address);
    case 62: return nibbles(access ? 1 : 0);
    case 68: return nibbles(extendedAccess ? 1 : 0);
    default: break;
    }
    if (key < 0x0100) return one(NotAvailable);
    if (key >= endKey) return one(EndOfTable);
    const SimParameter* p = parameter(key);
    if (!p || !reaches(*p)) return one(NotAvailable);
    if (p->onOff()) return one(uint8_t(ShortAnswer | (p->value ? 1 : 0)));
    return nibbles(p->value, p->digits);
}

std::vector<uint8_t> SimDevice::answerWrite(uint32_t key, bool digitForm, uint32_t value, int64_t atNs,
                                            int64_t restartSilenceNs) {
    auto accepted = [&] {
        ++writes;
        ++writesByKey[key];
        return one(Acknowledge);
    };
    switch (key) {
    case 48:
        if (digitForm) return one(NotAvailable);
        password = value;
        return accepted();
    case 58:
        if (digitForm || value != 0x55) return one(NotAvailable);
        // The acknowledgement still goes out; then the device is busy
        // restarting and comes back with its access closed.
        silentUntilNs = atNs + restartSilenceNs;
        access = false;
        extendedAccess = false;
        ++restarts;
        restarted_ = true;
        state_ = State::KeyLow;
        return accepted();
    case 60:
        if (digitForm || value > 63) return one(NotAvailable);
        address = uint8_t(value);
        return accepted();
    case 62:
        if (digitForm || value != (password != 0 ? 0xA5u : 0x5Au)) return one(NotAvailable);
        access = true;
        return accepted();
    case 68:
        if (digitForm || value != 0x5A || !access) return one(NotAvailable);
        extendedAccess = true;
        return accepted();
    default: break;
    }
    if (key < 0x0100) return one(NotAvailable);
    std::vector<uint8_t> answer = writeParameter(key, digitForm, value);
    if (answer.size() == 1 && answer[0] == Acknowledge) {
        ++writes;
        ++writesByKey[key];
    }
    return answer;
}

std::vector<uint8_t> SimDevice::writeParameter(uint32_t key, bool digitForm, uint32_t value) {
    if (key >= endKey) return one(EndOfTable);
    SimParameter* p = parameter(key);
    if (!p || !reaches(*p)) return one(NotAvailable);
    // Each kind takes its own form (on/off the single digit, numeric the
    // value), but a zero in the other form clears the parameter as well: the
    // clearing pass of a load writes every parameter that way.
    bool ownForm = p->onOff() ? digitForm : !digitForm;
    if (!ownForm && value != 0) return one(NotAvailable);
    if (p->onOff()) {
        if (value > 1) return one(NotAvailable);
    } else {
        if (value > maxValue(p->digits)) return one(NotAvailable);
    }
    p->value = value;
    return one(Acknowledge);
}
