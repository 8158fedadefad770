#include "app/OptionsModel.h"

#include "app/Installation.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "session/AppContext.h"
#include "platform/NetworkPort.h"
#include "platform/PortDevices.h"
#include "texts/TextFill.h"

namespace {

constexpr const char* kSection = "BASIC Configurations";
constexpr const char* kPortSection = "Port Devices";
constexpr const char* kMessagesPrefix = "messages.";
constexpr int kPortCount = 24;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string lowerCase(std::string s) {
    for (char& c : s) c = lower(c);
    return s;
}

bool beginsWithIgnoringCase(const std::string& text, const std::string& prefix) {
    if (prefix.size() > text.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[i]) != lower(prefix[i])) return false;
    return true;
}

}  // namespace

std::vector<std::string> languageCodes(const std::string& dir) {
    namespace fs = std::filesystem;
    std::vector<std::string> codes;
    std::error_code ec;
    fs::directory_iterator it(dir.empty() ? fs::path(".") : fs::path(dir), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        std::string name = it->path().filename().string();
        // "messages.*" names the files (the loader opens them by that exact
        // name); the code is everything after the first point, so
        // "messages.eng.old" offers "eng.old".
        if (name.rfind(kMessagesPrefix, 0) != 0) continue;
        std::string code = lowerCase(name.substr(std::string(kMessagesPrefix).size()));
        if (code.empty()) continue;   // "messages." names no language
        codes.push_back(code);
    }
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    return codes;
}

int findLanguageEntry(const std::vector<std::string>& codes, const std::string& language) {
    int count = int(codes.size());
    for (int step = 0; step < count; ++step) {
        int index = (1 + step) % count;
        if (beginsWithIgnoringCase(codes[index], language)) return index;
    }
    return -1;
}

std::vector<std::string> portNames() {
    std::vector<std::string> names;
    for (int port = 1; port <= kPortCount; ++port) {
        char name[8];
        std::snprintf(name, sizeof name, "COM %02d", port);
        names.emplace_back(name);
    }
    return names;
}

int portEntry(unsigned port) {
    return (port >= 1 && port <= unsigned(kPortCount)) ? int(port) - 1 : -1;
}

PortWords portWords(const std::function<std::string(uint32_t)>& text) {
    return {text(0x8122), text(0x8123), text(0x8124), text(0x8125), text(0x812a), text(0x812b), text(0x81F7)};
}

std::string portDetail(const PortEntry& entry, const PortWords& words) {
    if (isNetworkPortPath(entry.device)) return entry.device + " (" + words.network + ")";
    return entry.device + " (" + (entry.present ? words.present : words.absent) + ")";
}

std::string deviceText(const SerialDevice& device, const PortWords& words) {
    switch (device.kind) {
    case SerialKind::BuiltIn:
        return device.path + "  " + words.builtIn;
    case SerialKind::PlatformUart:
        return device.path + "  " + fillText(words.uart, {device.hardware});
    case SerialKind::Bluetooth:
        return device.path + "  " + fillText(words.bluetooth, {device.hardware});
    case SerialKind::Usb:
        break;
    }
    std::string about;
    // Some makers repeat their name at the start of the product string.
    const std::string& maker = device.manufacturer;
    if (!maker.empty() && device.product.rfind(maker, 0) == 0) about = device.product;
    else if (maker.empty() || device.product.empty()) about = maker + device.product;
    else about = maker + " " + device.product;
    if (about.empty()) about = device.vendorId + ":" + device.productId;
    if (!device.serial.empty()) about += ", " + fillText(words.serial, {device.serial});
    return device.path + "  " + about;
}

PortChoices::PortChoices(SettingsProfile profile, SerialRoots roots)
    : profile_(std::move(profile)) {
    scan_.roots = std::move(roots);
    refresh();
}

void PortChoices::refresh() {
    scan_ = scanSerialDevices(scan_.roots);
    update();
}

void PortChoices::update() {
    const std::vector<std::string> names = portNames();
    ports_.clear();
    for (size_t i = 0; i < names.size(); ++i) {
        const unsigned port = unsigned(i + 1);
        PortEntry entry;
        entry.name = names[i];
        auto chosen = chosen_.find(port);
        entry.changed = chosen != chosen_.end();
        entry.device = entry.changed ? chosen->second : portDevicePath(profile_, port);
        entry.present = serialDevicePresent(scan_, entry.device);
        ports_.push_back(std::move(entry));
    }
}

int PortChoices::deviceEntry(int portEntry) const {
    if (portEntry < 0 || portEntry >= int(ports_.size())) return -1;
    return findSerialDevice(scan_, ports_[portEntry].device);
}

bool PortChoices::choose(int portEntry, int deviceEntry) {
    if (portEntry < 0 || portEntry >= int(ports_.size())) return false;
    if (deviceEntry < 0 || deviceEntry >= int(scan_.devices.size())) return false;
    chosen_[unsigned(portEntry + 1)] = scan_.devices[deviceEntry].stablePath();
    update();
    return true;
}

bool PortChoices::choosePath(int portEntry, const std::string& path) {
    // Blanks around a pasted path are no part of it.
    const size_t first = path.find_first_not_of(" \t");
    if (portEntry < 0 || portEntry >= int(ports_.size()) || first == std::string::npos) return false;
    const size_t last = path.find_last_not_of(" \t");
    chosen_[unsigned(portEntry + 1)] = path.substr(first, last - first + 1);
    update();
    return true;
}

void applyOptions(Settings& state, const std::vector<std::string>& codes, const OptionsChoice& choice,
                  const std::function<bool()>& reload,
                  const std::function<void(const std::string& file)>& writeFailed) {
    if (choice.languageEntry >= 0 && choice.languageEntry < int(codes.size()))
        state.language = codes[choice.languageEntry];
    state.language = lowerCase(state.language);
    bool portChosen = choice.portEntry >= 0 && choice.portEntry < kPortCount;
    state.serialPort = portChosen ? uint8_t(choice.portEntry + 1) : 0;
    state.connectOnStartup = choice.connectOnStartup;
    state.backupBeforeLoad = choice.backupBeforeLoad;
    state.verifyAfterLoad = choice.verifyAfterLoad;
    state.confirmSaveReads = choice.confirmSaveReads;

    // Every key is tried even after a failure: what can be kept is kept.
    const SettingsProfile profile = state.profile();
    bool written = true;
    auto write = [&](const char* section, const std::string& key, const std::string& value) {
        written = profile.write(section, key, value) && written;
    };
    write(kSection, "language", state.language);
    write(kSection, "serial_port", std::to_string(state.serialPort));
    write(kSection, "connect_on_startup", state.connectOnStartup ? "1" : "0");
    for (const auto& [port, device] : choice.portDevices) write(kPortSection, "com" + std::to_string(port), device);
    write(kSection, "backup_before_load", state.backupBeforeLoad ? "1" : "0");
    write(kSection, "verify_after_load", state.verifyAfterLoad ? "1" : "0");
    write(kSection, "confirm_save_reads", state.confirmSaveReads ? "1" : "0");
    // The history's keys are written when they leave their defaults or are
    // there already; the default location follows the user's data folder.
    const std::string database =
        choice.historyDatabase == historyDatabasePath(state, {}) ? std::string() : choice.historyDatabase;
    auto present = [&](const char* key) { return !profile.readString(kSection, key, "").empty(); };
    if (!choice.historyJournal || present(HISTORY_JOURNAL_KEY))
        write(kSection, HISTORY_JOURNAL_KEY, choice.historyJournal ? "1" : "0");
    if (!database.empty() || present(HISTORY_DATABASE_KEY)) write(kSection, HISTORY_DATABASE_KEY, database);
    if (!choice.historyServer.empty() || present(HISTORY_SERVER_KEY))
        write(kSection, HISTORY_SERVER_KEY, choice.historyServer);
    if (!choice.tlsCaFile.empty() || present(TLS_CA_FILE_KEY)) write(kSection, TLS_CA_FILE_KEY, choice.tlsCaFile);
    // The loader reads back what the files hold, so the choice the operator
    // sees after a failure is the one that will count next time.
    if (!written && writeFailed) writeFailed(profile.writtenFile());
    if (reload) reload();
}
