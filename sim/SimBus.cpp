#include "sim/SimBus.h"

SimDevice& SimBus::addDevice(uint8_t address, const std::string& name) {
    auto device = std::make_unique<SimDevice>();
    device->address = address;
    device->setName(name);
    devices_.push_back(std::move(device));
    return *devices_.back();
}

SimDevice* SimBus::device(uint8_t address) {
    for (auto& d : devices_)
        if (d->address == address && !d->vanished) return d.get();
    return nullptr;
}

std::vector<uint8_t> SimBus::receive(uint8_t byte, int64_t atNs) {
    answering_ = nullptr;
    if (byte & 0x80) {
        for (auto& d : devices_) d->resetRequest();
        selected_ = nullptr;
        if (byte == 0xFF) return {};
        uint8_t address = byte & 0x7F;
        SimDevice* d = address < 64 ? device(address) : nullptr;
        if (!d || !d->awake(atNs)) return {};
        selected_ = d;
        answering_ = d;
        return {address};
    }
    if (!selected_ || !selected_->awake(atNs)) return {};
    answering_ = selected_;
    std::vector<uint8_t> answer = selected_->receive(byte, atNs, restartSilenceNs);
    if (selected_->takeRestarted()) selected_ = nullptr;
    return answer;
}
