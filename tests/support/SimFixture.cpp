#include "support/SimFixture.h"

#include <sstream>

#include "session/AppContext.h"
#include "support/SimAttach.h"

SimFixture::SimFixture(const std::string& busFilePath) {
    if (!sim.loadFile(busFilePath, error)) sim.bus = SimBus();
    install();
}

SimFixture::SimFixture(FromText, const std::string& busText) {
    if (!sim.load(busText, error)) sim.bus = SimBus();
    install();
}

void SimFixture::install() {
    line = attachSim(sim, link);
    ctx.attachWindow(&op, &frame);
}

std::string stillBusText(const std::string& busText) {
    std::istringstream in(busText);
    std::string out, line, word;
    while (std::getline(in, line)) {
        std::istringstream(line) >> word;
        if (word != "count" && word != "wander") out += line + "\n";
        word.clear();
    }
    return out;
}

void SimFixture::holdStill() {
    for (const auto& device : sim.bus.devices())
        for (auto& [key, p] : device->parameters) p.motion = SimMotion::Still;
}

bool SimFixture::connect(uint8_t address) {
    if (!link.isOpen() && !link.Open(1)) return false;
    if (link.ScanBus() == 0) return false;
    if (!link.Select(address)) return false;
    if (!link.ReadIdentity(true)) return false;
    frame.deviceSelected = true;
    return true;
}

std::optional<uint32_t> SimFixture::param(uint8_t address, uint32_t key) {
    SimDevice* d = device(address);
    if (!d) return std::nullopt;
    SimParameter* p = d->parameter(key);
    if (!p) return std::nullopt;
    return p->value;
}

unsigned SimFixture::writes(uint8_t address) {
    SimDevice* d = device(address);
    return d ? d->writes : 0;
}

unsigned SimFixture::writes(uint8_t address, uint32_t key) {
    SimDevice* d = device(address);
    if (!d) return 0;
    auto it = d->writesByKey.find(key);
    return it == d->writesByKey.end() ? 0 : it->second;
}
