// The bus monitor's recording and decoding: every kind of transaction with
// every form of answer, recorded through the link on the simulated bus;
// retries grouped under their request; the log's cap, filter, pause and
// files.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "link/BusMonitor.h"
#include "link/NibbleValue.h"
#include "support/SimFixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t MutedKey = 0x0300;

const char* const Bus =
    "device 3 VALVE\n"
    "param 0100 2 90\n"
    "param 0102 4 4660\n"
    "param 0104 6 0x123456\n"
    "param 0106 8 0x12345678\n"
    "param 0108 onoff on\n"
    "end 0200\n"
    "mute 0x0300\n";

// How the answer to the transaction under test comes about.
enum class Setup { Device, Inject, Parity, Framing, Timeout, SendFailure };

struct Case {
    std::string name;
    BusKind kind;
    uint32_t target;    // address or key
    uint32_t value;     // written
    Setup setup;
    Bytes injected;     // answered on the line instead of the device (Inject)
    BusAnswer answer;
    uint32_t status;    // bits expected in a line fault
    bool failed;
    std::string word;   // in the result text
    Bytes received;     // expected exactly, when not empty
};

Bytes valueBytes(uint32_t v) {
    uint8_t b[8];
    return Bytes(b, b + encodeNibbleValue(v, b));
}

unsigned requestLength(const Case& c) {
    switch (c.kind) {
    case BusKind::Select:
    case BusKind::Release: return 1;
    case BusKind::Read: return 2;
    case BusKind::Write: return 2 + unsigned(valueBytes(c.value).size());
    case BusKind::DigitWrite: return 3;
    }
    return 0;
}

std::vector<Case> matrix() {
    std::vector<Case> cases;
    const BusKind writes[] = {BusKind::Write, BusKind::DigitWrite};
    // Reads: values of every width, every short answer, line faults.
    const std::pair<uint32_t, uint32_t> values[] = {{0x0100, 0x5A}, {0x0102, 0x1234}, {0x0104, 0x123456},
                                                    {0x0106, 0x12345678}};
    for (auto [key, v] : values) {
        const Bytes b = valueBytes(v);
        cases.push_back({"read_value_" + std::to_string(b.size()) + "_digits", BusKind::Read, key, 0, Setup::Device,
                         {}, BusAnswer::Value, 0, false, "value", b});
    }
    for (uint8_t s = 0x10; s <= 0x1F; ++s) {
        BusAnswer a = s == 0x1D ? BusAnswer::EndOfTable : s == 0x1E ? BusAnswer::Gap : BusAnswer::ShortAnswer;
        std::string word = s == 0x1D ? "end of table" : s == 0x1E ? "gap" : "short answer";
        cases.push_back({"read_short_" + std::to_string(s), BusKind::Read, MutedKey, 0, Setup::Inject, {s}, a, 0,
                         s > 0x11 && s != 0x1D && s != 0x1E, word, {s}});
    }
    // Writes: the acknowledgement, every other one-byte answer, a value as answer.
    cases.push_back({"write_ack", BusKind::Write, 0x0102, 0x0777, Setup::Device, {}, BusAnswer::Acknowledged, 0,
                     false, "acknowledged", {0x1F}});
    cases.push_back({"digit_write_ack", BusKind::DigitWrite, 0x0108, 0, Setup::Device, {},
                     BusAnswer::Acknowledged, 0, false, "acknowledged", {0x1F}});
    for (BusKind k : writes) {
        const std::string prefix = k == BusKind::Write ? "write_" : "digit_write_";
        for (uint8_t s = 0x10; s <= 0x1E; ++s)
            cases.push_back({prefix + "short_" + std::to_string(s), k, MutedKey, 1, Setup::Inject, {s},
                             BusAnswer::NotAcknowledged, 0, true, "not acknowledged", {s}});
        cases.push_back({prefix + "answered_value", k, MutedKey, 1, Setup::Inject, {0x05, 0x55},
                         BusAnswer::NotAcknowledged, 0, true, "not acknowledged", {0x05}});
    }
    // Selects.
    cases.push_back({"select", BusKind::Select, 3, 0, Setup::Device, {}, BusAnswer::Selected, 0, false, "selected",
                     {0x03}});
    cases.push_back({"select_wrong_answer", BusKind::Select, 9, 0, Setup::Inject, {0x07}, BusAnswer::WrongAnswer, 0,
                     true, "wrong answer", {0x07}});
    cases.push_back({"release", BusKind::Release, 0, 0, Setup::Device, {}, BusAnswer::Released, 0, false,
                     "released", {}});
    // Line faults for every kind that waits for an answer.
    const std::pair<BusKind, std::pair<uint32_t, uint32_t>> answered[] = {
        {BusKind::Read, {0x0102, 0}}, {BusKind::Write, {0x0102, 0x0555}}, {BusKind::DigitWrite, {0x0108, 1}},
        {BusKind::Select, {3, 0}}};
    const std::pair<Setup, std::pair<uint32_t, const char*>> faults[] = {
        {Setup::Parity, {ParityError, "parity error"}},
        {Setup::Framing, {FramingError, "framing error"}},
        {Setup::Timeout, {NoByte, "timeout"}},
        {Setup::SendFailure, {SendFailed, "send failed"}}};
    const char* names[] = {"select", "release", "read", "write", "digit_write"};
    const char* faultNames[] = {"", "", "parity", "framing", "timeout", "send_failure"};
    for (auto [k, kv] : answered) {
        for (auto [setup, bw] : faults) {
            // A timeout: the register nobody answers, or an address nobody has.
            uint32_t target = setup == Setup::Timeout ? (k == BusKind::Select ? 9 : MutedKey) : kv.first;
            cases.push_back({std::string(names[unsigned(k)]) + "_" + faultNames[unsigned(setup)], k, target,
                             kv.second, setup, {}, BusAnswer::LineFault, bw.first, true, bw.second, {}});
        }
    }
    cases.push_back({"release_send_failure", BusKind::Release, 0, 0, Setup::SendFailure, {}, BusAnswer::LineFault,
                     SendFailed, true, "send failed", {}});
    return cases;
}

class BusMonitorMatrix : public ::testing::TestWithParam<Case> {};

TEST_P(BusMonitorMatrix, RecordsAndDecodes) {
    const Case& c = GetParam();
    SimFixture f(SimFixture::fromText, Bus);
    ASSERT_TRUE(f.connect(3));
    ASSERT_TRUE(f.link.OpenParameterAccess(false));
    if (c.kind == BusKind::Select) f.link.Deselect();

    // Injected answers follow the last byte of the request.
    unsigned armed = c.setup == Setup::Inject ? requestLength(c) : 0;
    Bytes injected = c.injected;
    auto previous = f.sim.wire.logSink;
    f.sim.wire.logSink = [&, previous](const WireLogEntry& e) {
        if (previous) previous(e);
        if (!e.fromMaster || armed == 0 || --armed != 0) return;
        int64_t at = e.atNs;
        for (uint8_t b : injected) f.sim.wire.inject(b, at += f.sim.wire.options.byteTimeNs);
    };
    if (c.setup == Setup::Parity) f.faults({.seed = 1, .parity = 1000000});
    if (c.setup == Setup::Framing) f.faults({.seed = 1, .framing = 1000000});
    if (c.setup == Setup::SendFailure) f.line->failWrites = true;

    BusMonitorLog log;
    f.link.setMonitor(&log.recorder());
    switch (c.kind) {
    case BusKind::Select: f.link.Select(uint8_t(c.target)); break;
    case BusKind::Release: f.link.Deselect(); break;
    case BusKind::Read: f.link.ReadRegister(c.target); break;
    case BusKind::Write: f.link.WriteRegister(c.target, c.value); break;
    case BusKind::DigitWrite: f.link.WriteRegister(c.target, c.value, true); break;
    }
    f.link.setMonitor(nullptr);
    f.line->failWrites = false;
    f.faultsOff();
    f.sim.wire.logSink = previous;

    log.pull();
    ASSERT_EQ(log.rowCount(), 1u);
    const BusTransaction& t = *log.row(log.firstRow());
    EXPECT_EQ(t.kind, c.kind);
    EXPECT_EQ(t.attempt, 0u);
    if (c.kind != BusKind::Release) {
        EXPECT_EQ(t.target, c.target);
    }
    // What went out: the request as the link builds it.
    Bytes sent(t.sent, t.sent + t.sentCount);
    ASSERT_EQ(sent.size(), requestLength(c));
    if (c.kind == BusKind::Select) {
        EXPECT_EQ(sent[0], 0x80 + c.target);
    }
    if (c.kind == BusKind::Release) {
        EXPECT_EQ(sent[0], 0xFF);
    }
    if (c.kind == BusKind::Read) {
        EXPECT_EQ(sent, (Bytes{uint8_t(c.target & 0xFE), uint8_t(c.target >> 8)}));
    }
    if (c.kind == BusKind::Write || c.kind == BusKind::DigitWrite) {
        EXPECT_EQ(sent[0], (c.target & 0xFF) | 1);
    }
    if (!c.received.empty()) {
        Bytes received;
        for (unsigned i = 0; i < t.receivedCount; ++i) received.push_back(uint8_t(t.received[i]));
        EXPECT_EQ(received, c.received);
    }

    const BusOutcome o = decodeOutcome(t);
    EXPECT_EQ(o.answer, c.answer);
    EXPECT_EQ(o.failed, c.failed);
    if (c.answer == BusAnswer::LineFault) {
        EXPECT_NE(o.status & c.status, 0u) << std::hex << o.status;
    }
    if (c.answer == BusAnswer::Value) {
        EXPECT_EQ(o.digits, c.received.size());
    }
    const BusRowText r = describe(t, BusWords{});
    EXPECT_NE(r.result.find(c.word), std::string::npos) << r.result;
    EXPECT_EQ(r.failed, c.failed);
    if (c.setup == Setup::Parity) {
        EXPECT_NE(r.received.find('P'), std::string::npos) << r.received;
    }
    if (c.setup == Setup::Framing) {
        EXPECT_NE(r.received.find('F'), std::string::npos) << r.received;
    }
}

INSTANTIATE_TEST_SUITE_P(BusMonitor, BusMonitorMatrix, ::testing::ValuesIn(matrix()),
                         [](const auto& info) { return info.param.name; });

// The attempts of one retried request carry its number and their own; the
// next request gets a new number, a plain transaction none.
TEST(BusMonitor, RetriesAreGroupedUnderTheirRequest) {
    SimFixture f(SimFixture::fromText, Bus);
    ASSERT_TRUE(f.connect(3));
    ASSERT_TRUE(f.link.OpenParameterAccess(false));
    BusMonitorLog log;
    f.link.setMonitor(&log.recorder());
    uint32_t out = 0;
    EXPECT_EQ(f.link.ReadRegisterRetry(MutedKey, out), 0);   // ten timeouts
    f.link.WriteRegisterRetry(0x0102, 0x42);                 // acknowledged at once
    f.link.ReadRegister(0x0102);
    f.link.setMonitor(nullptr);
    log.pull();

    ASSERT_EQ(log.rowCount(), 12u);
    const BusTransaction* first = log.row(log.firstRow());
    for (unsigned i = 0; i < 10; ++i) {
        const BusTransaction* t = log.row(log.firstRow() + i);
        EXPECT_EQ(t->request, first->request);
        EXPECT_EQ(t->attempt, i + 1);
        const BusRowText r = describe(*t, BusWords{});
        EXPECT_EQ(r.retry, i > 0);
        if (i > 0) {
            EXPECT_EQ(r.kind, "  retry " + std::to_string(i + 1));
        }
        EXPECT_TRUE(r.failed);
    }
    const BusTransaction* write = log.row(log.firstRow() + 10);
    EXPECT_NE(write->request, first->request);
    EXPECT_NE(write->request, 0u);
    EXPECT_EQ(write->attempt, 1u);
    EXPECT_EQ(log.row(log.firstRow() + 11)->request, 0u);
    // Times run on the link's clock from the start of the recording.
    EXPECT_LT(first->atNs, log.row(log.firstRow() + 11)->atNs);
    EXPECT_GE(first->atNs, 0);
}

// Without a recorder nothing is recorded; the adapter's echo of a sent byte
// is not an answer.
TEST(BusMonitor, RecordsOnlyWhileAttachedAndLeavesEchoesOut) {
    SimFixture f(SimFixture::fromText, Bus);
    f.sim.wire.options.echo = true;
    ASSERT_TRUE(f.connect(3));
    ASSERT_TRUE(f.link.echo());
    BusMonitorLog log;
    f.link.ReadRegister(0x0100);
    EXPECT_EQ(log.recorder().recorded(), 0u);
    f.link.setMonitor(&log.recorder());
    f.link.ReadRegister(32);
    f.link.setMonitor(nullptr);
    f.link.ReadRegister(32);
    log.pull();
    ASSERT_EQ(log.rowCount(), 1u);
    const BusTransaction& t = *log.row(log.firstRow());
    EXPECT_EQ(t.sentCount, 2u);
    Bytes received;
    for (unsigned i = 0; i < t.receivedCount; ++i) received.push_back(uint8_t(t.received[i]));
    EXPECT_EQ(received, valueBytes(f.device(3)->version));
}

// A restart's silence is expected, not a failure (another still is one);
// known registers go by their names.
TEST(BusMonitor, ARestartsSilenceIsExpectedAndKnownRegistersAreNamed) {
    SimFixture f(SimFixture::fromText, Bus);
    ASSERT_TRUE(f.connect(3));
    BusMonitorLog log;
    f.link.setMonitor(&log.recorder());
    for (uint32_t key : {46, 16, 0x0102}) f.link.ReadRegister(key);
    ASSERT_TRUE(f.link.OpenParameterAccess(false) && f.link.RestartAndWait());
    EXPECT_FALSE(f.link.Select(9));
    f.link.setMonitor(nullptr);
    log.pull();
    std::vector<BusRowText> rows;
    for (uint64_t n = log.firstRow(); n < log.firstRow() + log.rowCount(); ++n)
        rows.push_back(describe(*log.row(n), BusWords{}));
    ASSERT_GT(rows.size(), 8u);
    const char* names[] = {"status", "name", "parameter", "parameter access", "parameter access", "restart"};
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(rows[i].name, names[i]);
    for (size_t i = 6; i + 2 < rows.size(); ++i) {
        EXPECT_EQ(rows[i].result, "silent: restarting") << i;
        EXPECT_FALSE(rows[i].failed) << i;
    }
    EXPECT_EQ(rows[rows.size() - 2].result, "selected");
    EXPECT_TRUE(rows.back().failed && rows.back().result == "timeout");
}

BusTransaction made(BusKind kind, uint32_t key) {
    BusTransaction t;
    t.kind = kind;
    t.target = key;
    return t;
}

// The log keeps the last transactions up to its capacity, shows the kinds
// chosen, stands still while paused and forgets everything when cleared.
TEST(BusMonitor, LogKeepsTheLastFiltersPausesAndClears) {
    BusMonitorLog log;
    BusRecorder& rec = log.recorder();
    rec.start(0, 1000);
    for (uint32_t i = 0; i < BusRecorder::Capacity + 10; ++i)
        rec.record(made(i % 2 ? BusKind::Write : BusKind::Read, i), i);
    log.pull();
    EXPECT_EQ(log.kept(), 100000u);
    EXPECT_EQ(log.rowCount(), 100000u);
    EXPECT_EQ(log.row(log.firstRow())->target, 10u);
    EXPECT_EQ(log.row(log.firstRow())->atNs, 10000000);   // tick 10 at 1000 per second

    log.setKindShown(BusKind::Write, false);
    EXPECT_EQ(log.rowCount(), 50000u);
    EXPECT_EQ(log.row(log.firstRow())->kind, BusKind::Read);
    // More coming in push the oldest out, shown or not.
    const uint64_t before = log.firstRow();
    rec.record(made(BusKind::Read, 7), 0);
    rec.record(made(BusKind::Write, 8), 0);
    log.pull();
    EXPECT_EQ(log.firstRow(), before + 1);
    EXPECT_EQ(log.row(log.firstRow() + log.rowCount() - 1)->target, 7u);
    EXPECT_EQ(log.row(before), nullptr);

    log.setPaused(true);
    rec.record(made(BusKind::Read, 9), 0);
    log.pull();
    EXPECT_EQ(log.row(log.firstRow() + log.rowCount() - 1)->target, 7u);
    log.setPaused(false);
    log.pull();
    EXPECT_EQ(log.row(log.firstRow() + log.rowCount() - 1)->target, 9u);

    rec.record(made(BusKind::Read, 10), 0);
    log.clear();
    log.pull();
    EXPECT_EQ(log.kept(), 0u);
    EXPECT_EQ(log.rowCount(), 0u);
}

}  // namespace
