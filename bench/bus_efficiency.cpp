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
// threads) per second of bus time. Then the save and the load run once more
// with a bus monitor's recorder attached to the link (the window is not
// needed: the recorder is what the link pays for), and the CPU figure of
// that run may be at most 0.02 above the first.
//
//   bus_efficiency [fieldsim path] [bus file] [address]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "BenchTable.h"
#include "CountingTransport.h"
#include "PacedSession.h"
#include "Timing.h"
#include "WakeLatency.h"
#include "support/FieldsimProcess.h"
#include "session/AppContext.h"
#include "files/ParameterFiles.h"
#include "link/BusMonitor.h"
#include "link/DeviceLink.h"
#include "platform/TermiosPort.h"
#include "texts/TextTable.h"

namespace {

constexpr unsigned TurnaroundUs = 0;
constexpr unsigned RestartMs = 1500;

}  // namespace

int main(int argc, char** argv) {
    bench::WakeLatencyHold awake("bus_efficiency");
    std::string program = argc > 1 ? argv[1] : FS_DIST_DIR "/fieldsim";
    std::string busFile = argc > 2 ? argv[2] : FS_DIST_DIR "/demo.bus";
    uint8_t address = static_cast<uint8_t>(argc > 3 ? std::atoi(argv[3]) : 1);
    const char* ratioName = "bus: save+load wall / wire bound";
    const char* cpuName = "bus: CPU s per bus s";
    const char* monitoredName = "bus: CPU s per bus s, monitor open";

    Child sim;
    std::string path;
    if (!startFieldsim(sim,
                       {program, "--pace", "--turnaround", std::to_string(TurnaroundUs), "--restart-ms",
                        std::to_string(RestartMs), busFile},
                       path)) {
        bench::missing(ratioName, "cannot start " + program);
        return 1;
    }
    // The real texts, so that the report beside the parameter file is the
    // one a save writes.

    char dirTemplate[] = "/tmp/fs-bus-bench-XXXXXX";
    if (!mkdtemp(dirTemplate)) return 1;
    std::string file = std::string(dirTemplate) + "/device.NFO";

    DeviceLink link;
    auto counting = std::make_unique<bench::CountingTransport>(std::make_unique<TermiosPort>());
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
    ctx.texts.messages.Load(FS_DIST_DIR "/messages.eng");
    ctx.texts.parameters.Load(FS_DIST_DIR "/parameters.eng");

    // Connected as Connect leaves it; the scan is not measured here.
    char entry[4];
    std::snprintf(entry, sizeof entry, "%02x>", address);
    if (!link.Open(1) || !link.Select(address)) {
        bench::missing(ratioName, "no device on " + path);
        return 1;
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
        return 1;
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
    BusMonitorLog monitorLog;
    link.setMonitor(&monitorLog.recorder());
    double monitoredCpuBefore = bench::cpuSeconds();
    auto monitoredStart = std::chrono::steady_clock::now();
    saveParameterFile(ctx);
    loadParameterFileCommand(ctx);
    double monitoredWall = bench::secondsSince(monitoredStart);
    double monitoredCpu = bench::cpuSeconds() - monitoredCpuBefore;
    link.setMonitor(nullptr);
    uint64_t recorded = monitorLog.recorder().recorded();
    link.Close();

    std::error_code ec;
    auto fileBytes = std::filesystem::file_size(file, ec);
    std::filesystem::remove_all(dirTemplate, ec);
    if (op.shown || !owner.deviceSelected || !fileBytes) {
        bench::missing(ratioName, "the save or the load failed (messages on stderr)");
        return 1;
    }

    bench::WireBound bound = bench::wireBound(wire->events, TurnaroundUs / 1000.0, RestartMs);
    std::fprintf(stderr,
                 "bus_efficiency: device %s at %u, parameter file %ju bytes\n"
                 "  save %.3f s, load %.3f s, together %.3f s; CPU %.3f s\n"
                 "  wire bound %.3f s: %u settles, %u quiet waits, %u bytes (%u more unanswered), %u answers, "
                 "%u restarts of %u ms\n"
                 "  answers that never came (outside restart silences): %u\n",
                 name.c_str(), address, static_cast<uintmax_t>(fileBytes), saveSeconds, wall - saveSeconds, wall,
                 cpu, bound.seconds(), bound.settles, bound.quietWaits, bound.bytes, bound.overlapped, bound.answers, bound.restarts,
                 RestartMs, bound.unanswered);
    std::fprintf(stderr,
                 "  monitor open: save and load %.3f s, CPU %.3f s, %ju transactions recorded\n",
                 monitoredWall, monitoredCpu, static_cast<uintmax_t>(recorded));
    bool ok = bound.restarts == 2;
    if (!ok) std::fprintf(stderr, "bus_efficiency: expected two restarts, saw %u\n", bound.restarts);
    ok = bench::figure(ratioName, wall / bound.seconds(), "x", bench::Goal::AtMost, 1.10) && ok;
    ok = bench::figure(cpuName, cpu / wall, "", bench::Goal::AtMost, 0.25) && ok;
    if (recorded == 0 || op.shown || !owner.deviceSelected) {
        bench::missing(monitoredName, "the run with the monitor open failed or recorded nothing");
        return 1;
    }
    ok = bench::figure(monitoredName, monitoredCpu / monitoredWall, "", bench::Goal::AtMost, cpu / wall + 0.02, 3) &&
         ok;
    return ok ? 0 : 1;
}
