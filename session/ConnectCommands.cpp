#include "session/ConnectCommands.h"

#include "link/DeviceLink.h"
#include "platform/NetworkIdentity.h"
#include "platform/NetworkPort.h"
#include "platform/SerialPorts.h"
#include "session/AppContext.h"
#include "session/PortLoss.h"
#include "texts/TextFill.h"

namespace {
constexpr uint32_t DEVICE_FAILED_TEXT = 3;
constexpr uint32_t NOTHING_SELECTED_TEXT = 18;
constexpr uint32_t NO_DEVICE_TEXT = 19;
constexpr uint32_t SCAN_CAPTION_TEXT = 769;
constexpr uint32_t IDENTITY_CAPTION_TEXT = 770;
constexpr uint32_t BUS_ADDRESSES = 64;
// Why a port would not open.
constexpr uint32_t PORT_MISSING_TEXT = 0x8110;
constexpr uint32_t PORT_NO_PERMISSION_GROUP_TEXT = 0x8111;
constexpr uint32_t PORT_NO_PERMISSION_TEXT = 0x8112;
constexpr uint32_t PORT_IN_USE_BY_TEXT = 0x8113;
constexpr uint32_t PORT_IN_USE_BY_PROCESS_TEXT = 0x8114;
constexpr uint32_t PORT_IN_USE_TEXT = 0x8115;
constexpr uint32_t PORT_NOT_SERIAL_TEXT = 0x8116;
constexpr uint32_t PORT_SETTINGS_TEXT = 0x8117;
constexpr uint32_t PORT_FAILED_TEXT = 0x8118;
constexpr uint32_t PORT_NO_HARDWARE_TEXT = 0x8119;
constexpr uint32_t PORT_NO_HARDWARE_NO_ADAPTER_TEXT = 0x811A;
constexpr uint32_t PORT_MEMBER_NEXT_LOGIN_TEXT = 0x811E;
constexpr uint32_t PORT_CONSOLE_TEXT = 0x811F;
// Why a port on the network would not open; each names the address.
constexpr uint32_t NET_BAD_ADDRESS_TEXT = 0x81F0;
constexpr uint32_t NET_HOST_UNKNOWN_TEXT = 0x81F1;
constexpr uint32_t NET_REFUSED_TEXT = 0x81F2;
constexpr uint32_t NET_NO_ANSWER_TEXT = 0x81F3;
constexpr uint32_t NET_STALLED_TEXT = 0x81F4;
constexpr uint32_t NET_SETTINGS_TEXT = 0x81F5;
constexpr uint32_t NET_LOOKUP_TIMED_OUT_TEXT = 0x82A0;
constexpr uint32_t NET_NOT_TELNET_TEXT = 0x82A1;
constexpr uint32_t NET_NO_COM_PORT_TEXT = 0x82A2;
constexpr uint32_t NET_LINK_LOCAL_TEXT = 0x82A3;
constexpr uint32_t NET_CLOSED_AT_ONCE_TEXT = 0x82A4;
constexpr uint32_t NET_REMOTE_IN_USE_TEXT = 0x82A5;
constexpr uint32_t NET_TLS_NOT_SPOKEN_TEXT = 0x82A6;
constexpr uint32_t NET_TLS_EXPIRED_TEXT = 0x82A7;
constexpr uint32_t NET_TLS_AUTHORITY_TEXT = 0x82A8;
constexpr uint32_t NET_TLS_HOST_TEXT = 0x82A9;
constexpr uint32_t NET_TLS_FAILED_TEXT = 0x82AA;
constexpr uint32_t NET_CLOSED_IN_NEGOTIATION_TEXT = 0x82AB;
constexpr uint32_t NET_USER_IN_ADDRESS_TEXT = 0x82B0;   // the general rule, and that a user name has no place
constexpr uint32_t NET_HOST_TOO_LONG_TEXT = 0x82B1;     // "... its host name has %s characters ..."

// The serial devices present, each by the name to choose in the options and
// what it is, joined for a message; empty when there are none. The port that
// failed is left out.
std::string presentAdapters(const SerialRoots& roots, const std::string& failedPath) {
    const SerialScan scan = scanSerialDevices(roots);
    const int failed = findSerialDevice(scan, failedPath);
    std::string list;
    for (size_t i = 0; i < scan.devices.size(); ++i) {
        if (int(i) == failed) continue;
        const SerialDevice& d = scan.devices[i];
        std::string entry = d.stablePath();
        std::string what = d.manufacturer;
        if (!d.product.empty()) what += (what.empty() ? "" : " ") + d.product;
        if (!what.empty()) entry += " (" + what + ")";
        list += (list.empty() ? "" : ", ") + entry;
    }
    return list;
}
}  // namespace

std::string badNetworkAddressText(const AppContext& ctx, const std::string& path) {
    switch (networkAddressFault(path)) {
    case NetworkAddressFault::UserInfo:
        return fillText(ctx.message(NET_USER_IN_ADDRESS_TEXT), {path});
    case NetworkAddressFault::HostTooLong: {
        // Its head and its port name it well enough on one line.
        std::string tail = path.substr(path.rfind(':'));
        if (tail.size() > 6) tail.clear();
        return fillText(ctx.message(NET_HOST_TOO_LONG_TEXT),
                        {path.substr(0, 48) + "..." + tail, std::to_string(networkHostPart(path).size())});
    }
    default: {
        NetworkAddress address;
        PortProblem problem = PortProblem::BadAddress;
        std::string detail;
        parseNetworkAddress(path, address, problem, detail);
        if (problem == PortProblem::LinkLocalNoScope) return fillText(ctx.message(NET_LINK_LOCAL_TEXT), {path, ""});
        return fillText(ctx.message(NET_BAD_ADDRESS_TEXT), {path, detail.empty() ? "?" : detail});
    }
    }
}

std::string portProblemText(const AppContext& ctx, const PortOpenFailure& failure) {
    const std::string& path = failure.path;
    const std::string& detail = failure.detail;
    // A server's own words, when it had any, in brackets after the sentence they belong to.
    const std::string said = detail.empty() ? std::string() : " (\"" + detail + "\")";
    auto text = [&](uint32_t n, std::initializer_list<std::string> values) {
        return fillText(ctx.message(n), values);
    };
    switch (failure.problem) {
    case PortProblem::None:
        return {};
    case PortProblem::Missing:
        return text(PORT_MISSING_TEXT, {path});
    case PortProblem::NoPermission:
        // Joining a group that may not use the port would not help.
        if (failure.group.empty() || !failure.groupMayUse) return text(PORT_NO_PERMISSION_TEXT, {path});
        if (failure.memberNextLogin) return text(PORT_MEMBER_NEXT_LOGIN_TEXT, {path, failure.group});
        return text(PORT_NO_PERMISSION_GROUP_TEXT, {path, failure.group});
    case PortProblem::InUse: {
        const std::string pid = std::to_string(failure.holderPid);
        if (failure.console && failure.holderPid > 0)
            return text(PORT_CONSOLE_TEXT, {path, failure.holder.empty() ? "getty" : failure.holder, pid});
        if (failure.holderPid > 0 && !failure.holder.empty())
            return text(PORT_IN_USE_BY_TEXT, {path, failure.holder, pid});
        if (failure.holderPid > 0) return text(PORT_IN_USE_BY_PROCESS_TEXT, {path, pid});
        return text(PORT_IN_USE_TEXT, {path});
    }
    case PortProblem::NotSerial:
        return text(PORT_NOT_SERIAL_TEXT, {path});
    case PortProblem::SettingsRefused:
        return isNetworkPortPath(path) ? text(NET_SETTINGS_TEXT, {path, detail}) : text(PORT_SETTINGS_TEXT, {path});
    case PortProblem::BadAddress:
        return badNetworkAddressText(ctx, path);
    case PortProblem::HostUnknown:
        return text(NET_HOST_UNKNOWN_TEXT, {path, detail});
    case PortProblem::Refused:
        return text(NET_REFUSED_TEXT, {path, detail});
    case PortProblem::NoAnswer:
        return text(NET_NO_ANSWER_TEXT, {path, detail});
    case PortProblem::Stalled:
        return text(NET_STALLED_TEXT, {path, detail});
    case PortProblem::LookupTimedOut:
        return text(NET_LOOKUP_TIMED_OUT_TEXT, {path, detail});
    case PortProblem::NotTelnet:
        return text(NET_NOT_TELNET_TEXT, {path, said});
    case PortProblem::NoComPortOption:
        return text(NET_NO_COM_PORT_TEXT, {path});
    case PortProblem::LinkLocalNoScope:
        return text(NET_LINK_LOCAL_TEXT, {path, detail});
    case PortProblem::ClosedAtOnce:
        return text(NET_CLOSED_AT_ONCE_TEXT, {path, said});
    case PortProblem::RemoteInUse:
        return text(NET_REMOTE_IN_USE_TEXT, {path, detail});
    case PortProblem::TlsNotSpoken:
        return text(NET_TLS_NOT_SPOKEN_TEXT, {path});
    case PortProblem::TlsExpired:
        return text(NET_TLS_EXPIRED_TEXT, {path, detail});
    case PortProblem::TlsUnknownAuthority:
        return text(NET_TLS_AUTHORITY_TEXT, {path, detail});
    case PortProblem::TlsHostMismatch:
        return text(NET_TLS_HOST_TEXT, {path, detail});
    case PortProblem::TlsFailed:
        return text(NET_TLS_FAILED_TEXT, {path, detail});
    case PortProblem::ClosedInNegotiation:
        return text(NET_CLOSED_IN_NEGOTIATION_TEXT, {path, detail});
    case PortProblem::NoHardware: {
        const std::string adapters = presentAdapters(ctx.settings.serialRoots, path);
        if (adapters.empty()) return text(PORT_NO_HARDWARE_NO_ADAPTER_TEXT, {path});
        return text(PORT_NO_HARDWARE_TEXT, {path, adapters});
    }
    case PortProblem::Other:
        break;
    }
    return text(PORT_FAILED_TEXT, {path});
}

bool showPortProblem(AppContext& ctx) {
    const PortOpenFailure& failure = ctx.link.openFailure();
    if (ctx.link.isOpen() || failure.problem == PortProblem::None) return false;
    ctx.showMessage(portProblemText(ctx, failure));
    return true;
}

std::vector<std::string> scanForDevices(AppContext& ctx, bool* stopped) {
    DeviceLink& link = ctx.link;
    // The window's Cancel sets the link's own stop request, read between addresses.
    ctx.ui().ShowCancellableProgress(&link.progressCounter, BUS_ADDRESSES, ctx.message(SCAN_CAPTION_TEXT),
                                     &link.scanStop);
    const int found = link.ScanBus();
    const bool cut = link.scanStopped;
    ctx.ui().HideProgress();
    if (stopped) *stopped = cut;

    std::vector<std::string> entries;
    for (int i = 1; i <= found; ++i) entries.push_back(link.BusEntry(static_cast<unsigned>(i)));
    if (entries.empty() && !cut) ctx.showText(NO_DEVICE_TEXT);
    return entries;
}

bool selectListedDevice(AppContext& ctx, int line) {
    DeviceLink& link = ctx.link;
    FrameState& frame = ctx.window();
    bool identified = false;
    if (line >= 0) {
        frame.deviceSelected = false;
        const uint8_t address = link.BusEntryAddress(static_cast<unsigned>(line) + 1);
        if (link.Select(address)) {
            // The counting pass leaves the number of registers the full read takes.
            link.ReadIdentity(false);
            ctx.showProgressText(&link.progressCounter, link.progressCounter, IDENTITY_CAPTION_TEXT);
            identified = link.ReadIdentity(true) != 0;
            ctx.ui().HideProgress();
            frame.deviceSelected = identified;
        }
    }
    if (!identified) ctx.showText(DEVICE_FAILED_TEXT);
    return identified;
}

bool connectCommand(AppContext& ctx, uint8_t serialPort, DeviceChooser& chooser) {
    DeviceLink& link = ctx.link;
    FrameState& frame = ctx.window();
    // An open port is not reopened; the scan then runs on it. A port that
    // would not open says why: "no device found" would send the operator
    // to the cable.
    link.Open(serialPort);
    if (showPortProblem(ctx)) {
        frame.RenderPanel();
        return false;
    }
    forgetPortLoss(ctx);
    bool stopped = false;
    const std::vector<std::string> entries = scanForDevices(ctx, &stopped);
    if (!entries.empty()) {
        auto tryLine = [&](int line) { return selectListedDevice(ctx, line); };
        // With exactly one device, OK is pressed at once; a failure leaves the
        // list up for another try.
        if (!(entries.size() == 1 && !stopped && tryLine(0))) chooser.choose(entries, tryLine);
    }
    frame.RenderPanel();
    return frame.deviceSelected;
}

void disconnectCommand(AppContext& ctx) {
    DeviceLink& link = ctx.link;
    FrameState& frame = ctx.window();
    if (frame.deviceSelected) {
        frame.deviceSelected = false;
        link.Deselect();
        frame.RenderPanel();
    } else {
        ctx.showText(NOTHING_SELECTED_TEXT);
    }
    link.Close();
}
