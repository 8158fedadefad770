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

#include "app/AppState.h"
#include "app/DeviceSteps.h"
#include "files/ParameterFiles.h"
#include "link/DeviceLink.h"
#include "sim/Simulator.h"

#ifndef FS_SOURCE_DIR
#define FS_SOURCE_DIR "."
#endif

namespace {

class SilentOperator : public Operator {
public:
    unsigned shown = 0;
    void message(const std::string&, const std::string& text, MessageIcon) override {
        ++shown;
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
    bool question(const std::string&, const std::string&) override { return true; }
    std::optional<std::string> chooseOpenFile(const FileChoice&) override { return std::nullopt; }
    std::optional<std::string> chooseSaveFile(const FileChoice&) override { return std::nullopt; }
    void ShowProgress(uint32_t* counter, uint32_t, const std::string&) override {
        if (counter) *counter = 0;
    }
    void HideProgress() override {}
};

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
    std::string busFile = argc > 1 ? argv[1] : FS_SOURCE_DIR "/install/demo.bus";
    uint8_t address = static_cast<uint8_t>(argc > 2 ? std::atoi(argv[2]) : 1);

    Simulator sim(false);   // real time, bytes paced like a 9600-baud wire
    sim.logging = false;
    std::string error;
    if (!sim.loadFile(busFile, error)) {
        std::fprintf(stderr, "%s: %s\n", busFile.c_str(), error.c_str());
        return 2;
    }
    SimDevice* device = sim.device(address);
    if (!device) {
        std::fprintf(stderr, "no device at address %u\n", address);
        return 2;
    }
    DeviceLink link;
    sim.attach(link);
    SilentOperator op;
    FrameState owner;
    setDeviceLink(&link);
    setOperator(&op);
    setFrame(&owner);
    if (!link.Open(1)) return 1;
    // The bus list entry a scan would have found; the scan itself is not timed here.
    char entry[16];
    std::snprintf(entry, sizeof entry, "%02x>", address);
    link.busList[0] = entry + device->name;
    link.busListCount = 1;
    if (!link.Select(address) || !link.ReadIdentity(true)) {
        std::fprintf(stderr, "the device does not answer\n");
        return 1;
    }

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
    return op.shown ? 1 : 0;
}
