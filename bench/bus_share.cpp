// The master's own share of bus time, and eight buses loaded at once.
//
// Eight fieldsim buses serve the demo bus on pseudo-terminals, paced like a
// 9600-baud line, each writing its timing log (the time it read a request's
// first byte and wrote the answer's last byte, per transaction). The built
// program saves the device at address 1 of the first bus, loads that file
// back into it alone (with its backup and read-back, as an installation
// does), then loads it into the device of all eight buses by one command.
//
// Figures:
// - the master's share: for each answer followed by a request within 50 ms
//   (longer gaps are the restart's waits for a silent device), the time
//   from the answer's last byte to the next request's first byte beyond
//   the wait the link must keep: the 2 ms settle before a request, the
//   20 ms of quiet line before a release (0xFF); from the
//   simulator's own timestamps of the single-bus load, so that the
//   simulator's lateness in answering does not count; median and 99th
//   percentile, with the CPUs left idle (nothing keeps them awake, no root);
// - eight buses at once: wall time over the single bus's (every bus is
//   the same, so the single bus is the slowest one), and the program's CPU
//   seconds per bus second (its CPU over eight times its wall time).
//
// The single-bus load runs three times; the share's rows give the worst
// median and the worst 99th percentile of the three, and the log gives
// each run's figures with the load average before it, and where each run's
// gaps went (GapBreakdown.h), from the program's stamps of its own steps.
//
//   bus_share [fieldsim path] [fieldservice path]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchTable.h"
#include "GapBreakdown.h"
#include "Timing.h"
#include "link/SerialLink.h"
#include "support/FieldsimProcess.h"

namespace fs = std::filesystem;

namespace {

constexpr int Buses = 8;
constexpr double SettleMs = 2.0;
constexpr double QuietMs = 20.0;
constexpr unsigned Release = 0xFF;
constexpr double LongestGapMs = 50.0;
constexpr int ShareRuns = 3;

struct Run {
    int status = -1;
    double wall = 0;
    double cpu = 0;
    int64_t fromNs = 0, toNs = 0;   // on the monotonic clock, as the timing logs
};

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

Run runProgram(const std::string& program, const std::string& installation, std::vector<std::string> args,
               const std::string& stampLog = "") {
    args.insert(args.begin(), program);
    ChildOptions how;
    if (!stampLog.empty()) how.setEnv = {{"FS_LINK_STAMPS", stampLog}};
    how.workingDirectory = installation;
    how.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
    how.stderrFile = installation + "/job.err";
    how.captureStdout = true;   // the table; the figures are this program's output
    Run run;
    Child job;
    run.fromNs = nowNs();
    auto start = std::chrono::steady_clock::now();
    if (!job.start(args, how)) return run;
    run.status = job.exitCode(900000);
    run.wall = bench::secondsSince(start);
    run.toNs = nowNs();
    run.cpu = double(job.usage.ru_utime.tv_sec + job.usage.ru_stime.tv_sec) +
              double(job.usage.ru_utime.tv_usec + job.usage.ru_stime.tv_usec) / 1e6;
    return run;
}

// The master's times between one answer and the next request, beyond the
// settle, in milliseconds, for the transactions of [fromNs, toNs].
std::vector<double> masterGaps(const std::string& log, int64_t fromNs, int64_t toNs) {
    std::ifstream in(log);
    std::vector<double> gaps;
    long long request = 0, answer = 0, lastAnswer = -1;
    unsigned first = 0;
    while (in >> std::dec >> request >> answer >> std::hex >> first) {
        if (request >= fromNs && request <= toNs && lastAnswer >= 0) {
            double gap = double(request - lastAnswer) / 1e6;
            double required = first == Release ? QuietMs : SettleMs;
            if (gap <= LongestGapMs) gaps.push_back(std::max(0.0, gap - required));
        }
        lastAnswer = answer;
    }
    return gaps;
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string simProgram = argc > 1 ? argv[1] : FS_DIST_DIR "/fieldsim";
    const std::string program = argc > 2 ? argv[2] : FS_DIST_DIR "/fieldservice";
    const char* shareName = "bus: master's share beyond settle, median (worst of 3)";
    const char* tailName = "bus: master's share beyond settle, 99th pct (worst of 3)";
    const char* wallName = "8 buses at once: wall / single bus";
    const char* cpuName = "8 buses at once: CPU s per bus s";

    char dirTemplate[] = "/tmp/fs-bus-share-XXXXXX";
    if (!mkdtemp(dirTemplate)) return 1;
    const std::string dir = dirTemplate;
    std::error_code ec;
    for (const char* name : {"messages.eng", "errors.eng", "parameters.eng"})
        fs::copy_file(std::string(FS_DIST_DIR) + "/" + name, dir + "/" + name, ec);
    std::ofstream(dir + "/config.ini") << "[BASIC Configurations]\nlanguage=eng\nserial_port=1\n";

    Child sims[Buses];
    std::vector<std::string> ports;
    for (int n = 0; n < Buses; ++n) {
        std::string path;
        if (!startFieldsim(sims[n],
                           {simProgram, "--pace", "--turnaround", "0", "--restart-ms", "1500", "--timing-log",
                            dir + "/timing" + std::to_string(n) + ".log", FS_DIST_DIR "/demo.bus"},
                           path)) {
            bench::missing(shareName, "cannot start " + simProgram);
            return 1;
        }
        ports.push_back(path);
    }

    bool ok = true;
    Run save = runProgram(program, dir, {"--save", dir + "/device", "--port", ports[0], "--address", "1"});
    std::vector<std::string> saved;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".NFO") saved.push_back(entry.path().string());
    if (save.status != 0 || saved.size() != 1) {
        bench::missing(shareName, "the save failed (" + dir + "/job.err)");
        return 1;
    }
    Run singles[ShareRuns];
    std::string loads[ShareRuns];
    for (int n = 0; n < ShareRuns; ++n) {
        loads[n] = loadAverage();
        singles[n] = runProgram(program, dir, {"--load", saved[0], "--port", ports[0], "--address", "1"},
                                dir + "/stamps" + std::to_string(n) + ".log");
    }
    std::vector<std::string> all = {"--load", saved[0], "--address", "1"};
    for (const std::string& port : ports) all.insert(all.end(), {"--port", port});
    Run eight = runProgram(program, dir, all);
    for (Child& sim : sims) sim.stop();   // the logs are complete once the simulators have ended

    std::vector<bench::SimTransaction> simTimes = bench::readSimTimings(dir + "/timing0.log");
    double worstMedian = 0, worstTail = 0;
    bool measured = true;
    for (int n = 0; n < ShareRuns; ++n) {
        const Run& single = singles[n];
        std::vector<double> gaps = masterGaps(dir + "/timing0.log", single.fromNs, single.toNs);
        unsigned over = 0;
        for (double gap : gaps) over += gap > 1.0;
        if (single.status != 0 || gaps.empty()) {
            std::fprintf(stderr, "bus_share: single load %d failed (status %d, %s/job.err)\n", n + 1, single.status,
                         dir.c_str());
            measured = false;
            continue;
        }
        double median = bench::percentileOf(gaps, 0.5), tail = bench::percentileOf(gaps, 0.99);
        worstMedian = std::max(worstMedian, median);
        worstTail = std::max(worstTail, tail);
        std::fprintf(stderr,
                     "bus_share: single load %d: load average before %s; %.2f s, CPU %.2f s; %zu answer-to-request "
                     "gaps, %u over 1 ms; beyond settle %.3f ms median, %.3f ms 99th pct\n",
                     n + 1, loads[n].c_str(), single.wall, single.cpu, gaps.size(), over, median, tail);
        std::string title = "bus_share: single load " + std::to_string(n + 1) + ", where the gaps went";
        std::vector<bench::LinkRow> steps = bench::readLinkStamps(dir + "/stamps" + std::to_string(n) + ".log");
        bench::printBreakdown(stderr, title.c_str(),
                              bench::breakDown(simTimes, steps, single.fromNs, single.toNs, LongestGapMs,
                                               DefaultClockWatchUs));
    }
    std::fprintf(stderr, "bus_share: save %.2f s; eight loads %.2f s (status %d, CPU %.2f s)\n", save.wall,
                 eight.wall, eight.status, eight.cpu);
    if (!measured) {
        bench::missing(shareName, "a single load failed (" + dir + "/job.err)");
        ok = false;
    } else {
        ok = bench::figure(shareName, worstMedian, "ms", bench::Goal::AtMost, 0.2, 3) && ok;
        ok = bench::figure(tailName, worstTail, "ms", bench::Goal::AtMost, 1.0, 3) && ok;
    }
    // The single bus's wall time: the middle one of the runs.
    std::vector<double> walls;
    for (const Run& single : singles) walls.push_back(single.wall);
    std::sort(walls.begin(), walls.end());
    if (eight.status != 0 || !measured) {
        bench::missing(wallName, "a load failed (" + dir + "/job.err)");
        return 1;
    }
    ok = bench::figure(wallName, eight.wall / walls[ShareRuns / 2], "x", bench::Goal::AtMost, 1.10) && ok;
    ok = bench::figure(cpuName, eight.cpu / (Buses * eight.wall), "", bench::Goal::AtMost, 0.10, 3) && ok;
    fs::remove_all(dir, ec);
    return ok ? 0 : 1;
}
