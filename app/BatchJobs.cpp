#include "app/BatchJobs.h"

#include <cstdio>
#include <filesystem>
#include <set>
#include <vector>

#include "session/AppContext.h"
#include "app/BatchPattern.h"
#include "session/ConnectCommands.h"
#include "session/DeviceSteps.h"
#include "session/JournalEntry.h"
#include "session/PlantTexts.h"
#include "files/JournalRecords.h"
#include "files/FileNames.h"
#include "files/MemoryStream.h"
#include "files/ParameterFiles.h"
#include "files/SafeLoad.h"
#include "link/DeviceLink.h"
#include "platform/Directories.h"
#include "platform/DiskFlush.h"
#include "texts/TextFill.h"

namespace {

constexpr int kDone = 0;
constexpr int kIncomplete = 1;
constexpr int kNotFound = 2;
constexpr uint32_t NO_DEVICE_AT_TEXT = 33292;      // "No device answers at address %s on the bus."
constexpr uint32_t NO_DEVICE_NAMED_TEXT = 33293;   // "No device named %s on the bus."
constexpr uint32_t CONVERTED_TEXT = 33210;   // "Converted %s parameter files into reports in %s"

std::string currentDirectory() {
    std::error_code ec;
    return std::filesystem::current_path(ec).string();
}

// The parameter file a matched name stands for: the job names parameter
// files by their base name, so "unit.DOC" stands for "unit.NFO".
std::string parameterFileFor(const std::string& matched) {
    return withExtension(matched, PARAMETER_EXTENSION);
}

// Steps 2 and 3 of both jobs: change into the path's directory and find what
// its pattern matches there. Empty when either fails (text 2 shown).
std::vector<std::string> enterAndMatch(AppContext& ctx, WorkingDirectory& cwd, const std::string& path) {
    std::vector<std::string> files;
    if (cwd.enter(batchDirectory(path))) files = matchingFiles(path);
    if (files.empty()) ctx.showText(2);
    return files;
}

// Reports are derived from their parameter files, so each one is put in
// place (whole, by rename) without waiting for the disk, and the job waits
// once at the end for all of them: one flush instead of one per file.
int convertFiles(AppContext& ctx, const std::vector<std::string>& files) {
    int status = kDone;
    bool written = false;
    // "unit.NFO" and "unit.DOC" both stand for unit.NFO: convert it once.
    std::set<std::string> converted;
    for (const std::string& file : files) {
        std::string parameterFile = parameterFileFor(file);
        if (!converted.insert(parameterFile).second) continue;
        MemoryStream stream;
        if (!readSealedFile(ctx, parameterFile, stream) ||
            !writeReport(ctx, parameterFile, stream, true, Durability::Deferred)) {
            status = kIncomplete;   // skipped after the message it showed
            continue;
        }
        written = true;
    }
    // The reports lie in the current directory, the job's directory.
    if (written && !flushFileSystemOf(".")) {
        ctx.showText(4);
        status = kIncomplete;
    }
    // A job that did all it was asked says so in one line.
    if (status == kDone)
        ctx.showMessage(fillText(ctx.message(CONVERTED_TEXT), {std::to_string(converted.size()), currentDirectory()}),
                        MessageIcon::Information);
    return status;
}

// The bus list entry of the chosen device; 0 when the scan did not find it
// (after its message).
unsigned chosenEntry(AppContext& ctx, const DeviceChoice& choice) {
    DeviceLink& link = ctx.link;
    for (unsigned i = 1; i <= link.BusListCount(); ++i) {
        if (choice.address >= 0 && link.BusEntryAddress(i) != choice.address) continue;
        if (!choice.name.empty() && trimmedDeviceName(link.BusEntryName(i)) != trimmedDeviceName(choice.name)) continue;
        return i;
    }
    if (choice.address >= 0) {
        char address[16];
        std::snprintf(address, sizeof address, "%02X", unsigned(choice.address) & 0xFFu);
        ctx.showMessage(fillText(ctx.message(NO_DEVICE_AT_TEXT), {address}));
    } else {
        ctx.showMessage(fillText(ctx.message(NO_DEVICE_NAMED_TEXT), {choice.name}));
    }
    return 0;
}

// The load with its restart and read-back on an open port.
int loadSelected(AppContext& ctx, const std::string& file, BusLoadOutcome& outcome) {
    int status = kIncomplete;
    const SafeLoad load = loadParameterFileSafely(ctx, file);
    outcome.backupPath = load.backupPath;
    // The load leaves extended access open and the device must take its
    // new values: restart it, as the interactive load command does.
    auto restart = [&] {
        bool restarted = RestartDevice(ctx) != 0;
        if (!restarted) ctx.showText(1062);
        return restarted;
    };
    // A file refused before the device was touched needs no restart. A
    // difference or a device that stopped answering during the read-back:
    // the job did not do all it was asked. A load that went in ends with its
    // one summary line.
    if (!load.accessOpened) return status;
    if (!restart()) {
        if (load.loaded) noteRestartLost(load);
        return status;
    }
    if (!load.loaded) return status;
    const bool finished = finishLoad(ctx, load, restart);
    if (ctx.settings.verifyAfterLoad)
        outcome.check = finished ? BusLoadOutcome::Check::Verified : BusLoadOutcome::Check::Differs;
    if (finished) status = kDone;
    return status;
}

int runRequest(AppContext& ctx, const BatchRequest& request, const DeviceChoice& choice) {
    WorkingDirectory cwd;
    std::vector<std::string> files = enterAndMatch(ctx, cwd, request.path);
    if (files.empty()) return kNotFound;
    if (request.kind == BatchKind::Convert) return convertFiles(ctx, files);
    return loadIntoChosenDevice(ctx, batchParameterFile(files.front()), choice);
}

}  // namespace

bool selectChosenDevice(AppContext& ctx, const DeviceChoice& choice) {
    DeviceLink& link = ctx.link;
    ctx.showProgressText(&link.progressCounter, 64, 769);
    int found = link.ScanBus();
    ctx.ui().HideProgress();
    if (found == 0) {
        ctx.showText(19);
        return false;
    }
    unsigned entry = chosenEntry(ctx, choice);
    if (entry == 0) return false;
    if (!link.Select(link.BusEntryAddress(entry))) {
        ctx.showText(3);
        return false;
    }
    link.ReadIdentity(false);
    ctx.showProgressText(&link.progressCounter, link.progressCounter, 770);
    int identified = link.ReadIdentity(true);
    ctx.ui().HideProgress();
    // A device whose version registers cannot be read is not loaded: its
    // name and parameter version would be taken from a stale identity.
    if (!identified) {
        ctx.showText(3);
        return false;
    }
    return true;
}

int loadIntoChosenDevice(AppContext& ctx, const std::string& file, const DeviceChoice& choice,
                         BusLoadOutcome* outcome) {
    BusLoadOutcome own;
    BusLoadOutcome& told = outcome ? *outcome : own;
    DeviceLink& link = ctx.link;
    bool opened = link.Open(ctx.settings.serialPort) != 0;
    int status = kIncomplete;
    if (showPortProblem(ctx)) return status;
    if (selectChosenDevice(ctx, choice)) {
        told.selected = true;
        told.deviceName = link.deviceName;
        told.address = link.selectedAddress;
        JournalVia via(ctx, "batch");
        status = loadSelected(ctx, file, told);
    }
    link.Deselect();
    // A port someone else opened stays open; ours is given back.
    if (opened) link.Close();
    return status;
}

std::string batchParameterFile(const std::string& matched) { return parameterFileFor(matched); }

bool isBatchCommandLine(const std::string& commandLine) {
    return parseBatchCommandLine(commandLine).kind != BatchKind::None;
}

namespace {
constexpr int SEND_AT_END_MS = 3000;
}  // namespace

void sendBeforeTheEnd(AppContext& ctx) {
    if (!ctx.plant || !ctx.plant->active()) return;
    // A job that journaled nothing (a conversion) does not wait for the server.
    if (ctx.journal && ctx.journal->waitingCount() == 0) return;
    ctx.plant->poke();
    PlantSendState state;
    if (ctx.plant->waitIdle(SEND_AT_END_MS)) {
        state = ctx.plant->lastState();
    } else {
        state.problem = PlantProblem::TimedOut;
        state.server = PlantServer(ctx.settings.historyServer).name();
        state.text = "not sent within 3 s";
        state.waiting = -1;
    }
    if (state.problem != PlantProblem::None) ctx.showMessage(plantProblemText(ctx, state));
    if (state.clockSkew >= PLANT_CLOCK_SKEW_TOLD)
        ctx.showMessage(fillText(ctx.message(PLANT_CLOCK_TEXT), {state.server, std::to_string((state.clockSkew + 30) / 60)}),
                        MessageIcon::Information);
}

int runBatchJob(AppContext& ctx, const std::string& commandLine, const DeviceChoice& choice) {
    BatchRequest request = parseBatchCommandLine(commandLine);
    if (request.kind == BatchKind::None) return kDone;
    try {
        const int status = runRequest(ctx, request, choice);
        sendBeforeTheEnd(ctx);
        return status;
    } catch (...) {
        // Out of memory while building names or lists: the job did not complete.
        return kIncomplete;
    }
}
