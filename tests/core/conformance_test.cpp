// The real flows against every way a device may answer: one device, set up
// as each variant of answer form and timing the wire allows, run through
// connect, the status poll, the parameter dialog, save, load, the password
// and address changes and the restart. Each row checks what the flow leaves
// in the device, the link and the files, and that the master sent the same
// requests as it does to the plain device: a variant in how a device answers
// must not change what the master asks.
#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <map>
#include <set>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "files_support.h"
#include "files/LocalDate.h"
#include "files/MemoryStream.h"
#include "files/ParameterFiles.h"
#include "link/DeviceLink.h"
#include "params/DeviceCommands.h"
#include "params/ParameterDialogModel.h"
#include "session/ConnectCommands.h"
#include "support/FixedClock.h"
#include "support/SimFixture.h"
#include "wire_tokens.h"

namespace {

// The plain device every variant starts from: an on/off parameter, numbers
// of 2, 4, 6 and 8 digits, a gap at 0106, the 8-digit one at the end of the
// first page, an on/off parameter reachable with extended access only on the
// next page, a password, register 44 but no register 40.
const char* const BaseBus =
    "device 1 PUMP\n"
    " version 3\n release 7\n pversion 2\n"
    " reg44 1234\n"
    " status 5\n"
    " password 1234\n"
    " param 0100 onoff on\n"
    " param 0102 2 200\n"
    " param 0104 4 1000\n"
    " param 0108 6 1193046\n"
    " param 017e 8 4000000000\n"
    " param 0200 onoff off ext\n"
    " param 0202 4 77\n"
    " end 0204\n";

constexpr uint8_t Address = 1;
constexpr uint8_t NewAddress = 0x07;
constexpr uint32_t NewPassword = 777;

// ---- variants ----

struct Variant {
    const char* name;
    void (*apply)(SimDevice&, Simulator&);
    bool zeroPaddedName = false;      // the name reads as "PUMP" and four zero bytes
    bool silentAbsent = false;        // register 40 goes unanswered instead of 0x1E
    bool restartUnacknowledged = false;
    bool dropsByte = false;           // one byte of the flow's first request is lost
    bool strayByte = false;           // the device holds a stray byte when the flow starts
    // The first request goes wrong, so the wire shows retries.
    bool disturbed() const { return dropsByte || strayByte; }
};

void none(SimDevice&, Simulator&) {}

const std::vector<Variant>& variants() {
    static const std::vector<Variant> all = {
        {"base", none},
        {"access_short", [](SimDevice& d, Simulator&) { d.accessReadsShort = true; }},
        {"id_digits2", [](SimDevice& d, Simulator&) { d.identityDigits = 2; }},
        {"id_digits4", [](SimDevice& d, Simulator&) { d.identityDigits = 4; }},
        {"absent_silent", [](SimDevice& d, Simulator&) { d.absentRegistersSilent = true; }, false, true},
        {"name_zero", [](SimDevice& d, Simulator&) { d.nameZeroPadded = true; }, true},
        {"eight_noend", [](SimDevice& d, Simulator&) { d.eightDigitsWithoutEndMark = true; }},
        {"turnaround_0ms", [](SimDevice& d, Simulator&) { d.turnaroundNs = 0; }},
        {"turnaround_20ms", [](SimDevice& d, Simulator&) { d.turnaroundNs = 20'000'000; }},
        {"turnaround_40ms", [](SimDevice& d, Simulator&) { d.turnaroundNs = 40'000'000; }},
        {"bytegap_10ms", [](SimDevice& d, Simulator&) { d.answerByteGapNs = 10'000'000; }},
        {"bytegap_40ms", [](SimDevice& d, Simulator&) { d.answerByteGapNs = 40'000'000; }},
        {"restart_noack", [](SimDevice& d, Simulator&) { d.restartAcknowledged = false; }, false, false, true},
        {"silence_200ms", [](SimDevice& d, Simulator&) { d.restartSilenceNs = 200'000'000; }},
        {"silence_1500ms", [](SimDevice& d, Simulator&) { d.restartSilenceNs = 1'500'000'000; }},
        {"silence_5s", [](SimDevice& d, Simulator&) { d.restartSilenceNs = 5'000'000'000; }},
        {"echo_0ms",
         [](SimDevice&, Simulator& s) {
             s.wire.options.echo = true;
             s.wire.options.echoDelayNs = 0;
         }},
        {"echo_5ms",
         [](SimDevice&, Simulator& s) {
             s.wire.options.echo = true;
             s.wire.options.echoDelayNs = 5'000'000;
         }},
        // One byte of the flow's first request lost on the way, to a device
        // that keeps the broken request for 10 ms (the common device), longer
        // than the master's quiet time after a wrong answer, and longer than
        // its wait for an answer.
        {"hold_10ms_drop", [](SimDevice& d, Simulator&) { d.requestHoldNs = 10'000'000; }, false, false, false, true},
        {"hold_40ms_drop", [](SimDevice& d, Simulator&) { d.requestHoldNs = 40'000'000; }, false, false, false, true},
        {"hold_100ms_drop", [](SimDevice& d, Simulator&) { d.requestHoldNs = 100'000'000; }, false, false, false, true},
        // A device that holds a stray byte reads the next request shifted by
        // one and answers part of it early: the master must keep the line
        // quiet longer than the device's hold before it tries again.
        {"stray_byte", none, false, false, false, false, true},
    };
    return all;
}

const Variant& baseVariant() { return variants().front(); }

// ---- flows ----

enum class Flow { Connect, Poll, Dialog, Save, Load, Password, Address, Restart };

const char* flowName(Flow f) {
    switch (f) {
    case Flow::Connect: return "connect";
    case Flow::Poll: return "poll";
    case Flow::Dialog: return "dialog";
    case Flow::Save: return "save";
    case Flow::Load: return "load";
    case Flow::Password: return "password";
    case Flow::Address: return "address";
    case Flow::Restart: return "restart";
    }
    return "?";
}

void PrintTo(Flow f, std::ostream* os) { *os << flowName(f); }

const Flow allFlows[] = {Flow::Connect, Flow::Poll,     Flow::Dialog,  Flow::Save,
                         Flow::Load,    Flow::Password, Flow::Address, Flow::Restart};

bool restarts(Flow f) {
    return f == Flow::Dialog || f == Flow::Save || f == Flow::Password || f == Flow::Restart;
}

// One device alone on the bus, as the variant makes it, with a context that
// has the shipped message texts, a fixed date and a fixed seed.
struct Bench {
    explicit Bench(const Variant& v) : fx(SimFixture::fromText, BaseBus) {
        fx.ctx.settings.windowTitle = "Field Service v1.10";
        fx.ctx.settings.installDirectory = dir.path();
        fx.ctx.texts.messages.Load(FS_SOURCE_DIR "/install/messages.eng");
        fx.ctx.texts.parameters.Load(FS_SOURCE_DIR "/install/parameters.eng");
        fx.ctx.seedClock = std::make_shared<FixedClock>(TEST_TICKS);
        device = fx.device(Address);
        v.apply(*device, fx.sim);
    }
    TempDir dir;
    SimFixture fx;
    SimDevice* device = nullptr;
    DeviceLink& link() { return fx.link; }
    AppContext& ctx() { return fx.ctx; }
    std::string text(uint32_t n) const { return fx.ctx.message(n); }
};

struct OnlyDevice : DeviceChooser {
    bool choose(const std::vector<std::string>&, const std::function<bool(int)>& tryLine) override {
        return tryLine(0);
    }
};

// What one flow did: the faults it showed, the requests it sent, the files it wrote.
struct FlowRun {
    std::vector<std::string> faults;
    std::vector<std::string> setupFaults;
    std::vector<std::string> wire;
    std::string parameterText;   // save: the text inside the parameter file
    std::string nfo, doc;        // save: the files as written
    uint64_t dropped = 0;

    template <typename A, typename B>
    void same(const std::string& what, const A& got, const B& want) {
        if (got == want) return;
        std::ostringstream s;
        s << what << ": " << got << ", expected " << want;
        faults.push_back(s.str());
    }
    void check(const std::string& what, bool holds) {
        if (!holds) faults.push_back(what);
    }
    void messages(const RecordingOperator& op, const std::vector<std::string>& want) {
        std::vector<std::string> got = op.texts();
        if (got == want) return;
        std::string s = "messages shown:";
        for (const auto& t : got) s += " [" + t + "]";
        if (got.empty()) s += " none";
        s += ", expected";
        for (const auto& t : want) s += " [" + t + "]";
        if (want.empty()) s += " none";
        faults.push_back(s);
    }
};

std::map<uint32_t, uint32_t> valuesOf(const SimDevice& d) {
    std::map<uint32_t, uint32_t> values;
    for (const auto& [key, p] : d.parameters) values[key] = p.value;
    return values;
}

std::string describe(const std::map<uint32_t, uint32_t>& values) {
    std::ostringstream s;
    for (const auto& [key, value] : values) s << std::hex << key << "=" << std::dec << value << " ";
    return s.str();
}

// Loses the master's byte that follows the next byte the master sends.
// The next byte is the first of a request, so the device keeps that first
// byte and reads whatever follows as the rest of the request.
struct Drop {
    int seen = 0;         // request bytes seen, up to the one after the lost one
    uint64_t lost = 0;    // bytes the wire lost on the way to the bus
};

void dropSecondByteOfNextRequest(Simulator& sim, std::shared_ptr<Drop> drop) {
    auto log = sim.wire.logSink;
    sim.wire.logSink = [&sim, log, drop](const WireLogEntry& e) {
        if (log) log(e);
        if (!e.fromMaster || drop->seen > 2) return;
        // Control bytes (selects, releases) start no request.
        if (drop->seen == 0 && (e.byte & 0x80)) return;
        ++drop->seen;
        if (drop->seen == 3) drop->lost = sim.wire.faultCounts().droppedToBus;   // setFaults clears the counts
        FaultOptions faults;
        if (drop->seen == 2) faults.dropByte = 1000000;   // rolled right after this entry
        sim.wire.setFaults(faults);
    };
}

// Runs the flow: setup (connect and what the flow needs before it starts)
// goes unrecorded; from the flow's first request on, the wire is recorded.
FlowRun perform(const Variant& v, Flow flow) {
    Bench b(v);
    FlowRun r;
    setLocalDateSource([] { return LocalDate{7, 6, 2008}; });
    struct DateBack {
        ~DateBack() { setLocalDateSource(nullptr); }
    } dateBack;
    OnlyDevice chooser;
    RecordingOperator& op = b.fx.op;
    FrameState& frame = b.fx.frame;
    DeviceLink& link = b.link();
    auto drop = std::make_shared<Drop>();
    const std::string name = v.zeroPaddedName ? std::string("PUMP") : std::string("PUMP    ");

    auto begin = [&] {
        op.clear();
        b.fx.sim.clearLog();
        if (v.dropsByte) dropSecondByteOfNextRequest(b.fx.sim, drop);
        if (v.strayByte) b.fx.sim.wire.send(0x50, b.fx.sim.clock->nowNs());
    };
    auto connect = [&] {
        bool ok = connectCommand(b.ctx(), 1, chooser);
        r.check("connectCommand returned false", ok);
        return ok;
    };

    if (flow == Flow::Connect) {
        begin();
        if (connect()) {
            r.check("deviceSelected not set", frame.deviceSelected);
            r.messages(op, {});
            r.same("name", link.Name(), name);
            r.same("address", int(link.Address()), int(Address));
            r.same("version", link.Version(), 3);
            r.same("release", link.Release(), 7);
            r.same("pversion", link.ParameterVersion(), 2);
            r.same("reg40", link.Register40(), -1);
            r.same("reg44", link.Register44(), 1234);
            r.same("password", link.Password(), 1234);
        }
    } else {
        if (!connect()) {
            r.setupFaults = r.faults;
            return r;
        }
        const auto before = valuesOf(*b.device);
        switch (flow) {
        case Flow::Connect: break;
        case Flow::Poll: {
            // Two polls a second apart, as the main window's timer makes them.
            // A lost byte may cost the first one; the next must get the status.
            begin();
            for (int poll = 1; poll <= 2; ++poll) {
                uint32_t status = link.ReadRegister(46);
                if (poll == 1 && v.disturbed()) {
                    b.fx.sim.clock->advanceNs(1'000'000'000);
                    continue;
                }
                r.same("error flag of status read " + std::to_string(poll), link.errorFlag(), 0);
                r.same("status read " + std::to_string(poll), status, 5u);
                b.fx.sim.clock->advanceNs(1'000'000'000);
            }
            break;
        }
        case Flow::Dialog: {
            frame.currentParameterNumber = 0x017e;
            begin();
            ParameterDialogModel m(b.ctx(), 0);
            const ParameterDialogView& view = m.view();
            if (!m.open()) {
                r.faults.push_back("the dialog did not open");
                r.messages(op, {});
                break;
            }
            r.same("first number", view.numberText, "017e");
            r.same("first value", view.valueText, "4000000000");
            m.spinUp();   // over the page boundary to the extended-access on/off parameter
            r.same("number after a step up", view.numberText, "0200");
            r.same("value after a step up", view.valueText, b.text(33));
            m.valueFieldClicked();
            m.send();
            r.check("send still enabled after the on/off send", !view.sendEnabled);
            m.spinDown();   // back over the boundary
            r.same("number after a step down", view.numberText, "017e");
            r.same("value after a step down", view.valueText, "4000000000");
            m.valueFieldChanged("123456789");
            m.send();
            r.check("send still enabled after the numeric send", !view.sendEnabled);
            m.ok();
            r.check("dialog not closed", view.closed);
            r.messages(op, {});
            auto want = before;
            want[0x0200] = 1;
            want[0x017e] = 123456789;
            r.same("values", describe(valuesOf(*b.device)), describe(want));
            break;
        }
        case Flow::Save: {
            op.files.push_back(b.dir.file("unit"));
            begin();
            saveParameterFile(b.ctx());
            r.messages(op, {});
            r.same("values", describe(valuesOf(*b.device)), describe(before));
            MemoryStream back;
            if (readSealedFile(b.ctx(), b.dir.file("unit.NFO"), back)) {
                r.parameterText = back.str();
                r.nfo = readFile(b.dir.file("unit.NFO"));
                r.doc = readFile(b.dir.file("unit.DOC"));
            } else {
                r.faults.push_back("no readable parameter file");
            }
            break;
        }
        case Flow::Load: {
            MemoryStream text;
            bool saved = writeParameterText(b.ctx(), text) && writeSealedFile(b.ctx(), b.dir.file("unit"), text);
            if (!saved) {
                r.faults.push_back("saving the file to load failed: " + (op.texts().empty() ? "" : op.texts().front()));
                r.setupFaults = r.faults;
                return r;
            }
            for (auto& [key, p] : b.device->parameters) p.value = p.onOff() ? !p.value : (p.value == 1 ? 2 : 1);
            begin();
            bool loaded = loadParameterFile(b.ctx(), b.dir.file("unit.NFO"));
            r.check("loadParameterFile returned false", loaded);
            r.messages(op, {});
            r.same("values", describe(valuesOf(*b.device)), describe(before));
            r.same("device password", b.device->password, 1234u);
            r.same("link address", int(link.selectedAddress), int(Address));
            r.check("device no longer at its address", b.fx.device(Address) == b.device);
            break;
        }
        case Flow::Password: {
            begin();
            changePasswordCommand(b.ctx(), true, [](uint32_t) { return std::optional<uint32_t>(NewPassword); });
            r.messages(op, {b.text(1553)});
            r.same("device password", b.device->password, NewPassword);
            r.same("link password", link.password, NewPassword);
            break;
        }
        case Flow::Address: {
            begin();
            changeAddressCommand(b.ctx(), [](uint8_t) { return std::optional<uint8_t>(NewAddress); });
            r.messages(op, {});
            r.check("device not at its new address", b.fx.device(NewAddress) == b.device);
            r.same("link address", int(link.selectedAddress), int(NewAddress));
            uint32_t version = 0;
            r.same("read at the new address", int(link.ReadRegisterRetry(32, version)), 1);
            r.same("version read there", version, 3u);
            break;
        }
        case Flow::Restart: {
            op.answers.push_back(true);
            begin();
            restartCommand(b.ctx());
            r.messages(op, {});
            r.same("link address", int(link.selectedAddress), int(Address));
            break;
        }
        }
        if (restarts(flow)) {
            r.same("device restarts", b.device->restarts, 1u);
            r.check("deviceSelected cleared: the device counts as lost", frame.deviceSelected);
        } else if (flow != Flow::Connect) {
            r.same("device restarts", b.device->restarts, 0u);
        }
    }
    r.check("idle left cleared", frame.idle);
    r.check("progress window misused", !op.progressMisused && op.progressDepth == 0);
    r.wire = wireTokens(b.fx.sim.sentBytes());
    r.dropped = drop->seen >= 3 ? drop->lost : b.fx.sim.wire.faultCounts().droppedToBus;
    return r;
}

// The plain device's run of each flow, done once.
const FlowRun& baseRun(Flow flow) {
    static std::map<Flow, FlowRun> runs;
    auto it = runs.find(flow);
    if (it == runs.end()) it = runs.emplace(flow, perform(baseVariant(), flow)).first;
    return it->second;
}

// What the master must send to the variant, from what it sends to the plain
// device: a register that never answers is read ten times.
std::vector<std::string> expectedWire(const Variant& v, Flow flow, const std::vector<std::string>& base) {
    std::vector<std::string> want;
    for (const auto& t : base) {
        int copies = (v.silentAbsent && flow == Flow::Connect && t == "rd 0028") ? 10 : 1;
        for (int i = 0; i < copies; ++i) want.push_back(t);
    }
    return want;
}

bool wireCompared(const Variant& v, Flow flow) {
    if (v.disturbed()) return false;                      // retries are the point there
    if (v.restartUnacknowledged && restarts(flow)) return false;
    return true;
}

// The parameter text the variant's save must hold, without its checksum
// line: the plain device's, with the name as far as its first zero byte.
std::string withoutChecksum(const std::string& text) { return text.substr(0, text.find("#END.: ")); }

std::string expectedText(const Variant& v, std::string base) {
    base = withoutChecksum(base);
    if (!v.zeroPaddedName) return base;
    const std::string blank = "#NAME: PUMP      ";
    size_t at = base.find(blank);
    if (at != std::string::npos) base.replace(at, blank.size(), "#NAME: PUMP  ");
    return base;
}

using Row = std::tuple<size_t, Flow>;

class Flows : public ::testing::TestWithParam<Row> {};

TEST_P(Flows, Run) {
    const Variant& v = variants()[std::get<0>(GetParam())];
    const Flow flow = std::get<1>(GetParam());
    FlowRun r = perform(v, flow);
    for (const auto& f : r.setupFaults) ADD_FAILURE() << "before the flow: " << f;
    if (!r.setupFaults.empty()) return;
    for (const auto& f : r.faults) ADD_FAILURE() << f;
    if (v.dropsByte) {
        EXPECT_EQ(r.dropped, 1u) << "the byte to lose was not lost";
    }

    const FlowRun& base = baseRun(flow);
    if (&v != &baseVariant() && base.faults.empty() && base.setupFaults.empty()) {
        if (wireCompared(v, flow)) {
            std::string diff = firstDifference(normalisedWire(r.wire), normalisedWire(expectedWire(v, flow, base.wire)));
            EXPECT_TRUE(diff.empty()) << "requests differ from the plain device's: " << diff;
        }
        if (flow == Flow::Save && !r.parameterText.empty()) {
            EXPECT_EQ(withoutChecksum(r.parameterText), expectedText(v, base.parameterText));
            if (!v.zeroPaddedName) {
                EXPECT_TRUE(r.nfo == base.nfo) << "parameter file bytes differ from the plain device's";
                EXPECT_TRUE(r.doc == base.doc) << "report bytes differ from the plain device's";
            }
        }
    }
}

std::vector<Row> rows() {
    std::vector<Row> all;
    for (size_t i = 0; i < variants().size(); ++i)
        for (Flow f : allFlows) all.emplace_back(i, f);
    return all;
}

INSTANTIATE_TEST_SUITE_P(Conformance, Flows, ::testing::ValuesIn(rows()), [](const auto& info) {
    return std::string(variants()[std::get<0>(info.param)].name) + "_" + flowName(std::get<1>(info.param));
});

}  // namespace

// ---- every variant mixed with faults on the line ----

namespace {

// Save, then load what was saved, on a line that loses, breaks and damages
// answers and bytes: whatever happens, each command ends within its bounds
// with one of the outcomes the commands have, hands the window back, and a
// load that was refused wrote no parameter.
class UnderFaults : public ::testing::TestWithParam<std::tuple<size_t, uint32_t>> {};

TEST_P(UnderFaults, EveryCommandEndsWithAnOutcomeOfItsOwn) {
    const Variant& v = variants()[std::get<0>(GetParam())];
    const uint32_t seed = std::get<1>(GetParam());
    Bench b(v);
    setLocalDateSource([] { return LocalDate{7, 6, 2008}; });
    struct DateBack {
        ~DateBack() { setLocalDateSource(nullptr); }
    } dateBack;
    OnlyDevice chooser;
    ASSERT_TRUE(connectCommand(b.ctx(), 1, chooser));
    RecordingOperator& op = b.fx.op;
    const std::set<std::string> outcomes = {b.text(3), b.text(4), b.text(1057), b.text(1062), b.text(32783),
                                            b.text(32786)};
    b.fx.faults({.seed = seed, .noAnswer = 40000, .brokenMarks = 20000, .corruptAck = 20000, .parity = 10000,
                 .framing = 10000, .dropByte = 5000});
    const std::string file = b.dir.file("mixed");
    for (int step = 0; step < 2; ++step) {
        op.clear();
        op.answers = {true, true};
        op.files.push_back(step == 0 ? file : file + ".NFO");
        const int64_t startNs = b.fx.sim.clock->nowNs();
        const auto writesBefore = b.device->writesByKey;
        if (!b.fx.frame.deviceSelected && !b.fx.connect(Address)) continue;   // lost: connect again first
        if (step == 0) saveParameterFile(b.ctx());
        else loadParameterFileCommand(b.ctx());
        const double seconds = double(b.fx.sim.clock->nowNs() - startNs) / 1e9;
        EXPECT_LT(seconds, 120.0) << "step " << step;
        EXPECT_EQ(op.progressDepth, 0);
        EXPECT_FALSE(op.progressMisused);
        EXPECT_TRUE(b.fx.frame.idle);
        // Besides those: the load's result, and where a load stopped.
        for (const std::string& t : op.texts())
            EXPECT_TRUE(outcomes.count(t) || filledFrom(b.text(33029), t) || filledFrom(b.text(33424), t) ||
                        filledFrom(b.text(33426), t)) << "step " << step << ": " << t;
        const auto shown = op.texts();
        if (step == 1 && std::find(shown.begin(), shown.end(), b.text(32783)) != shown.end()) {
            for (const auto& [key, count] : b.device->writesByKey) {
                if (key >= 0x100) {
                    EXPECT_EQ(count, writesBefore.count(key) ? writesBefore.at(key) : 0u) << std::hex << key;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Conformance, UnderFaults,
                         ::testing::Combine(::testing::Range<size_t>(0, variants().size()),
                                            ::testing::Values(1u, 2u)),
                         [](const auto& info) {
                             return std::string(variants()[std::get<0>(info.param)].name) + "_seed" +
                                    std::to_string(std::get<1>(info.param));
                         });

}  // namespace
