// Fault soak of saving and loading parameter files: cycle after cycle, the
// pump controller of the demo bus gets new values, is saved to a parameter
// file and loaded from one, through the save and load commands of the main
// window, on a line that loses, garbles and drops bytes. A clean twin of the
// bus (same values, no faults, same seed clock) says what every save must
// write. Every outcome is checked against what the operator was told.
//
//   fault_soak [CYCLES [FAULT_PERCENT [SEED]]]     defaults: 10 cycles, 2 %, seed 1
//
// ctest runs a short form (20 cycles). The long form, by hand (about half a
// minute: the line runs on a virtual clock):
//
//   nice -n 10 timeout 3600 build/tests/fault_soak 200 2 1
//
// FAULT_PERCENT is shared out over the simulator's fault kinds (no answer,
// broken marks, corrupt acknowledgement, parity, framing, dropped byte); the
// summary gives the share of answers actually hit. FS_SOAK_TRACE=N prints
// every failure message and the wire log of cycle N.
//
// Exit status 0 when every check held, 1 on any violation (each printed as
// it happens), 2 for bad arguments, 3 when a step hung (the watchdog).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "session/AppContext.h"
#include "files/AtomicFile.h"
#include "files/LocalDate.h"
#include "files/ParameterFiles.h"
#include "soak/SoakSupport.h"
#include "support/SimFixture.h"
#include "support/Support.h"
#include "texts/TextTable.h"

namespace {

using namespace soak;

constexpr uint8_t PumpAddress = 1;
// Message texts the save and load commands give when they stop.
constexpr uint32_t TextLineFailed = 3;
constexpr uint32_t TextFileFailed = 4;
constexpr uint32_t TextNoAccess = 1057;
constexpr uint32_t TextRestartLost = 1062;
constexpr uint32_t TextBadFile = 32783;
constexpr uint32_t TextOtherDevice = 32784;

struct Totals {
    unsigned cycles = 0;
    unsigned savesOk = 0, savesFailed = 0;
    unsigned loadsOk = 0, loadsFailed = 0, loadsSkipped = 0;
    unsigned partialLoadsOk = 0;   // of files that list only some parameters
    unsigned restartsLost = 0, reconnects = 0;
    unsigned hardFaults = 0;   // a muted parameter or a failing disk, now and then
    unsigned violations = 0;
    FaultCounts faults;
    double longestSaveS = 0, longestLoadS = 0;   // virtual seconds
    std::map<std::string, unsigned> failureTexts;
};

class Soak {
public:
    Soak(unsigned cycles, double faultPercent, uint32_t seed, const LanguageTexts& texts)
        : cycles_(cycles), faultPercent_(faultPercent), seed_(seed), rng_(seed) {
        for (SimFixture* bus : {&field_, &clean_}) {
            bus->holdStill();   // every value saved is checked against the device's
            bus->ctx.texts = texts;
            bus->ctx.settings.windowTitle = texts.messages.Lookup(0) + " " + versionText;
        }
    }

    int run();

private:
    // The commands that follow run on this bus's context.
    void use(SimFixture& bus) { ctx_ = &bus.ctx; }
    void violation(unsigned cycle, const std::string& what) {
        ++totals_.violations;
        std::printf("VIOLATION cycle %u: %s\n", cycle, what.c_str());
        std::fflush(stdout);
    }
    SimDevice& pump(SimFixture& bus) { return *bus.device(PumpAddress); }
    void faultsOn(unsigned cycle);
    void faultsOff();
    bool reconnect(unsigned cycle);
    void scramble();
    // Now and then a fault no retry outlasts, so that failures and what they
    // leave behind are checked too: a parameter that stops answering, or
    // (saves only) a disk that fails while the report or the parameter file
    // is written. Returns what was done, empty for nothing.
    std::string hardFault(bool saving);
    void clearHardFault();
    // The failure texts among the messages shown, counted; any other message
    // is a violation. restartLost: text 1062 was among them.
    bool classify(unsigned cycle, const char* step, const std::vector<uint32_t>& allowed, bool& restartLost);
    void checkOperatorTidy(unsigned cycle, const char* step);
    // Runs a save or load command on the faulty line, with now and then a
    // hard fault, the operator choosing file; what the hard fault was ("" for
    // none). The step's virtual duration raises longest.
    std::string faultyStep(unsigned cycle, unsigned faultSeed, const char* step, const std::string& file,
                           void (*command)(AppContext&), double& longest);
    // Ten attempts per request outlast these fault rates by far: a step that
    // gives up, or a device reported lost after its restart, with nothing
    // but line faults to blame, has a fault of its own.
    void lineFaultsAlone(unsigned cycle, const char* step, const std::string& hard, bool failed, bool restartLost);
    void checkNoTemporaryFiles(unsigned cycle);
    void save(unsigned cycle);
    void addPartialFile(unsigned cycle, const std::string& text);
    void load(unsigned cycle);
    void printSummary() const;

    unsigned cycles_;
    double faultPercent_;
    uint32_t seed_;
    std::mt19937 rng_;
    Totals totals_;
    TempDir dir_;
    TempDir cleanDir_;
    SimFixture field_{demoBusPath()};
    SimFixture clean_{demoBusPath()};
    struct GoodFile {
        std::string path;
        FileValues values;
    };
    std::vector<GoodFile> pool_;     // every file a save reported as written, verified
    std::string lastSaved_;          // this cycle's, when written
    AppContext* ctx_ = &field_.ctx;
    Watchdog watchdog_;
    const char* trace_ = std::getenv("FS_SOAK_TRACE");
};

void Soak::faultsOn(unsigned cycle) {
    // The rate is split over the kinds; the per-byte kinds are rolled for
    // every byte of an answer (two on average here) or every request byte
    // (dropByte, about three per answer), so they get less per roll.
    uint32_t share = uint32_t(faultPercent_ * 10000.0 / 6.0);
    FaultOptions f;
    f.seed = seed_ * 7919u + cycle;
    f.noAnswer = share;
    f.corruptAck = share;
    f.brokenMarks = share / 2;
    f.parity = share / 2;
    f.framing = share / 2;
    f.dropByte = share / 5;
    field_.faults(f);
}

void Soak::faultsOff() {
    addCounts(totals_.faults, field_.sim.wire.faultCounts());
    field_.faultsOff();
}

bool Soak::reconnect(unsigned cycle) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        watchdog_.step("reconnect, cycle " + std::to_string(cycle));
        field_.link.Close();
        if (field_.connect(PumpAddress)) {
            ++totals_.reconnects;
            return true;
        }
    }
    return false;
}

std::string Soak::hardFault(bool saving) {
    if (rng_() % 8 != 0) return {};
    ++totals_.hardFaults;
    unsigned kind = saving ? rng_() % 3 : 0;
    if (kind == 0) {
        auto& parameters = pump(field_).parameters;
        auto it = std::next(parameters.begin(), long(rng_() % parameters.size()));
        pump(field_).mutedKeys.insert(it->first);
        char text[48];
        std::snprintf(text, sizeof text, "parameter %04x muted", it->first);
        return text;
    }
    const std::string ext = kind == 1 ? ".DOC" : ".NFO";
    const std::string folder = dir_.path() + "/";
    setFileWriteFault([ext, folder](const std::string& path) {
        return path.compare(0, folder.size(), folder) == 0 && path.size() > 4 && path.substr(path.size() - 4) == ext;
    });
    return "writing " + ext + " fails";
}

void Soak::clearHardFault() {
    pump(field_).mutedKeys.clear();
    setFileWriteFault(nullptr);
}

void Soak::scramble() {
    for (auto& [key, p] : pump(field_).parameters) p.value = randomValue(rng_, p);
}

bool Soak::classify(unsigned cycle, const char* step, const std::vector<uint32_t>& allowed, bool& restartLost) {
    bool failed = false;
    restartLost = false;
    for (const auto& message : field_.op.messages) {
        if (trace_) std::printf("cycle %u: %s showed \"%s\"\n", cycle, step, message.text.c_str());
        // A file message names its file on a second line.
        RecordingOperator::Shown shown = message;
        shown.text = shown.text.substr(0, shown.text.find("\r\n\r\n"));
        bool known = false;
        if (!shown.text.empty() && shown.text == ctx_->texts.messages.Lookup(TextRestartLost)) {
            restartLost = true;
            known = true;
        }
        // A load that went in says so (33029); one stopped says where (33424, 33426).
        known = known || filledFrom(ctx_->texts.messages.Lookup(33029), shown.text);
        for (uint32_t n : {33424u, 33426u})
            if (filledFrom(ctx_->texts.messages.Lookup(n), shown.text) && (failed = known = true))
                ++totals_.failureTexts[std::string(step) + " text " + std::to_string(n)];
        for (uint32_t n : allowed) {
            if (!shown.text.empty() && shown.text == ctx_->texts.messages.Lookup(n)) {
                failed = known = true;
                ++totals_.failureTexts[std::string(step) + " text " + std::to_string(n)];
            }
        }
        if (!known) violation(cycle, std::string(step) + " showed an unexpected message: \"" + shown.text + "\"");
    }
    for (const auto& question : field_.op.questions)
        if (question.text.find(" already exists. ") == std::string::npos &&
            !filledFrom(ctx_->texts.messages.Lookup(33200), question.text))   // the load's question
            violation(cycle, std::string(step) + " asked: \"" + question.text + "\"");
    return failed;
}

void Soak::lineFaultsAlone(unsigned cycle, const char* step, const std::string& hard, bool failed,
                           bool restartLost) {
    if (failed && hard.empty())
        violation(cycle, std::string("the ") + step + " gave up on line faults alone: \"" +
                             field_.op.messages.front().text + "\"");
    if (restartLost) violation(cycle, std::string("the device was reported lost after the ") + step + "'s restart");
}

void Soak::checkOperatorTidy(unsigned cycle, const char* step) {
    if (field_.op.progressDepth != 0 || field_.op.progressMisused)
        violation(cycle, std::string(step) + " left the progress window unbalanced");
    if (!field_.frame.idle) violation(cycle, std::string(step) + " left the window busy");
}

void Soak::checkNoTemporaryFiles(unsigned cycle) {
    for (const auto& [name, content] : snapshot(dir_.path())) {
        if (name.empty() || name[0] == '.' || name.find(".tmp") != std::string::npos)
            violation(cycle, "temporary file left behind: " + name);
    }
}

std::string Soak::faultyStep(unsigned cycle, unsigned faultSeed, const char* step, const std::string& file,
                             void (*command)(AppContext&), double& longest) {
    use(field_);
    field_.op.clear();
    field_.op.files.push_back(file);
    // A save over an earlier pair of its name asks before replacing each.
    field_.op.answers = {true, true};
    faultsOn(faultSeed);
    std::string hard = hardFault(std::strcmp(step, "save") == 0);
    int64_t startNs = field_.sim.clock->nowNs();
    watchdog_.step(std::string(step) + ", cycle " + std::to_string(cycle));
    command(*ctx_);
    faultsOff();
    clearHardFault();
    longest = std::max(longest, double(field_.sim.clock->nowNs() - startNs) / 1e9);
    checkOperatorTidy(cycle, step);
    return hard;
}

void Soak::save(unsigned cycle) {
    lastSaved_.clear();
    // A few names in turn, so a failing save meets an earlier pair of its name.
    std::string name = "slot" + std::to_string(rng_() % 4);
    std::string path = dir_.file(name);
    // Both twins seal with the same seed, so their files compare byte for byte.
    field_.ctx.seedClock = clean_.ctx.seedClock = std::make_shared<FixedClock>(0x5000 + int64_t(cycle) * 0x10101);

    // The clean twin first: the same values, no faults.
    for (auto& [key, p] : pump(field_).parameters) pump(clean_).parameter(key)->value = p.value;
    use(clean_);
    clean_.op.clear();
    std::string cleanPath = cleanDir_.file(name);
    std::remove((cleanPath + ".NFO").c_str());
    std::remove((cleanPath + ".DOC").c_str());
    clean_.op.files.push_back(cleanPath);
    watchdog_.step("clean save, cycle " + std::to_string(cycle));
    saveParameterFile(*ctx_);
    if (!clean_.op.messages.empty()) {
        violation(cycle, "the clean save showed \"" + clean_.op.messages.front().text + "\"");
        return;
    }
    const std::string cleanFile = readFile(cleanPath + ".NFO");
    const std::string cleanReport = readFile(cleanPath + ".DOC");
    MemoryStream cleanStream;
    if (!readSealedFile(*ctx_, cleanPath, cleanStream)) {
        violation(cycle, "the clean save's file does not verify");
        return;
    }
    std::string cleanText(cleanStream.length(), '\0');
    cleanStream.seek(0);
    cleanStream.read(cleanText.data(), cleanText.size());

    // The save on the faulty line.
    auto before = snapshot(dir_.path());
    std::string hard = faultyStep(cycle, cycle, "save", path, saveParameterFile, totals_.longestSaveS);

    bool restartLost = false;
    bool failed = classify(cycle, "save", {TextLineFailed, TextFileFailed, TextNoAccess}, restartLost);
    if (restartLost) ++totals_.restartsLost;
    auto after = snapshot(dir_.path());
    if (!hard.empty() && !failed) violation(cycle, "the save succeeded although " + hard);
    lineFaultsAlone(cycle, "save", hard, failed, restartLost);
    if (failed) {
        ++totals_.savesFailed;
        // Nothing written, nothing replaced: an earlier pair stays as it was.
        if (after != before) violation(cycle, "a failed save changed the folder (" + name + ")");
    } else {
        ++totals_.savesOk;
        const std::string file = readFile(path + ".NFO");
        if (file != cleanFile) violation(cycle, "saved " + name + ".NFO differs from the clean save");
        if (readFile(path + ".DOC") != cleanReport) violation(cycle, "saved " + name + ".DOC differs from the clean report");
        MemoryStream stream;
        RecordingOperator quiet;
        Operator& shown = ctx_->ui();
        ctx_->setOperator(&quiet);
        bool verified = readSealedFile(*ctx_, path, stream);
        ctx_->setOperator(&shown);
        std::string text(stream.length(), '\0');
        stream.seek(0);
        stream.read(text.data(), text.size());
        if (!verified) violation(cycle, "saved " + name + ".NFO does not verify");
        else if (text != cleanText)
            violation(cycle, "saved " + name + ".NFO holds another parameter text than the clean save (" +
                                 firstDifference(text, cleanText) + ")");
        // Only the chosen pair may have changed.
        auto others = after;
        auto earlier = before;
        for (const char* ext : {".NFO", ".DOC"}) {
            others.erase(name + ext);
            earlier.erase(name + ext);
        }
        if (others != earlier) violation(cycle, "the save of " + name + " changed other files");
        // The name now holds this file: its earlier entry goes, good or not.
        std::erase_if(pool_, [&](const GoodFile& g) { return g.path == path; });
        FileValues values;
        if (verified && file == cleanFile && parseParameterText(text, values)) {
            pool_.push_back({path, values});
            lastSaved_ = path;
            if (rng_() % 4 == 0) addPartialFile(cycle, text);
        }
    }
    checkNoTemporaryFiles(cycle);
}

// A file that lists only some of the parameters, sealed by the program's own
// writer, as a hand-edited file would be: a load must clear the others.
void Soak::addPartialFile(unsigned cycle, const std::string& text) {
    // The unsealed content ends with the file's own "#END.: " line, which is
    // no part of the text (the editor cuts it off the same way).
    std::string partial;
    std::istringstream lines(text.substr(0, text.find("#END.: ")));
    std::string line;
    bool first = true;
    while (std::getline(lines, line)) {
        if (line.compare(0, 7, "#CODE: ") == 0 && rng_() % 3 == 0) continue;
        if (!first) partial += '\n';
        partial += line;
        first = false;
    }
    std::string path = dir_.file("part" + std::to_string(rng_() % 3));
    FileValues values;
    MemoryStream stream;
    stream.write(partial);
    RecordingOperator quiet;
    Operator& shown = ctx_->ui();
    ctx_->setOperator(&quiet);
    bool written = writeSealedFile(*ctx_, path, stream);
    MemoryStream back;
    bool verified = written && readSealedFile(*ctx_, path, back);
    std::string backText(back.length(), '\0');
    back.seek(0);
    back.read(backText.data(), backText.size());
    ctx_->setOperator(&shown);
    // The unsealed content is the text with the file's line feeds and its
    // "#END.: " line around it.
    if (written && (!verified || backText.find(partial) == std::string::npos))
        violation(cycle, "a file sealed by the program does not read back (" +
                             (verified ? std::string("another text") : quiet.texts().front()) + ")");
    if (written && !parameterTextWellFormed(partial)) violation(cycle, "the partial text is not well formed");
    std::erase_if(pool_, [&](const GoodFile& g) { return g.path == path; });
    if (!written || !parseParameterText(partial, values)) {
        violation(cycle, "a partial file could not be written");
        return;
    }
    pool_.push_back({path, values});
}

void Soak::load(unsigned cycle) {
    if (pool_.empty()) {
        ++totals_.loadsSkipped;
        return;
    }
    // This cycle's file or an earlier one.
    const GoodFile* chosen = &pool_[rng_() % pool_.size()];
    if (!lastSaved_.empty() && rng_() % 2 == 0)
        for (const auto& g : pool_)
            if (g.path == lastSaved_) chosen = &g;
    // Other values in the device first, so a value the load leaves out shows.
    scramble();

    auto before = snapshot(dir_.path());
    std::string hard = faultyStep(cycle, cycle + 0x8000, "load", chosen->path + ".NFO",
                                  loadParameterFileCommand, totals_.longestLoadS);

    bool restartLost = false;
    bool failed = classify(cycle, "load",
                           {TextLineFailed, TextFileFailed, TextNoAccess, TextBadFile, TextOtherDevice}, restartLost);
    if (restartLost) ++totals_.restartsLost;
    if (snapshot(dir_.path()) != before) violation(cycle, "a load changed the folder");
    if (!hard.empty() && !failed) violation(cycle, "the load succeeded although " + hard);
    lineFaultsAlone(cycle, "load", hard, failed, restartLost);
    if (failed) {
        ++totals_.loadsFailed;
        return;
    }
    ++totals_.loadsOk;
    if (chosen->path.find("/part") != std::string::npos) ++totals_.partialLoadsOk;
    // Exactly the file's values, read from the device's own registers; every
    // parameter the file leaves out cleared.
    SimDevice* device = field_.device(PumpAddress);
    if (!device) {
        violation(cycle, "the load moved the pump controller off its address");
        return;
    }
    if (device->address != chosen->values.address) violation(cycle, "the load left another bus address");
    if (device->password != chosen->values.password) violation(cycle, "the load left another password");
    unsigned wrong = 0;
    std::string first;
    for (const auto& [key, p] : device->parameters) {
        auto it = chosen->values.values.find(key);
        uint32_t expected = it == chosen->values.values.end() ? 0 : it->second;
        if (p.value != expected) {
            if (!wrong++) {
                char buffer[96];
                std::snprintf(buffer, sizeof buffer, "%04x is %u, the file says %u", key, p.value, expected);
                first = buffer;
            }
        }
    }
    for (const auto& [key, value] : chosen->values.values)
        if (!device->parameter(key)) ++wrong, first = first.empty() ? "the file lists a parameter the device lacks" : first;
    if (wrong)
        violation(cycle, "a load reported as complete left " + std::to_string(wrong) + " values other than the file's (" +
                             first + ")");
}

void Soak::printSummary() const {
    const FaultCounts& f = totals_.faults;
    std::printf("cycles %u\n", totals_.cycles);
    std::printf("saves ok %u, failed %u\n", totals_.savesOk, totals_.savesFailed);
    std::printf("loads ok %u (%u of partial files), failed %u, skipped %u\n", totals_.loadsOk, totals_.partialLoadsOk,
                totals_.loadsFailed, totals_.loadsSkipped);
    std::printf("restarts lost %u, reconnects %u, hard faults %u\n", totals_.restartsLost, totals_.reconnects,
                totals_.hardFaults);
    std::printf("faults injected %llu in %llu answers (%.2f %%): no answer %llu, broken marks %llu, corrupt ack %llu, "
                "parity %llu, framing %llu, dropped to bus %llu, dropped from bus %llu\n",
                (unsigned long long)f.total(), (unsigned long long)f.answers,
                f.answers ? 100.0 * double(f.total()) / double(f.answers) : 0.0, (unsigned long long)f.noAnswer,
                (unsigned long long)f.brokenMarks, (unsigned long long)f.corruptAck, (unsigned long long)f.parity,
                (unsigned long long)f.framing, (unsigned long long)f.droppedToBus, (unsigned long long)f.droppedFromBus);
    for (const auto& [text, count] : totals_.failureTexts) std::printf("  %s: %u\n", text.c_str(), count);
    std::printf("longest save %.1f s, longest load %.1f s (virtual time)\n", totals_.longestSaveS, totals_.longestLoadS);
    std::printf("violations %u\n", totals_.violations);
}

int Soak::run() {
    if (!field_.error.empty() || !clean_.error.empty()) {
        std::fprintf(stderr, "demo bus: %s%s\n", field_.error.c_str(), clean_.error.c_str());
        return 2;
    }
    // The wire log would grow by every byte of every cycle.
    field_.sim.logging = false;
    clean_.sim.logging = false;
    use(clean_);
    if (!clean_.connect(PumpAddress)) {
        std::fprintf(stderr, "the clean twin does not connect\n");
        return 2;
    }
    use(field_);
    if (!field_.connect(PumpAddress)) {
        std::fprintf(stderr, "the pump controller does not connect\n");
        return 2;
    }
    for (unsigned cycle = 1; cycle <= cycles_; ++cycle) {
        if (!field_.frame.deviceSelected || !field_.link.connected) {
            use(field_);
            faultsOn(cycle + 0x10000);
            bool back = reconnect(cycle);
            faultsOff();
            if (!back) {
                violation(cycle, "the pump controller cannot be reached again");
                break;
            }
        }
        // FS_SOAK_TRACE=N prints what was said and, for cycle N, every byte on the wire.
        bool traced = trace_ && unsigned(std::atoi(trace_)) == cycle;
        field_.sim.clearLog();
        field_.sim.logging = traced;
        scramble();
        save(cycle);
        if (!field_.frame.deviceSelected) {
            use(field_);
            faultsOn(cycle + 0x18000);
            bool back = reconnect(cycle);
            faultsOff();
            if (!back) {
                violation(cycle, "the pump controller cannot be reached again");
                break;
            }
        }
        load(cycle);
        checkNoTemporaryFiles(cycle);
        if (traced)
            for (const auto& e : field_.sim.log)
                std::printf("%12.6f %c %02x%s%s\n", double(e.atNs) / 1e9, e.fromMaster ? '>' : '<', e.byte,
                            e.parity ? " parity" : "", e.framing ? " framing" : "");
        ++totals_.cycles;
    }
    printSummary();
    return totals_.violations ? 1 : 0;
}

bool argument(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == 0 && value >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    double cycles = 10, percent = 2, seed = 1;
    if (argc > 4 || (argc > 1 && !argument(argv[1], cycles)) || (argc > 2 && !argument(argv[2], percent)) ||
        (argc > 3 && !argument(argv[3], seed)) || percent > 50) {
        std::fprintf(stderr, "usage: fault_soak [CYCLES [FAULT_PERCENT [SEED]]]\n");
        return 2;
    }
    LanguageTexts texts;
    if (!texts.messages.Load(std::string(FS_SOURCE_DIR) + "/install/messages.eng") ||
        !texts.parameters.Load(std::string(FS_SOURCE_DIR) + "/install/parameters.eng")) {
        std::fprintf(stderr, "the language files of install/ cannot be read\n");
        return 2;
    }
    // Reports carry the date: one date for the whole run, so the clean twin's
    // files match even across midnight.
    setLocalDateSource([] { return LocalDate{8, 12, 2026}; });
    int status = 0;
    {
        Soak soak(unsigned(cycles), percent, uint32_t(seed), texts);
        status = soak.run();
    }
    setLocalDateSource(nullptr);
    return status;
}
