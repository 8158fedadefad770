#include "sim/Simulator.h"

#include <cstdio>

Simulator::Simulator(bool virtualTime) {
    if (virtualTime) clock = std::make_shared<VirtualClock>();
    wire.logSink = [this](const WireLogEntry& e) {
        if (logging) log.push_back(e);
    };
}

bool Simulator::load(const std::string& busText, std::string& error) {
    return parseBusText(busText, bus, error);
}

bool Simulator::loadFile(const std::string& path, std::string& error) {
    return loadBusFile(path, bus, error);
}

std::unique_ptr<SimLine> Simulator::makeLine() { return std::make_unique<SimLine>(wire, clock); }

std::vector<uint8_t> Simulator::sentBytes() const {
    std::vector<uint8_t> out;
    for (const auto& e : log)
        if (e.fromMaster) out.push_back(e.byte);
    return out;
}

std::vector<uint8_t> Simulator::answerBytes() const {
    std::vector<uint8_t> out;
    for (const auto& e : log)
        if (!e.fromMaster) out.push_back(e.byte);
    return out;
}

std::string Simulator::logText() const {
    std::string text;
    char line[32];
    for (const auto& e : log) {
        std::snprintf(line, sizeof line, "%c %02x%s%s\n", e.fromMaster ? '>' : '<', e.byte,
                      e.parity ? " parity" : "", e.framing ? " framing" : "");
        text += line;
    }
    return text;
}
