// Peak resident memory of the interactive program while it works with a
// device: build/dist/fieldservice in an installation directory of its own
// whose config.ini connects on start-up, COM1 mapped to fieldsim serving the
// first device of the demo bus (one device on the bus, so Connect selects it
// without asking). Qt draws off screen. Once the main window polls the
// device's status (register 46 shows up in fieldsim's wire log) the program
// has scanned, selected and identified it; its VmHWM is read then, and the
// program is terminated. Every wait is bounded.
//
//   interactive_memory [work folder]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "BenchTable.h"
#include "Timing.h"
#include "WorkFolder.h"
#include "support/FieldsimProcess.h"

namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The status polls seen in a wire log: reads of register 46 ("> 2e").
int statusPolls(const fs::path& wireLog) {
    std::ifstream in(wireLog);
    std::string line;
    int polls = 0;
    while (std::getline(in, line))
        if (line.size() >= 4 && line.compare(line.size() - 4, 4, "> 2e") == 0) ++polls;
    return polls;
}

}  // namespace

int main(int argc, char** argv) {
    const char* name = "interactive: peak resident memory";
    fs::path folder = bench::freshFolder(argc, argv, "interactive");
    std::error_code ec;

    // The demo bus up to its second device.
    std::string demo = readText(FS_DIST_DIR "/demo.bus");
    size_t first = demo.find("\ndevice ");
    size_t second = first == std::string::npos ? first : demo.find("\ndevice ", first + 1);
    std::ofstream(folder / "one.bus") << demo.substr(0, second);

    fs::path install = folder / "install";
    fs::create_directories(install, ec);
    for (const auto& entry : fs::directory_iterator(FS_DIST_DIR, ec)) {
        std::string file = entry.path().filename().string();
        if (entry.is_regular_file() && file != "fieldservice" && file != "fieldsim")
            fs::copy_file(entry.path(), install / file, ec);
    }
    fs::path link = folder / "bus0";
    std::ofstream(install / "config.ini", std::ios::trunc)
        << "[BASIC Configurations]\nlanguage=eng\nserial_port=1\nconnect_on_startup=1\n\n[Port Devices]\ncom1="
        << link.string() << "\n";

    Child sim;
    std::string path;
    fs::path wireLog = folder / "wire.log";
    if (!startFieldsim(sim, {FS_DIST_DIR "/fieldsim", "--pace", "--link", link.string(), "--wire-log",
                             wireLog.string(), (folder / "one.bus").string()},
                       path)) {
        bench::missing(name, "cannot start fieldsim");
        return 1;
    }

    Child program;
    ChildOptions how;
    how.workingDirectory = install.string();
    // The program insists on a window system being named before it starts;
    // the off-screen platform then draws into memory whatever is named.
    how.setEnv = {{"QT_QPA_PLATFORM", "offscreen"}};
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) how.setEnv.push_back({"DISPLAY", ":0"});
    how.stderrFile = (folder / "fieldservice-stderr.txt").string();
    auto start = std::chrono::steady_clock::now();
    if (!program.start({FS_DIST_DIR "/fieldservice"}, how)) {
        bench::missing(name, "cannot start the program");
        return 1;
    }
    // Two polls: connected, and a second of the main window's steady work.
    double connectedAfter = -1;
    while (bench::secondsSince(start) < 60 && program.pid > 0) {
        if (statusPolls(wireLog) >= 2) {
            connectedAfter = bench::secondsSince(start);
            break;
        }
        if (program.wait(0)) break;   // ended early
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    double peak = program.pid > 0 ? residentPeakMiB(program.pid) : -1;
    program.stop();
    sim.stop();
    if (connectedAfter < 0 || peak <= 0) {
        bench::missing(name, "the program did not connect within 60 s (see " + how.stderrFile + ")");
        return 1;
    }
    std::fprintf(stderr, "interactive_memory: connected and polling after %.1f s; VmHWM %.1f MiB, ru_maxrss %.1f MiB\n",
                 connectedAfter, peak, program.peakMiB());
    fs::remove_all(folder, ec);
    bench::figure(name, peak, "MiB", bench::Goal::None, 0, 1);
    return 0;
}
