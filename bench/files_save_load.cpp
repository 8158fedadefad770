// Saving a device's parameter set to a file and loading it back, over the
// in-process bus simulator in real time with 9600-baud byte pacing. Prints
// the time of each step with the number of register reads and writes.
//
//   files_save_load [bus file] [address]     (default: install/demo.bus, 1)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "PacedSession.h"
#include "app/DeviceSteps.h"
#include "files/ParameterFiles.h"

namespace {

struct Step {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    unsigned reads;
    unsigned writes;
    SimDevice& device;
    explicit Step(SimDevice& d) : reads(d.reads), writes(d.writes), device(d) {}
    void report(const char* what) const {
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%-28s %7.2f s  (%u reads, %u writes)\n", what, s, device.reads - reads, device.writes - writes);
    }
};

}  // namespace

int main(int argc, char** argv) {
    bench::PacedSession session;
    session.op.answer = true;
    if (!session.start(argc, argv)) return 1;
    SimDevice* device = session.device;
    uint8_t address = session.address;

    char dirTemplate[] = "/tmp/fs-files-bench-XXXXXX";
    if (!mkdtemp(dirTemplate)) return 1;
    std::string path = std::string(dirTemplate) + "/device.NFO";
    std::printf("device %s at %u: %zu parameters\n", device->name.c_str(), address, device->parameters.size());

    auto whole = std::chrono::steady_clock::now();
    MemoryStream text;
    {
        Step step(*device);
        if (!writeParameterText(text)) return 1;
        step.report("save: read the device");
    }
    {
        Step step(*device);
        if (!writeSealedFile(path, text)) return 1;
        step.report("save: write the files");
    }
    {
        Step step(*device);
        if (!RestartDevice()) return 1;
        step.report("save: restart");
    }
    double saveS = std::chrono::duration<double>(std::chrono::steady_clock::now() - whole).count();

    whole = std::chrono::steady_clock::now();
    {
        Step step(*device);
        if (!loadParameterFile(path)) return 1;
        step.report("load: read file, write device");
    }
    {
        Step step(*device);
        if (!RestartDevice()) return 1;
        step.report("load: restart");
    }
    double loadS = std::chrono::duration<double>(std::chrono::steady_clock::now() - whole).count();
    std::printf("save command: %.2f s, load command: %.2f s (file %ju bytes)\n", saveS, loadS,
                static_cast<uintmax_t>(std::filesystem::file_size(path)));
    std::filesystem::remove_all(dirTemplate);
    return session.op.shown ? 1 : 0;
}
