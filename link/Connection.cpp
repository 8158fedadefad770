// The connection to one device: the bus scan with its list of devices found,
// the identity read, and the accessors of the device image.
#include <cstdio>

#include "link/DeviceLink.h"
#include "link/RegisterKeys.h"
#include "texts/CharClass.h"

namespace {
constexpr unsigned BusListSize = 32;
constexpr uint32_t NameKeys[8] = {NameKeyFirst,      NameKeyFirst + 2,  NameKeyFirst + 4,  NameKeyFirst + 6,
                                  NameKeyFirst + 8,  NameKeyFirst + 10, NameKeyFirst + 12, NameKeyLast};
}  // namespace

int DeviceLink::ScanBus() {
    scanStopped = false;
    if (inFlight_) return 0;
    scanStop.store(false, std::memory_order_relaxed);
    for (auto& entry : busList) entry.clear();
    unsigned found = 0;
    for (unsigned address = 0; address < 64; ++address) {
        // A stop asked for lets the address being asked finish.
        if (scanStop.load(std::memory_order_relaxed)) {
            scanStopped = true;
            break;
        }
        progressCounter = address;
        if (found >= BusListSize) break;
        int released = Deselect();
        int selected = Select(uint8_t(address));
        if (!released || !selected) continue;
        char head[4];
        std::snprintf(head, sizeof head, "%02x>", address & 0x3F);
        std::string entry = head;
        bool complete = true;
        // A name ends at its first zero byte: devices pad short names with
        // blanks or with zeros, and zeros are no part of the name anywhere
        // (list, panel, file, the comparison of a load).
        bool ended = false;
        for (uint32_t key : NameKeys) {
            uint32_t value = 0;
            if (ReadRegisterRetry(key, value) != 1) {
                complete = false;
                break;
            }
            const char c = char(value & 0xFF);
            ended = ended || c == '\0';
            if (!ended) entry.push_back(c);
        }
        busList[found] = entry;
        if (complete) ++found;
    }
    // A device given up half way leaves its partial entry behind the valid ones.
    for (unsigned i = found; i < BusListSize; ++i) busList[i].clear();
    Deselect();
    // A stop asked for after the last address stopped nothing, and must not stop the next scan.
    scanStop.store(false, std::memory_order_relaxed);
    busListCount = uint8_t(found);
    return int(found);
}

int DeviceLink::ReadIdentity(bool readAll) {
    if (inFlight_) return 0;
    unsigned index = FindBusEntry(selectedAddress);
    if (index == 0) {
        deviceName.clear();
        return 0;
    }
    deviceName = BusEntryName(index);
    progressCounter = 0;
    struct Item {
        uint32_t key;
        bool required;
    };
    const Item items[] = {{VersionKey, true},     {ReleaseKey, true},     {ParameterVersionKey, true},
                          {Identity44Key, false}, {Identity40Key, false}, {PasswordKey, false}};
    for (const Item& item : items) {
        if (readAll) {
            uint32_t value = 0;
            bool read = ReadRegisterRetry(item.key, value) == 1;
            if (!read && item.required) return 0;
            switch (item.key) {
            case VersionKey: version = value; break;
            case ReleaseKey: release = value; break;
            case ParameterVersionKey: parameterVersion = value; break;
            case Identity44Key: register44 = read ? int32_t(value) : -1; break;
            case Identity40Key: register40 = read ? int32_t(value) : -1; break;
            case PasswordKey: password = read ? value : 0; break;
            }
        }
        ++progressCounter;
    }
    if (readAll) connected = 1;
    return -1;
}

std::string DeviceLink::BusEntry(unsigned index) const {
    if (index == 0 || index > BusListSize || index > busListCount) return {};
    return busList[index - 1];
}

std::string DeviceLink::BusEntryName(unsigned index) const {
    std::string entry = BusEntry(index);
    return entry.size() > 3 ? entry.substr(3) : std::string();
}

uint8_t DeviceLink::BusEntryAddress(unsigned index) const {
    std::string entry = BusEntry(index);
    unsigned value = 0;
    size_t i = 0;
    while (i < entry.size() && hexDigit(entry[i]) >= 0) {
        value = (value << 4) | unsigned(hexDigit(entry[i]));
        ++i;
    }
    return uint8_t(value & 0xFF);
}

unsigned DeviceLink::FindBusEntry(uint8_t address) const {
    for (unsigned i = 1; i <= busListCount && i <= BusListSize; ++i)
        if (BusEntryAddress(i) == address) return i;
    return 0;
}

int32_t DeviceLink::Version() const { return connected ? int32_t(version) : -1; }
int32_t DeviceLink::Release() const { return connected ? int32_t(release) : -1; }
int32_t DeviceLink::ParameterVersion() const { return connected ? int32_t(parameterVersion) : -1; }
int32_t DeviceLink::Register40() const { return connected ? register40 : -1; }
int32_t DeviceLink::Register44() const { return connected ? register44 : -1; }
int32_t DeviceLink::Password() const { return connected ? int32_t(password) : -1; }
uint8_t DeviceLink::Address() const { return connected ? selectedAddress : 0; }
std::string DeviceLink::Name() const { return connected ? deviceName : std::string(); }

std::string trimmedDeviceName(std::string name) {
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
    return name;
}
