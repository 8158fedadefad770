#include "app/AdapterOffer.h"

#include "app/OptionsModel.h"
#include "link/DeviceLink.h"
#include "platform/PortDevices.h"
#include "session/AppContext.h"
#include "texts/TextFill.h"

namespace {
constexpr uint32_t USE_ADAPTER_TEXT = 0x812c;
}  // namespace

AdapterOffer singleAdapterOffer(const std::string& configuredPath, const SerialScan& scan) {
    const SerialPathState state = serialPathState(scan, configuredPath);
    if (state != SerialPathState::Missing && state != SerialPathState::NoHardware) return {};
    AdapterOffer offer;
    for (size_t i = 0; i < scan.devices.size(); ++i) {
        if (!scan.devices[i].adapter()) continue;
        if (offer.device >= 0) return {};   // two: which one is on the bus is the operator's to say
        offer.device = int(i);
    }
    if (offer.device < 0) return {};
    offer.offer = true;
    offer.path = scan.devices[size_t(offer.device)].stablePath();
    return offer;
}


bool offerSingleAdapter(AppContext& ctx) {
    Settings& state = ctx.settings;
    if (ctx.link.isOpen() || !state.portOverride.empty() || portEntry(state.serialPort) < 0) return false;
    const std::string configured = portDevicePath(state.profile(), state.serialPort);
    const SerialScan scan = scanSerialDevices(state.serialRoots);
    const AdapterOffer offer = singleAdapterOffer(configured, scan);
    if (!offer.offer) return false;

    const PortWords words = portWords([&ctx](uint32_t n) { return ctx.message(n); });
    const std::string port = std::to_string(state.serialPort);
    const std::string question = fillText(ctx.message(USE_ADAPTER_TEXT),
                                          {port, configured, deviceText(scan.devices[size_t(offer.device)], words)});
    if (!ctx.ui().question(state.windowTitle, question)) return false;

    // Written as the options dialog writes it, the other settings as they are;
    // the port mapping is read at each opening, so nothing needs loading again.
    OptionsChoice choice;
    choice.portEntry = portEntry(state.serialPort);
    choice.connectOnStartup = state.connectOnStartup;
    choice.backupBeforeLoad = state.backupBeforeLoad;
    choice.verifyAfterLoad = state.verifyAfterLoad;
    choice.confirmSaveReads = state.confirmSaveReads;
    choice.portDevices[state.serialPort] = offer.path;
    // A settings file that cannot be written is told; the mapping still
    // counts for this run through the connect that follows.
    applyOptions(state, {}, choice, nullptr,
                 [&ctx](const std::string& file) { ctx.showFileText(SETTINGS_NOT_WRITTEN_TEXT, file); });
    return true;
}
