// How long a bus scan takes over a pseudo-terminal: fieldsim paced like a
// 9600-baud line, once with the demo bus and once with a bus without
// devices. An empty address costs a release (20 ms of listening for
// silence) and a select (50 ms for an answer), so an empty bus takes about
// 64 x 72 ms.
//
//   scan_time [fieldsim path] [demo bus file]
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "FieldsimProcess.h"
#include "link/DeviceLink.h"

namespace {

// Seconds for one ScanBus over the bus file, and the devices found; -1 when
// the simulator or the port cannot be had.
double timeScan(const std::string& program, const std::string& busFile, int& found) {
    bench::Child child;
    std::string path;
    if (!bench::startFieldsim(child, program, busFile, path)) return -1;
    DeviceLink link;
    link.setPortResolver([&](unsigned) { return path; });
    if (!link.Open(1)) return -1;
    auto start = std::chrono::steady_clock::now();
    found = link.ScanBus();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    link.Close();
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    std::string program = argc > 1 ? argv[1] : FS_DIST_DIR "/fieldsim";
    std::string demo = argc > 2 ? argv[2] : FS_DIST_DIR "/demo.bus";

    char dirTemplate[] = "/tmp/fs-scan-XXXXXX";
    if (!mkdtemp(dirTemplate)) return 1;
    std::string empty = std::string(dirTemplate) + "/empty.bus";
    std::ofstream(empty) << "# no devices\n";

    int demoFound = 0, emptyFound = 0;
    double demoSeconds = timeScan(program, demo, demoFound);
    double emptySeconds = timeScan(program, empty, emptyFound);
    unlink(empty.c_str());
    rmdir(dirTemplate);
    if (demoSeconds < 0 || emptySeconds < 0) {
        std::fprintf(stderr, "scan_time: cannot run %s\n", program.c_str());
        return 1;
    }
    std::printf("scan: demo bus %.2f s (%d devices), empty bus %.2f s (%d devices)\n", demoSeconds, demoFound,
                emptySeconds, emptyFound);
    return 0;
}
