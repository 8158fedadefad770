// Eight network buses loaded at once against one.
//
// Eight fieldsim buses serve the demo bus on pseudo-terminals, paced like a
// 9600-baud line; one ser2net serves them on loopback, RFC 2217 and raw TCP
// in turn (as a plant's device servers mix them). The built program saves
// the device at address 1 over the first connection, loads that file back
// into it alone (with its backup and read-back), then loads it into the
// device of all eight buses by one command.
//
// Figures: wall time of the eight over the single bus's (every bus is the
// same, so the single bus is the slowest one; the ports must not wait on
// each other), and the program's CPU seconds per bus second.
//
//   network_buses [fieldsim path] [fieldservice path]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchTable.h"
#include "Timing.h"
#include "support/FieldsimProcess.h"
#include "support/Ser2netProcess.h"

namespace fs = std::filesystem;

namespace {

constexpr int Buses = 8;

struct Run {
    int status = -1;
    double wall = 0;
    double cpu = 0;
};

Run runProgram(const std::string& program, const std::string& installation, std::vector<std::string> args) {
    args.insert(args.begin(), program);
    ChildOptions how;
    how.workingDirectory = installation;
    how.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
    how.stderrFile = installation + "/job.err";
    how.captureStdout = true;   // the table; the figures are this program's output
    Run run;
    Child job;
    auto start = std::chrono::steady_clock::now();
    if (!job.start(args, how)) return run;
    run.status = job.exitCode(900000);
    run.wall = bench::secondsSince(start);
    run.cpu = double(job.usage.ru_utime.tv_sec + job.usage.ru_stime.tv_sec) +
              double(job.usage.ru_utime.tv_usec + job.usage.ru_stime.tv_usec) / 1e6;
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string simProgram = argc > 1 ? argv[1] : FS_DIST_DIR "/fieldsim";
    const std::string program = argc > 2 ? argv[2] : FS_DIST_DIR "/fieldservice";
    const char* wallName = "8 network buses at once: wall / single network bus";
    const char* cpuName = "8 network buses at once: CPU s per bus s";
    if (!Ser2netProcess::installed()) {
        bench::missing(wallName, "ser2net is not installed");
        return 1;
    }

    char dirTemplate[] = "/tmp/fs-network-buses-XXXXXX";
    if (!mkdtemp(dirTemplate)) return 1;
    const std::string dir = dirTemplate;
    std::error_code ec;
    for (const char* name : {"messages.eng", "errors.eng", "parameters.eng"})
        fs::copy_file(std::string(FS_DIST_DIR) + "/" + name, dir + "/" + name, ec);
    std::ofstream(dir + "/config.ini") << "[BASIC Configurations]\nlanguage=eng\nserial_port=1\n";

    Child sims[Buses];
    std::vector<Ser2netLine> lines;
    for (int n = 0; n < Buses; ++n) {
        std::string path;
        if (!startFieldsim(sims[n], {simProgram, "--pace", "--turnaround", "0", "--restart-ms", "1500",
                                     FS_DIST_DIR "/demo.bus"},
                           path)) {
            bench::missing(wallName, "cannot start " + simProgram);
            return 1;
        }
        lines.push_back({n % 2 ? "tcp" : "rfc2217", path});
    }
    Ser2netProcess ser2net;
    if (!ser2net.start(dir, lines)) {
        bench::missing(wallName, "ser2net does not listen (" + dir + "/ser2net.log)");
        return 1;
    }

    fs::create_directory(dir + "/saved");
    Run save = runProgram(program, dir, {"--save", dir + "/saved/", "--port", ser2net.lines[0].url(), "--address", "1"});
    std::vector<std::string> saved;
    for (const auto& entry : fs::directory_iterator(dir + "/saved"))
        if (entry.path().extension() == ".NFO") saved.push_back(entry.path().string());
    if (save.status != 0 || saved.size() != 1) {
        bench::missing(wallName, "the save failed (" + dir + "/job.err)");
        return 1;
    }
    Run single = runProgram(program, dir, {"--load", saved[0], "--port", ser2net.lines[0].url(), "--address", "1"});
    if (single.status != 0) {
        bench::missing(wallName, "the single load failed (" + dir + "/job.err)");
        return 1;
    }
    std::vector<std::string> all = {"--load", saved[0], "--address", "1"};
    for (const Ser2netLine& line : ser2net.lines) all.insert(all.end(), {"--port", line.url()});
    Run eight = runProgram(program, dir, all);
    std::fprintf(stderr,
                 "network_buses: save %.2f s; single load %.2f s (CPU %.2f s); eight loads %.2f s (status %d, "
                 "CPU %.2f s)\n",
                 save.wall, single.wall, single.cpu, eight.wall, eight.status, eight.cpu);
    if (eight.status != 0) {
        bench::missing(wallName, "the load on eight buses failed (" + dir + "/job.err)");
        return 1;
    }
    bool ok = bench::figure(wallName, eight.wall / single.wall, "x", bench::Goal::AtMost, 1.10);
    ok = bench::figure(cpuName, eight.cpu / (Buses * eight.wall), "", bench::Goal::AtMost, 0.10, 3) && ok;
    fs::remove_all(dir, ec);
    return ok ? 0 : 1;
}
