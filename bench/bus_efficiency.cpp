// How close saving and loading a device come to the wire's own speed. The
// device of the demo bus at address 1 (about 300 parameters) is served by
// fieldsim on a pseudo-terminal, paced like a 9600-baud line; the program's
// own save command writes its parameter file and the load command writes it
// back, each with the restart that ends it, through a termios port.
//
// The wire's lower bound (bench::WireBound) is what no link could avoid: the
// settles before requests, 1.146 ms for every byte that crossed the line
// either way (counted by a transport wrapped around the port), the
// simulator's turnaround, and the two restart silences of 1.5 s. A restart
// silence is the device's own time, so it counts in the bound in full.
// Figures: wall time / lower bound, and CPU seconds of this program (all
// threads) per second of bus time, each measured twice: once with the idle
// CPUs kept awake (WakeLatency.h, root only), once with them left idle as
// they are for a technician who is not root. In the first pass the save and
// the load run once more with a bus monitor's recorder attached (its CPU
// figure may be at most 0.02 above the first), the save once more without
// its confirming reads (what reading every value twice costs), and the pair
// once more with the load's backup and read-back on (wall time over the
// plain pair's).
//
// A last pass puts ser2net in front of the simulator's terminal and runs the
// save and the load over rfc2217:// on loopback: what a network adds is one
// round trip per request, so the target is wider (skipped when ser2net is not
// installed). Two more put a delaying relay (tests/support/DelayRelay.h)
// between the port and ser2net, 20 and 40 ms there and back, as a wide-area
// link: their bound is the wire's plus one round trip per request.
//
// FS_LINK_WATCH_US sets the link's clock watch (SerialLink::setClockWatch)
// for the run; --network-only measures the last pass alone; --idle-only measures the second pass alone (what
// scripts/bench-trade.sh runs for each watch length).
//
//   bus_efficiency [--idle-only | --network-only] [fieldsim path] [bus file] [address]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <unistd.h>

#include "BenchTable.h"
#include "CountingTransport.h"
#include "PacedSession.h"
#include "Timing.h"
#include "WakeLatency.h"
#include "support/FieldsimProcess.h"
#include "support/DelayRelay.h"
#include "support/Ser2netProcess.h"
#include "session/AppContext.h"
#include "files/ParameterFiles.h"
#include "link/BusMonitor.h"
#include "link/DeviceLink.h"
#include "platform/NetworkPort.h"
#include "platform/TermiosPort.h"
#include "platform/ThreadTiming.h"
#include "texts/TextTable.h"

namespace {

constexpr unsigned TurnaroundUs = 0;
constexpr unsigned RestartMs = 1500;
constexpr double RatioTarget = 1.05;
constexpr double CpuTarget = 0.10;
constexpr double NetworkRatioTarget = 1.15;
constexpr double WideAreaRatioTarget = 1.10;
constexpr const char* Ser2net = "/usr/sbin/ser2net";

struct Setup {
    std::string program;
    std::string busFile;
    uint8_t address = 1;
    uint32_t watchUs = DefaultClockWatchUs;
};

// One save and load against a fresh simulator. Prints the pass's two rows
// (their names end in suffix); false when a target was missed or the pass
// could not be measured.
// roundTripMs (over the network only): the relay's delay there and back.
bool measure(const Setup& setup, bool keepAwake, const std::string& suffix, bool safeToo, bool network = false,
             uint32_t roundTripMs = 0) {
    std::string ratioName =
        (roundTripMs ? "bus: save+load wall / (wire bound + round trip per request)" : "bus: save+load wall / wire bound") +
        suffix;
    std::string cpuName = "bus: CPU s per bus s" + suffix;
    std::optional<bench::WakeLatencyHold> awake;
    if (keepAwake) awake.emplace("bus_efficiency");
    else std::fprintf(stderr, "bus_efficiency: idle CPUs left idle while measuring\n");

    Child sim;
    std::string path;
    if (!startFieldsim(sim,
                       {setup.program, "--pace", "--turnaround", std::to_string(TurnaroundUs), "--restart-ms",
                        std::to_string(RestartMs), setup.busFile},
                       path)) {
        bench::missing(ratioName, "cannot start " + setup.program);
        return false;
    }

    char dirTemplate[] = "/tmp/fs-bus-bench-XXXXXX";
    if (!mkdtemp(dirTemplate)) return false;
    std::string file = std::string(dirTemplate) + "/device.NFO";

    // ser2net serving the simulator's terminal on a loopback port, behind
    // the relay when there is a round trip to add.
    Ser2netProcess server;
    std::unique_ptr<DelayRelay> relay;
    if (network) {
        if (!server.start(dirTemplate, {{"rfc2217", path}})) {
            bench::missing(ratioName, "cannot start ser2net");
            return false;
        }
        path = server.lines[0].url();
        if (roundTripMs) {
            relay = std::make_unique<DelayRelay>(server.lines[0].port, roundTripMs);
            path = relay->url("rfc2217");
        }
    }

    DeviceLink link;
    link.setClockWatch(setup.watchUs);
    std::unique_ptr<ByteTransport> port;
    if (network) port = std::make_unique<NetworkPort>();
    else port = std::make_unique<TermiosPort>();
    auto counting = std::make_unique<bench::CountingTransport>(std::move(port));
    bench::CountingTransport* wire = counting.get();
    wire->events.reserve(200000);
    link.setTransport(std::move(counting));
    link.setPortResolver([&](unsigned) { return path; });
    bench::SilentOperator op;
    op.answer = true;
    op.chosenFile = file;
    FrameState owner;
    AppContext ctx(link);
    ctx.attachWindow(&op, &owner);
    // The real texts, so that the report beside the parameter file is the
    // one a save writes.
    ctx.texts.messages.Load(FS_DIST_DIR "/messages.eng");
    ctx.texts.parameters.Load(FS_DIST_DIR "/parameters.eng");

    // Connected as Connect leaves it; the scan is not measured here.
    char entry[4];
    std::snprintf(entry, sizeof entry, "%02x>", setup.address);
    bool opened = link.Open(1) != 0;
    for (int tries = 0; network && !opened && tries < 250; ++tries) {
        usleep(20000);
        opened = link.Open(1) != 0;
    }
    if (!opened || !link.Select(setup.address)) {
        bench::missing(ratioName, "no device on " + path);
        return false;
    }
    // The bus list entry a scan would have made: address and name.
    std::string name;
    for (uint32_t key = 16; key <= 30; key += 2) {
        uint32_t value = 0;
        if (link.ReadRegisterRetry(key, value) != 1) break;
        name.push_back(char(value & 0xFF));
    }
    link.busList[0] = std::string(entry) + name;
    link.busListCount = 1;
    if (!link.ReadIdentity(true)) {
        bench::missing(ratioName, "the device does not answer");
        return false;
    }
    owner.deviceSelected = true;

    wire->recording = true;
    double cpuBefore = bench::cpuSeconds();
    auto start = std::chrono::steady_clock::now();
    saveParameterFile(ctx);
    double saveSeconds = bench::secondsSince(start);
    loadParameterFileCommand(ctx);
    double wall = bench::secondsSince(start);
    double cpu = bench::cpuSeconds() - cpuBefore;
    wire->recording = false;

    // The same again with the monitor open. The load before left the device
    // as the save expects it, so the second run does the same work.
    double monitoredWall = 0, monitoredCpu = 0;
    uint64_t recorded = 0;
    if (safeToo) {
        BusMonitorLog monitorLog;
        link.setMonitor(&monitorLog.recorder());
        double monitoredCpuBefore = bench::cpuSeconds();
        auto monitoredStart = std::chrono::steady_clock::now();
        saveParameterFile(ctx);
        loadParameterFileCommand(ctx);
        monitoredWall = bench::secondsSince(monitoredStart);
        monitoredCpu = bench::cpuSeconds() - monitoredCpuBefore;
        link.setMonitor(nullptr);
        recorded = monitorLog.recorder().recorded();
    }

    // One save more without confirming reads (the saves above read every
    // value twice): what the second reads cost, restart included.
    double plainSaveSeconds = 0;
    if (safeToo) {
        ctx.settings.confirmSaveReads = false;
        start = std::chrono::steady_clock::now();
        saveParameterFile(ctx);
        plainSaveSeconds = bench::secondsSince(start);
        ctx.settings.confirmSaveReads = true;
    }

    // The same again with the load's backup before and read-back after it:
    // one more save's passes (no restart), one read pass and one restart.
    double safeSaveSeconds = 0, safeWall = 0;
    bool safeLoaded = false;
    if (safeToo) {
        ctx.settings.installDirectory = dirTemplate;
        ctx.settings.backupBeforeLoad = true;
        ctx.settings.verifyAfterLoad = true;
        const unsigned shownBefore = op.shown;
        start = std::chrono::steady_clock::now();
        saveParameterFile(ctx);
        safeSaveSeconds = bench::secondsSince(start);
        loadParameterFileCommand(ctx);
        safeWall = bench::secondsSince(start);
        safeLoaded = op.shown == shownBefore && owner.deviceSelected &&
                     std::filesystem::is_directory(std::string(dirTemplate) + "/backups");
    }
    link.Close();

    std::error_code ec;
    auto fileBytes = std::filesystem::file_size(file, ec);
    std::filesystem::remove_all(dirTemplate, ec);
    if (op.shown || !owner.deviceSelected || !fileBytes) {
        bench::missing(ratioName, "the save or the load failed (messages on stderr)");
        return false;
    }

    bench::WireBound bound = bench::wireBound(wire->events, TurnaroundUs / 1000.0, RestartMs);
    std::fprintf(stderr,
                 "bus_efficiency: device %s at %u, parameter file %ju bytes, clock watch %u us, "
                 "real-time priority: %s\n"
                 "  save %.3f s, load %.3f s, together %.3f s; CPU %.3f s\n"
                 "  wire bound %.3f s: %u settles, %u quiet waits, %u bytes (%u more unanswered), %u answers, "
                 "%u restarts of %u ms\n"
                 "  answers that never came (outside restart silences): %u\n",
                 name.c_str(), setup.address, static_cast<uintmax_t>(fileBytes), setup.watchUs,
                 threadtiming::realtimeState(), saveSeconds, wall - saveSeconds, wall, cpu, bound.seconds(),
                 bound.settles, bound.quietWaits, bound.bytes, bound.overlapped, bound.answers, bound.restarts,
                 RestartMs, bound.unanswered);
    std::fprintf(stderr,
                 "  monitor open: save and load %.3f s, CPU %.3f s, %ju transactions recorded\n",
                 monitoredWall, monitoredCpu, static_cast<uintmax_t>(recorded));
    bool ok = bound.restarts == 2;
    if (!ok) std::fprintf(stderr, "bus_efficiency: expected two restarts, saw %u\n", bound.restarts);
    if (roundTripMs) {
        // Each request waits one round trip more for its answer than on the
        // wire; the restarts' silences are the device's own.
        const double boundSeconds = bound.seconds() + bound.answers * roundTripMs / 1000.0;
        std::fprintf(stderr, "  round trip %u ms: bound with one per answered request %.3f s\n", roundTripMs,
                     boundSeconds);
        ok = bench::figure(ratioName, wall / boundSeconds, "x", bench::Goal::AtMost, WideAreaRatioTarget) && ok;
    } else {
        ok = bench::figure(ratioName, wall / bound.seconds(), "x", bench::Goal::AtMost,
                           network ? NetworkRatioTarget : RatioTarget) && ok;
    }
    ok = bench::figure(cpuName, cpu / wall, "", bench::Goal::AtMost, CpuTarget) && ok;
    if (safeToo) {
        const char* monitoredName = "bus: CPU s per bus s, monitor open";
        std::fprintf(stderr, "  monitor open: save and load %.3f s, CPU %.3f s, %ju transactions recorded\n",
                     monitoredWall, monitoredCpu, static_cast<uintmax_t>(recorded));
        if (recorded == 0) {
            bench::missing(monitoredName, "the run with the monitor open failed or recorded nothing");
            return false;
        }
        ok = bench::figure(monitoredName, monitoredCpu / monitoredWall, "", bench::Goal::AtMost, cpu / wall + 0.02, 3) &&
             ok;
        const char* safeName = "bus: save+safe load / save+load wall";
        if (!safeLoaded) {
            bench::missing(safeName, "the safe load failed or found differences (messages on stderr)");
            return false;
        }
        std::fprintf(stderr, "  with backup and read-back: save %.3f s, load %.3f s (%.2f times the plain load)\n",
                     safeSaveSeconds, safeWall - safeSaveSeconds, (safeWall - safeSaveSeconds) / (wall - saveSeconds));
        ok = bench::figure(safeName, safeWall / wall, "x", bench::Goal::AtMost, 2.0) && ok;
        std::fprintf(stderr, "  save without confirming reads %.3f s, with them %.3f s\n", plainSaveSeconds,
                     saveSeconds);
        ok = bench::figure("bus: save, confirming reads / plain save", saveSeconds / plainSaveSeconds, "x",
                           bench::Goal::AtMost, 1.5) &&
             ok;
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    bool idleOnly = argc > 1 && std::strcmp(argv[1], "--idle-only") == 0;
    bool networkOnly = argc > 1 && std::strcmp(argv[1], "--network-only") == 0;
    if (idleOnly || networkOnly) {
        --argc;
        ++argv;
    }
    Setup setup;
    setup.program = argc > 1 ? argv[1] : FS_DIST_DIR "/fieldsim";
    setup.busFile = argc > 2 ? argv[2] : FS_DIST_DIR "/demo.bus";
    setup.address = static_cast<uint8_t>(argc > 3 ? std::atoi(argv[3]) : 1);
    if (const char* watch = std::getenv("FS_LINK_WATCH_US"); watch && *watch)
        setup.watchUs = static_cast<uint32_t>(std::strtoul(watch, nullptr, 10));

    bool ok = true;
    if (!idleOnly && !networkOnly) ok = measure(setup, true, "", true) && ok;
    if (!networkOnly) ok = measure(setup, false, ", CPUs idle", false) && ok;
    if (!idleOnly) {
        if (access(Ser2net, X_OK) == 0) {
            ok = measure(setup, false, ", rfc2217 on loopback", false, true) && ok;
            for (uint32_t roundTripMs : {20u, 40u})
                ok = measure(setup, false, ", rfc2217, " + std::to_string(roundTripMs) + " ms round trip", false, true,
                             roundTripMs) &&
                     ok;
        } else {
            bench::missing("bus: save+load wall / wire bound, rfc2217 on loopback", "ser2net is not installed");
        }
    }
    return ok ? 0 : 1;
}
