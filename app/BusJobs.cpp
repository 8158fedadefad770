#include "app/BusJobs.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "app/Application.h"
#include "app/BatchJobs.h"
#include "app/BatchPattern.h"
#include "app/BusOperator.h"
#include "app/BusTable.h"
#include "app/CommandLine.h"
#include "app/Installation.h"
#include "app/PortList.h"
#include "app/SaveTargets.h"
#include "files/FileNames.h"
#include "files/Format.h"
#include "files/LocalDate.h"
#include "files/MemoryStream.h"
#include "files/ParameterFiles.h"
#include "link/DeviceLink.h"
#include "session/PlantSender.h"
#include "session/ServiceJournal.h"
#include "platform/Directories.h"
#include "platform/NetworkIdentity.h"
#include "platform/StderrOperator.h"
#include "session/AppContext.h"
#include "session/ConnectCommands.h"
#include "session/DeviceSteps.h"
#include "texts/TextEncoding.h"

namespace {

constexpr int kDone = 0;
constexpr int kIncomplete = 1;
constexpr int kBadUsage = 2;
// Each bus is a thread with a link (and its worker), a journal connection
// and a port of its own, all at once; more buses than a bench row can hold
// are more likely a list gone wrong than a plan.
constexpr size_t MAX_BUSES = 32;


constexpr uint32_t PORT_COLUMN = 33280;
constexpr uint32_t DEVICE_COLUMN = 33281;
constexpr uint32_t RESULT_COLUMN = 33282;
constexpr uint32_t BACKUP_COLUMN = 33283;
constexpr uint32_t SAVED_COLUMN = 33284;
constexpr uint32_t CHECK_COLUMN = 33285;
constexpr uint32_t LOADED_WORD = 33286;
constexpr uint32_t SAVED_WORD = 33287;
constexpr uint32_t FAILED_WORD = 33288;
constexpr uint32_t VERIFIED_WORD = 33289;
constexpr uint32_t DIFFERS_WORD = 33290;
constexpr uint32_t UNCHECKED_WORD = 33291;

// What one bus came to.
struct BusResult {
    int status = kIncomplete;
    BusLoadOutcome outcome;
    std::string file;   // the saved file (a save) or the backup (a load)
};

bool refuse(const std::string& why) {
    std::cerr << "fieldservice: " + why + '\n';
    return false;
}

// The parameter file of the load, as an absolute path: the buses' threads
// must never change the process's directory. Empty after text 2.
std::string fileToLoad(AppContext& ctx, const std::string& path) {
    WorkingDirectory cwd;
    std::vector<std::string> files;
    if (cwd.enter(batchDirectory(path))) files = matchingFiles(path);
    if (files.empty()) {
        ctx.showText(2);
        return {};
    }
    std::error_code ec;
    return std::filesystem::absolute(batchParameterFile(files.front()), ec).string();
}

// The save of one bus: the device's parameter file and report under a name
// of its own, the file read back against what was read from the device,
// and the restart that closes the access the reading opened.
int saveOnBus(AppContext& ctx, const DeviceChoice& choice, SaveTargets& targets, BusResult& result) {
    DeviceLink& link = ctx.link;
    bool opened = link.Open(ctx.settings.serialPort) != 0;
    if (showPortProblem(ctx)) return kIncomplete;
    int status = kIncomplete;
    if (selectChosenDevice(ctx, choice)) {
        result.outcome.selected = true;
        result.outcome.deviceName = link.deviceName;
        result.outcome.address = link.selectedAddress;
        const NameClaim claim =
            targets.claim(link.deviceName, link.selectedAddress, currentLocalDate(), ctx.settings.busFileTag);
        const std::string file = claim.stem.empty() ? std::string() : claim.parameterFile();
        MemoryStream stream;
        ReadNotes notes;
        bool saved = !file.empty() && writeParameterFileTo(ctx, file, stream, &notes);
        if (saved && !readNotesText(ctx.texts, notes).empty())
            ctx.showMessage(readNotesText(ctx.texts, notes), MessageIcon::Information);
        if (file.empty()) ctx.showMessage(claimFailureText(ctx.texts, claim));
        if (!saved && !file.empty()) dropEmptyClaim(file);
        if (saved) {
            result.file = file;
            // The file unseals to its whole content, the parameter text inside it.
            MemoryStream back;
            bool same = readSealedFile(ctx, file, back) && back.str().find(stream.str()) != std::string::npos;
            result.outcome.check = same ? BusLoadOutcome::Check::Verified : BusLoadOutcome::Check::Differs;
            saved = same;
        }
        bool restarted = RestartDevice(ctx) != 0;
        if (!restarted) ctx.showText(1062);
        if (saved && restarted) status = kDone;
    }
    link.Deselect();
    if (opened) link.Close();
    return status;
}

// One bus's job on its own thread: a link, an operator and a context of
// its own; the settings and texts are copies of the ones loaded at start.
void runBus(const AppContext& base, const std::string& port, const CommandLine& args, const std::string& loadFile,
            SaveTargets* targets, bool several, std::mutex& stderrLock, BusResult& result) {
    try {
        DeviceLink link;
        BusOperator op(port, std::cerr, stderrLock);
        AppContext ctx(link, &op);
        ctx.settings = base.settings;
        ctx.texts = base.texts;
        ctx.settings.portOverride = port;
        // With several buses each file the job makes says which bus it came from.
        if (several) ctx.settings.busFileTag = portFileNamePart(port);
        useSettingsPorts(link, ctx.settings);
        // Each bus journals through a connection of its own; the database
        // takes the writers one after the other.
        ServiceJournal journal;
        journal.configure(ctx.settings.journalPath, ctx.settings.journalEnabled);
        ctx.journal = &journal;
        const DeviceChoice choice{args.address, args.deviceName};
        if (targets) {
            result.status = saveOnBus(ctx, choice, *targets, result);
        } else {
            result.status = loadIntoChosenDevice(ctx, loadFile, choice, &result.outcome);
            result.file = result.outcome.backupPath;
        }
    } catch (...) {
        // Out of memory or no thread resources: this bus did not complete.
        result.status = kIncomplete;
    }
}

std::string deviceCell(const BusLoadOutcome& outcome) {
    if (!outcome.selected) return "-";
    return trimmedDeviceName(outcome.deviceName) + " (" + formatText("%02X", unsigned(outcome.address)) + ")";
}

std::string resultTable(const AppContext& ctx, const std::vector<std::string>& ports,
                        const std::vector<BusResult>& results, bool saving) {
    auto text = [&ctx](uint32_t n) { return languageTextAsUtf8(ctx.message(n)); };
    std::vector<std::vector<std::string>> rows;
    rows.push_back({text(PORT_COLUMN), text(DEVICE_COLUMN), text(RESULT_COLUMN),
                    text(saving ? SAVED_COLUMN : BACKUP_COLUMN), text(CHECK_COLUMN)});
    for (size_t i = 0; i < ports.size(); ++i) {
        const BusResult& r = results[i];
        const uint32_t done = saving ? SAVED_WORD : LOADED_WORD;
        std::string check = "-";
        if (r.outcome.check == BusLoadOutcome::Check::Verified) check = text(VERIFIED_WORD);
        else if (r.outcome.check == BusLoadOutcome::Check::Differs) check = text(DIFFERS_WORD);
        else if (r.status == kDone) check = text(UNCHECKED_WORD);
        rows.push_back({ports[i], deviceCell(r.outcome), text(r.status == kDone ? done : FAILED_WORD),
                        r.file.empty() ? "-" : r.file, check});
    }
    return alignedTable(rows);
}

// The buses as the command line names them; false after the reason. A
// network address no bus could use, too many buses or a bus named twice
// stop the job before any port is opened.
bool busPorts(AppContext& ctx, const CommandLine& args, std::vector<std::string>& ports) {
    std::string error;
    if (!args.portsFile.empty() && !readPortList(args.portsFile, ports, error)) return refuse(error);
    if (args.portsFile.empty()) ports = args.ports;
    if (ports.size() > MAX_BUSES)
        return refuse(std::to_string(ports.size()) + " ports given; a job works with at most " +
                      std::to_string(MAX_BUSES) + " buses at once: split the list");
    for (const std::string& port : ports) {
        if (looksLikeNetworkUrl(port) && networkAddressFault(port) != NetworkAddressFault::None) {
            ctx.showMessage(badNetworkAddressText(ctx, port));
            return false;
        }
    }
    error = portNamedTwice(ports);
    return error.empty() || refuse(error);
}

bool folderWritable(const std::string& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0 || refuse("cannot write files in " + folder);
}

}  // namespace

int runBusJobs(const CommandLine& args) {
    // The installation is read once; every bus works with a copy of it.
    DeviceLink noDevice;
    StderrOperator stderrOperator;
    AppContext base(noDevice, &stderrOperator);
    if (!InitInstallation(base.settings)) return kIncomplete;
    loadInstallationCore(base);

    std::vector<std::string> ports;
    if (!busPorts(base, args, ports)) return kBadUsage;
    const bool saving = !args.savePattern.empty();
    std::unique_ptr<SaveTargets> targets;
    if (saving) {
        targets = std::make_unique<SaveTargets>(args.savePattern);
        if (!folderWritable(targets->folder())) return kBadUsage;
    }
    std::string loadFile;
    if (!saving) {
        loadFile = fileToLoad(base, parseBatchCommandLine(args.line).path);
        if (loadFile.empty()) return kBadUsage;
    }

    std::vector<BusResult> results(ports.size());
    std::mutex stderrLock;
    {
        std::vector<std::thread> buses;
        buses.reserve(ports.size());
        for (size_t i = 0; i < ports.size(); ++i) {
            try {
                buses.emplace_back(runBus, std::cref(base), std::cref(ports[i]), std::cref(args),
                                   std::cref(loadFile), targets.get(), ports.size() > 1, std::ref(stderrLock),
                                   std::ref(results[i]));
            } catch (const std::system_error&) {
                // The buses started so far are writing: this line waits its turn.
                std::lock_guard<std::mutex> hold(stderrLock);
                refuse("no thread for the bus on " + ports[i]);   // the bus stays "failed"
            }
        }
        for (std::thread& bus : buses) bus.join();
    }

    std::cout << resultTable(base, ports, results, saving);
    std::cout.flush();
    // The buses' entries go to the plant's server before the job ends.
    ServiceJournal journal(base.settings.journalPath, base.settings.journalEnabled);
    PlantSender plant;
    plant.configure(base.settings.journalPath, base.settings.journalEnabled, base.settings.historyServer);
    base.journal = &journal;
    base.plant = &plant;
    sendBeforeTheEnd(base);
    for (const BusResult& r : results)
        if (r.status != kDone) return kIncomplete;
    return kDone;
}
