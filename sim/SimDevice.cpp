#include "sim/SimDevice.h"

#include <algorithm>

#include "sim/WireCodec.h"

namespace {

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

std::vector<uint8_t> SimDevice::value(uint32_t v, unsigned minDigits) const {
    return simwire::encodeValue(v, minDigits, !eightDigitsWithoutEndMark);
}

std::vector<uint8_t> SimDevice::identity(uint32_t v, unsigned ownDigits) const {
    return value(v, identityDigits ? identityDigits : ownDigits);
}

bool SimDevice::reaches(const SimParameter& p) const {
    return p.extendedOnly ? (access && extendedAccess) : access;
}

std::vector<uint8_t> SimDevice::receive(uint8_t byte, int64_t atNs, int64_t busRestartSilenceNs) {
    if (atNs - lastByteNs_ > requestHoldNs) state_ = State::KeyLow;
    lastByteNs_ = atNs;
    switch (state_) {
    case State::KeyLow:
        keyLow_ = byte;
        state_ = State::KeyHigh;
        return {};
    case State::KeyHigh:
        key_ = simwire::keyOf(keyLow_, byte);
        if (!simwire::asksWrite(keyLow_)) {
            state_ = State::KeyLow;
            ++reads;
            if (mutedKeys.count(key_)) return {};
            if (auto left = readsBeforeMute.find(key_); left != readsBeforeMute.end()) {
                if (left->second == 0) return {};
                --left->second;
            }
            if (unavailableKeys.count(key_)) return one(NotAvailable);
            return answerRead(key_, atNs);
        }
        valueBytes_.clear();
        state_ = State::Value;
        return {};
    case State::Value:
        valueBytes_.push_back(byte);
        if (!simwire::endsDigits(byte, unsigned(valueBytes_.size()))) return {};
        state_ = State::KeyLow;
        if (mutedKeys.count(key_)) return {};
        simwire::WriteValue w = simwire::decodeWrite(valueBytes_);
        if (!w.valid) return {};
        return answerWrite(key_, w.digitForm, w.value, atNs,
                           restartSilenceNs >= 0 ? restartSilenceNs : busRestartSilenceNs);
    }
    return {};
}

std::vector<uint8_t> SimDevice::answerRead(uint32_t key, int64_t atNs) {
    if (key >= 16 && key <= 30) {
        size_t i = (key - 16) / 2;
        bool pad = nameZeroPadded && name.find_first_not_of(' ', i) == std::string::npos;
        return value(pad ? 0 : uint8_t(name[i]));
    }
    std::vector<uint8_t> absent = absentRegistersSilent ? std::vector<uint8_t>{} : one(NotAvailable);
    switch (key) {
    case 32: return identity(version, 2);
    case 34: return identity(release, 2);
    case 36: return identity(parameterVersion, 2);
    case 40: return hasRegister40 ? identity(register40, 4) : absent;
    case 44: return hasRegister44 ? identity(register44, 4) : absent;
    case 46: return identity(status, 4);
    case 48: return identity(password, 2);
    case 58: return value(0);
    case 60: return value(address);
    case 62: return accessReadsShort ? one(simwire::singleDigit(access)) : value(access ? 1 : 0);
    case 68: return accessReadsShort ? one(simwire::singleDigit(extendedAccess)) : value(extendedAccess ? 1 : 0);
    default: break;
    }
    if (key < 0x0100) return one(NotAvailable);
    if (key >= endKey) return one(EndOfTable);
    SimParameter* p = parameter(key);
    if (!p || !reaches(*p)) return one(NotAvailable);
    if (p->onOff()) return one(simwire::singleDigit(p->value ? 1 : 0));
    catchUp(*p, atNs);
    std::vector<uint8_t> answer = value(p->value, p->digits);
    if (p->motion != SimMotion::Still && p->periodNs <= 0) move(*p, 1);
    return answer;
}

void SimDevice::catchUp(SimParameter& p, int64_t atNs) {
    if (p.motion == SimMotion::Still || p.periodNs <= 0) return;
    if (p.tickedNs < 0 || atNs < p.tickedNs) {
        p.tickedNs = atNs;
        return;
    }
    int64_t ticks = (atNs - p.tickedNs) / p.periodNs;
    p.tickedNs += ticks * p.periodNs;
    move(p, uint64_t(ticks));
}

void SimDevice::move(SimParameter& p, uint64_t times) {
    if (times == 0 || p.onOff()) return;
    uint32_t most = maxValue(p.digits);
    if (p.motion == SimMotion::Counter) {
        // Unsigned arithmetic wraps at a power of two, as the digits do.
        p.value = uint32_t((uint64_t(p.value) + uint64_t(p.step) * times) & most);
        return;
    }
    if (p.motion != SimMotion::Wander) return;
    // A value put outside the band by hand is where the walk goes on from.
    if (int64_t(p.value) < int64_t(p.base) - p.band || int64_t(p.value) > int64_t(p.base) + p.band) p.base = p.value;
    int64_t base = std::min<int64_t>(p.base, most);
    int64_t low = std::max<int64_t>(base - p.band, 0);
    int64_t high = std::min<int64_t>(base + p.band, most);
    p.value = uint32_t(std::clamp<int64_t>(p.value, low, high));
    if (p.walk == 0) p.walk = p.key * 2654435761u | 1;
    // Long missed stretches: past a few hundred steps the walk could be
    // anywhere in its range, so the rest are not worth taking.
    for (uint64_t i = 0; i < std::min<uint64_t>(times, 512); ++i) {
        p.walk ^= p.walk << 13;
        p.walk ^= p.walk >> 17;
        p.walk ^= p.walk << 5;
        int64_t next = int64_t(p.value) + int64_t(p.walk % 5) - 2;
        p.value = uint32_t(std::clamp<int64_t>(next, low, high));
    }
}

std::vector<uint8_t> SimDevice::answerWrite(uint32_t key, bool digitForm, uint32_t value, int64_t atNs,
                                            int64_t silenceNs) {
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
        silentUntilNs = atNs + silenceNs;
        access = false;
        extendedAccess = false;
        ++restarts;
        restarted_ = true;
        state_ = State::KeyLow;
        if (!restartAcknowledged) {
            ++writes;
            ++writesByKey[key];
            return {};
        }
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
    std::vector<uint8_t> answer = writeParameter(key, digitForm, value, atNs);
    if (answer.size() == 1 && answer[0] == Acknowledge) {
        ++writes;
        ++writesByKey[key];
    }
    return answer;
}

std::vector<uint8_t> SimDevice::writeParameter(uint32_t key, bool digitForm, uint32_t value, int64_t atNs) {
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
        if (value > maxValue(p->digits) || value > p->limit) return one(NotAvailable);
    }
    // The ticks before the write are spent; the period runs on from there.
    catchUp(*p, atNs);
    p->value = value;
    if (p->motion == SimMotion::Wander) p->base = value;
    return one(Acknowledge);
}
