#pragma once
// A device link on a scripted line (FaultLine) and a virtual clock, not yet
// opened: the line records what the link does and plays what the test
// scripts.
#include <memory>

#include "link/DeviceLink.h"
#include "sim/FaultLine.h"
#include "sim/VirtualClock.h"

struct LinkOnFaultLine {
    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
    FaultLine* line = nullptr;
    DeviceLink link;
    LinkOnFaultLine() {
        auto l = std::make_unique<FaultLine>(clock);
        line = l.get();
        link.setClock(clock);
        link.setTransport(std::move(l));
    }
    double ms() const { return double(clock->nowNs()) / 1e6; }
};
