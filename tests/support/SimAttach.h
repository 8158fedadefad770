#pragma once
// Plugs a master link into the in-process bus simulator: a line to the bus
// as its transport and, on virtual time, the simulator's clock. Returns the
// line, which the link owns (its port faults can be set through it).
#include "link/SerialLink.h"
#include "sim/Simulator.h"

inline SimLine* attachSim(Simulator& sim, SerialLink& link) {
    auto line = sim.makeLine();
    SimLine* raw = line.get();
    link.setTransport(std::move(line));
    if (sim.clock) link.setClock(sim.clock);
    return raw;
}
