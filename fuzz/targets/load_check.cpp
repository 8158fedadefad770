// The check a parameter text passes before loading writes to a device, and
// the load behind it on a small simulated device. A text the check refuses
// leaves the device untouched; one it passes stops as malformed only where
// the device alone can tell (a word where the device holds a number), never
// when every value is a number.
//
// Input: byte 0 bit 0 puts "#NAME: FUZZDEV " in front of the rest (most
// texts would stop at the name otherwise); byte 1 bit 0 answers the question
// about a different parameter version with Yes.
#include <string_view>

#include "FuzzCheck.h"
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "files/ParameterFiles.h"
#include "files/ParameterKeys.h"
#include "files/ScanfLike.h"
#include "link/DeviceLink.h"
#include "support/SimAttach.h"

namespace {

const char* BUS =
    "device 5 FUZZDEV\n pversion 3\n password 4\n param 0100 4 1000\n param 0102 onoff on\n"
    " param 0104 2 55 ext\n param 0106 8 7\n end 0108\n";

struct Bench {
    Simulator sim;
    DeviceLink link;
    SimDevice* device = nullptr;
    Bench() {
        std::string error;
        if (!sim.load(BUS, error)) std::abort();
        sim.logging = false;
        attachSim(sim, link);
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

bool everyValueANumber(std::string_view text) {
    for (size_t at = text.find(KEY_DATA); at != std::string_view::npos; at = text.find(KEY_DATA, at + KEY_SIZE))
        if (!scanDecimal(text.substr(at + KEY_SIZE))) return false;
    return true;
}

}  // namespace

void fuzzLoadCheck(const uint8_t* data, size_t size) {
    static Bench bench;
    static std::unique_ptr<AppContext> context = makeFuzzContext(bench.link);
    AppContext& ctx = *context;
    QuietOperator& op = quietStart(ctx);
    bench.reset();

    std::string text(reinterpret_cast<const char*>(data), size);
    if (size > 0 && (data[0] & 1)) text = "#NAME: FUZZDEV \n" + text.substr(1);
    op.answer = size > 1 && (data[1] & 1);

    bool wellFormed = parameterTextWellFormed(text);
    MemoryStream stream;
    stream.write(text);
    bool loaded = applyParameterText(ctx, stream);
    if (!wellFormed) {
        FUZZ_CHECK(!loaded);
        FUZZ_CHECK(bench.device->writes == 0);
        return;
    }
    if (everyValueANumber(text)) FUZZ_CHECK(!op.showedText(32783));
}
