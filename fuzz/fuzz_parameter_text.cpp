// The load's check and applyParameterText on a small simulated device. A
// text the check refuses must leave the device untouched; one it passes may
// only stop for what the device alone can tell.
#include <memory>

#include "FuzzSupport.h"
#include "files/ParameterFiles.h"
#include "link/DeviceLink.h"
#include "sim/Simulator.h"

namespace {

const char* kBus =
    "device 5 FUZZDEV\n pversion 3\n password 4\n param 0100 4 1000\n param 0102 onoff on\n"
    " param 0104 2 55 ext\n param 0106 8 7\n end 0108\n";

struct Bench {
    Simulator sim;
    DeviceLink link;
    SimDevice* device = nullptr;
    Bench() {
        std::string error;
        if (!sim.load(kBus, error)) std::abort();
        sim.logging = false;
        sim.attach(link);
        link.Open(1);
        if (link.ScanBus() != 1 || !link.Select(5) || !link.ReadIdentity(true)) std::abort();
        device = sim.device(5);
    }
    // Back to the device as it was, selected at address 5.
    void reset() {
        device->address = 5;
        device->password = 4;
        device->access = false;
        device->extendedAccess = false;
        device->writes = 0;
        link.selectedAddress = 5;
        link.password = 4;
        link.parameterAccess = 0;
        link.Deselect();
        if (!link.Select(5)) std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QuietOperator& op = installQuietOperator();
    static Bench bench;
    setDeviceLink(&bench.link);
    bench.reset();

    std::string text(reinterpret_cast<const char*>(data), size);
    // Most inputs would stop at the name; half of them get past it.
    if (size > 0 && (data[0] & 1)) text = "#NAME: FUZZDEV \n" + text.substr(1);
    op.answer = size > 1 && (data[1] & 1);

    bool wellFormed = parameterTextWellFormed(text);
    MemoryStream stream;
    stream.write(text);
    applyParameterText(stream);
    if (!wellFormed && bench.device->writes != 0) std::abort();
    return 0;
}
