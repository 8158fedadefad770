// How close the link comes to the wire's own speed: a few hundred register
// reads of 4-digit values from fieldsim on a pseudo-terminal, paced like a
// 9600-baud line. Prints
//   bus efficiency: ratio R cpu C
// R = wall time / wire lower bound (2 ms settle + 1.146 ms per byte sent and
// received + the simulator's turnaround, per read), C = CPU seconds of this
// program per second of bus time.
//
//   bus_efficiency [reads] [fieldsim path]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "FieldsimProcess.h"
#include "link/DeviceLink.h"

namespace {

constexpr double SettleMs = 2.0;
constexpr double ByteMs = 1.146;
constexpr double TurnaroundMs = 0.0;
constexpr int BytesPerRead = 2 + 4;

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    int reads = argc > 1 ? std::atoi(argv[1]) : 300;
    if (reads <= 0 || reads > 4000) reads = 300;
    std::string program = argc > 2 ? argv[2] : FS_DIST_DIR "/fieldsim";

    char dirTemplate[] = "/tmp/fs-bench-XXXXXX";
    if (!mkdtemp(dirTemplate)) return 1;
    std::string busFile = std::string(dirTemplate) + "/bench.bus";
    {
        std::ofstream bus(busFile);
        bus << "device 1 BENCH\nversion 1\n";
        for (int i = 0; i < 64 * 5; ++i) {
            unsigned key = 0x0100 + (i / 64) * 0x100 + (i % 64) * 2;
            char line[64];
            std::snprintf(line, sizeof line, "param %04x 4 %u\n", key, 0x1000u + unsigned(i) * 37);
            bus << line;
        }
    }

    bench::Child child;
    std::string path;
    if (!bench::startFieldsim(child, program, busFile, path)) {
        std::fprintf(stderr, "bus_efficiency: cannot start %s\n", program.c_str());
        return 1;
    }
    DeviceLink link;
    link.setPortResolver([&](unsigned) { return path; });
    if (!link.Open(1) || !link.Select(1)) {
        std::fprintf(stderr, "bus_efficiency: no device on %s\n", path.c_str());
        return 1;
    }
    link.connected = 1;
    if (!link.OpenParameterAccess(false)) {
        std::fprintf(stderr, "bus_efficiency: no parameter access\n");
        return 1;
    }

    int failures = 0;
    double cpuBefore = cpuSeconds();
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < reads; ++i) {
        int slot = i % (64 * 5);
        unsigned key = 0x0100 + (slot / 64) * 0x100 + (slot % 64) * 2;
        uint32_t value = link.ReadRegister(key);
        if (link.errorFlag() != 0 || value != 0x1000u + unsigned(slot) * 37 || link.digitCount() != 4) ++failures;
    }
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double cpu = cpuSeconds() - cpuBefore;
    link.Close();
    unlink(busFile.c_str());
    rmdir(dirTemplate);

    double bound = reads * (SettleMs + BytesPerRead * ByteMs + TurnaroundMs) / 1000.0;
    std::printf("bus efficiency: ratio %.3f cpu %.3f\n", wall / bound, cpu / wall);
    std::fprintf(stderr, "%d reads in %.3f s (wire bound %.3f s), %.3f CPU s, %d failed\n", reads, wall, bound,
                 cpu, failures);
    return failures ? 1 : 0;
}
