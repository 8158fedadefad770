// Transactions byte for byte: nibble values, answers and their outcomes,
// retries, refusals and lines that misbehave.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "link/DeviceLink.h"
#include "link/NibbleValue.h"
#include "sim/FaultLine.h"
#include "support/LinkOnFaultLine.h"
#include "support/SimAttach.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An opened link, its opening forgotten by the line.
struct Line : LinkOnFaultLine {
    Line() {
        link.Open(1);
        line->written.clear();
        line->readTimeouts.clear();
    }
    // Scripts the answer to every request: after the last byte of each
    // request, answer is queued.
    void answerEveryRequest(const Bytes& answer, unsigned requestBytes = 2) {
        auto count = std::make_shared<unsigned>(0);
        line->onWrite = [this, answer, requestBytes, count](uint8_t) {
            if (++*count % requestBytes == 0) line->later(answer);
        };
    }
    // Read requests for key among the bytes sent (all requests two bytes long).
    unsigned readsSent(uint32_t key) const {
        unsigned n = 0;
        for (size_t i = 0; i + 1 < line->written.size(); i += 2)
            if (line->written[i] == (key & 0xFE) && line->written[i + 1] == ((key >> 8) & 0xFF)) ++n;
        return n;
    }
};

// The links' worker threads running in this process.
long workerCount() {
    long n = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string name;
        std::ifstream(task.path() / "comm") >> name;
        n += name == "link-worker";
    }
    return n;
}

Bytes encode(uint32_t v) {
    uint8_t b[8];
    unsigned n = encodeNibbleValue(v, b);
    return Bytes(b, b + n);
}

}  // namespace

TEST(NibbleValue, EncodingsOfTheWire) {
    EXPECT_EQ(encode(0), (Bytes{0x00, 0x50}));
    EXPECT_EQ(encode(0x55), (Bytes{0x05, 0x55}));
    EXPECT_EQ(encode(1000), (Bytes{0x08, 0x4E, 0x03, 0x50}));
    EXPECT_EQ(encode(0xFFFF), (Bytes{0x0F, 0x4F, 0x0F, 0x5F}));
    EXPECT_EQ(encode(0x100), (Bytes{0x00, 0x40, 0x01, 0x50}));
    EXPECT_EQ(encode(0x1000000), (Bytes{0x00, 0x40, 0x00, 0x40, 0x00, 0x40, 0x01, 0x50}));
    EXPECT_EQ(encode(0xFFFFFFFF).size(), 8u);

    uint32_t v = 0;
    for (uint32_t value : {0u, 0x55u, 1000u, 0xFFFFu, 0x123456u, 0xFFFFFFFFu}) {
        Bytes b = encode(value);
        ASSERT_TRUE(decodeNibbleValue(b.data(), unsigned(b.size()), v));
        EXPECT_EQ(v, value);
    }
    Bytes noEnd{0x01, 0x42, 0x03, 0x44, 0x05, 0x46, 0x07, 0x48};
    EXPECT_TRUE(decodeNibbleValue(noEnd.data(), 8, v));
    EXPECT_EQ(v, 0x87654321u);
    for (Bytes bad : {Bytes{0x05, 0x15}, Bytes{0x05, 0x45, 0x15}, Bytes{0x15, 0x55}, Bytes{0x05, 0x45},
                      Bytes{0x25, 0x55}, Bytes{0x05}})
        EXPECT_FALSE(decodeNibbleValue(bad.data(), unsigned(bad.size()), v));
}

TEST(Transaction, WritesSendKeyAndNibbleValue) {
    Line t;
    t.answerEveryRequest({0x1F}, 4);
    EXPECT_EQ(t.link.WriteRegister(58, 0), 0u);
    EXPECT_EQ(t.link.errorFlag(), 0);
    EXPECT_EQ(t.line->written, (Bytes{0x3B, 0x00, 0x00, 0x50}));
    t.line->written.clear();
    t.answerEveryRequest({0x1F}, 6);
    EXPECT_EQ(t.link.WriteRegister(0x0102, 0x100), 0x100u);
    EXPECT_EQ(t.line->written, (Bytes{0x03, 0x01, 0x00, 0x40, 0x01, 0x50}));
    t.line->written.clear();
    t.answerEveryRequest({0x1F}, 3);
    EXPECT_EQ(t.link.WriteRegister(0x0104, 0x1B, true), 0x1Bu);
    EXPECT_EQ(t.line->written, (Bytes{0x05, 0x01, 0x1B}));  // one digit, 0x10 + (v & 0x0F)
    EXPECT_EQ(t.link.errorFlag(), 0);
}

TEST(Transaction, WriteOutcomes) {
    Line t;
    t.answerEveryRequest({0x1D}, 4);
    EXPECT_EQ(t.link.WriteRegister(0x7F00, 5), 0x1Du);  // anything but 0x1F fails with that byte
    EXPECT_EQ(t.link.errorFlag(), -1);
    t.line->onWrite = nullptr;
    EXPECT_EQ(t.link.WriteRegister(0x0100, 5), NoByte);
    EXPECT_EQ(t.link.errorFlag(), -1);
    // A byte not sent fails the write even when acknowledged.
    t.line->failWrites = true;
    t.line->later({0x1F});
    EXPECT_EQ(t.link.WriteRegister(0x0100, 5), SendFailed);
    EXPECT_EQ(t.link.errorFlag(), -1);
    // Retries until the acknowledgement, ten attempts at most.
    t.line->failWrites = false;
    t.line->later({0x1E});
    t.line->written.clear();
    t.answerEveryRequest({0x1F}, 8);  // the second attempt (4 bytes each) is acknowledged
    EXPECT_EQ(t.link.WriteRegisterRetry(0x0100, 5), 5u);
    EXPECT_EQ(t.link.errorFlag(), 0);
    EXPECT_EQ(t.line->written.size(), 8u);
    t.line->onWrite = nullptr;
    t.line->written.clear();
    EXPECT_EQ(t.link.WriteRegisterRetry(0x0100, 5), NoByte);
    EXPECT_EQ(t.line->written.size(), 40u);
}

TEST(Transaction, ReadAnswers) {
    Line t;
    struct Case {
        Bytes answer;
        uint32_t result;
        int32_t error;
    };
    const Case cases[] = {
        {{0x05, 0x55}, 0x55, 0},
        {{0x08, 0x4E, 0x03, 0x50}, 1000, 0},
        {{0x05, 0x15}, BadAnswer, -1},                    // bit 6 missing on an odd byte
        {{0x05, 0x45, 0x15}, BadAnswer, -1},              // three bytes with an end mark
        {{0x45, 0x55}, BadAnswer, -1},                    // bit 6 on byte 0
        {{0x01, 0x42, 0x03, 0x44, 0x05, 0x46, 0x07, 0x48}, 0x87654321, 0},  // 8 bytes, no end mark
        {{0x1D}, 0xD, -1},
        {{0x1E}, 0xE, -1},
        {{0x11}, 1, -1},
        {{0x1F}, 0xF, -1},
        {{0x5E}, BadAnswer, -1},                          // a short answer with bit 6 set
    };
    for (const Case& c : cases) {
        t.line->clearScript();
        t.line->later(c.answer);
        EXPECT_EQ(t.link.ReadRegister(32), c.result) << int(c.answer[0]);
        EXPECT_EQ(t.link.errorFlag(), c.error) << int(c.answer[0]);
    }
    t.line->clearScript();
    t.line->later({0x05, 0x55});
    t.line->written.clear();
    t.link.ReadRegister(0x0146);
    EXPECT_EQ(t.line->written, (Bytes{0x46, 0x01}));
    EXPECT_EQ(t.link.digitCount(), 2u);
    t.line->later({0x1E});
    t.link.ReadRegister(0x0146);
    EXPECT_EQ(t.link.digitCount(), 2u);  // short answers leave the digit count alone
}

TEST(Transaction, MissingBytesDoNotEndAnAnswer) {
    Line t;
    double before = t.ms();
    EXPECT_EQ(t.link.ReadRegister(32), NoByte);  // nobody answers: eight reads of 50 ms
    EXPECT_EQ(t.line->readTimeouts, std::vector<uint32_t>(8, 50));
    EXPECT_GE(t.ms() - before, 400.0);
    // A byte that times out inside an answer: reading goes on to the end mark.
    t.line->readTimeouts.clear();
    t.line->later({0x05});
    t.line->onWrite = nullptr;
    uint32_t r = t.link.ReadRegister(32);
    EXPECT_EQ(r & NoByte, NoByte);
    EXPECT_EQ(t.link.errorFlag(), -1);
    EXPECT_EQ(t.line->readTimeouts.size(), 8u);
    // A parity error on the first byte of two.
    FaultLine::Incoming first;
    first.byte = 0x05;
    first.errors.parity = true;
    t.line->laterByte(first);
    t.line->later({0x55});
    EXPECT_EQ(t.link.ReadRegister(32), ParityError | 0x05);
    EXPECT_EQ(t.link.errorFlag(), -1);
}

TEST(Transaction, ShortAnswersAndRetries) {
    Line t;
    uint32_t out = 0;
    t.answerEveryRequest({0x1D});
    EXPECT_EQ(t.link.ReadRegisterRetry(0x0200, out), 2);
    EXPECT_EQ(t.readsSent(0x0200), 1u);
    EXPECT_EQ(out, 0xDu);
    t.answerEveryRequest({0x1E});
    EXPECT_EQ(t.link.ReadRegisterRetry(0x0202, out), 3);
    EXPECT_EQ(t.readsSent(0x0202), 1u);
    t.answerEveryRequest({0x11});
    EXPECT_EQ(t.link.ReadRegisterRetry(0x0204, out), 1);
    EXPECT_EQ(out, 1u);
    EXPECT_EQ(t.link.errorFlag(), -1);  // an on/off answer, not a value
    t.answerEveryRequest({0x10});
    EXPECT_EQ(t.link.ReadRegisterRetry(0x0206, out), 1);
    EXPECT_EQ(out, 0u);
    t.answerEveryRequest({0x1F});
    EXPECT_EQ(t.link.ReadRegisterRetry(0x0208, out), 0);
    EXPECT_EQ(t.readsSent(0x0208), 10u);
    EXPECT_EQ(out, 0xFu);
    // A parity error is read again.
    t.line->onWrite = nullptr;
    FaultLine::Incoming bad;
    bad.byte = 0x05;
    bad.errors.parity = true;
    t.line->laterByte(bad);
    t.line->later({0x55, 0x05, 0x55});
    EXPECT_EQ(t.link.ReadRegisterRetry(0x020A, out), 1);
    EXPECT_EQ(out, 0x55u);
    EXPECT_EQ(t.readsSent(0x020A), 2u);
}

TEST(Transaction, ClosedPortAndPortFailure) {
    Line t;
    t.link.Close();
    double before = t.ms();
    uint32_t out = 0;
    EXPECT_EQ(t.link.ReadRegisterRetry(32, out), 0);
    EXPECT_EQ(out, SendFailed);
    EXPECT_EQ(t.link.resultField(), SendFailed);
    // Ten attempts, none of which waits: there is nothing to settle.
    EXPECT_NEAR(t.ms() - before, 0.0, 0.01);
    EXPECT_EQ(t.link.WriteRegister(32, 1), PortFailure);  // the acknowledgement read finds the port closed
    EXPECT_EQ(t.link.Select(5), 0);
    EXPECT_EQ(t.link.Deselect(), 0);

    // The error state fails in the middle of an answer: the port is lost,
    // and nothing is retried against it.
    Line u;
    u.line->later({0x05});
    u.line->failErrorState = true;
    u.line->failErrorStateAfter = u.line->takes() + 3;  // purge, two key bytes, then the answer
    EXPECT_EQ(u.link.ReadRegisterRetry(32, out), 0);
    EXPECT_FALSE(u.link.isOpen());
    EXPECT_TRUE(u.link.portLost());
    EXPECT_TRUE(out & PortFailure);
    EXPECT_EQ(u.readsSent(32), 1u);
}

TEST(Transaction, SelectAndRelease) {
    Line t;
    t.line->later({0x05});
    EXPECT_EQ(t.link.Select(69), -1);  // 69 & 0x3F = 5
    EXPECT_EQ(t.line->written, (Bytes{0x85}));
    EXPECT_EQ(t.link.selectedAddress, 5);
    EXPECT_EQ(t.link.endKey, 0x7F7Eu);
    t.link.endKey = 0x0200;
    t.line->later({0x06});
    EXPECT_EQ(t.link.Select(5), 0);  // the wrong device answered
    EXPECT_EQ(t.link.selectedAddress, 0);
    EXPECT_EQ(t.link.endKey, 0x0200u);
    t.line->later({0x85});
    EXPECT_EQ(t.link.Select(5), -1);  // bit 7 of the answer does not count
    FaultLine::Incoming marked;
    marked.byte = 0x05;
    marked.errors.parity = true;
    t.line->laterByte(marked);
    EXPECT_EQ(t.link.Select(5), 0);

    // Release: 20 ms of silence, then 0xFF; no purge before it.
    t.line->written.clear();
    unsigned purges = t.line->purges;
    double before = t.ms();
    EXPECT_EQ(t.link.Deselect(), -1);
    EXPECT_EQ(t.line->written, (Bytes{0xFF}));
    EXPECT_EQ(t.line->purges, purges);
    EXPECT_NEAR(t.ms() - before, 20 + 1.146, 0.01);
    EXPECT_EQ(t.link.selectedAddress, 0);

    // A line that never goes quiet: nothing is sent, and it ends after 500 ms.
    t.line->flood = true;
    t.line->written.clear();
    before = t.ms();
    EXPECT_EQ(t.link.Deselect(), 0);
    EXPECT_TRUE(t.line->written.empty());
    EXPECT_NEAR(t.ms() - before, 500.0, 2.0);
}

TEST(Transaction, ExampleExchangeWithDeviceFive) {
    Simulator sim;
    std::string error;
    ASSERT_TRUE(sim.load("device 5 PUMPCTRL\n version 3\n", error)) << error;
    DeviceLink link;
    attachSim(sim, link);
    ASSERT_TRUE(link.Open(1));
    sim.clearLog();
    ASSERT_EQ(link.Select(5), -1);
    EXPECT_EQ(link.ReadRegister(32), 3u);
    link.WriteRegister(58, 0x55);
    EXPECT_EQ(link.errorFlag(), 0);
    int64_t beforeRelease = sim.clock->nowNs();
    EXPECT_EQ(link.Deselect(), -1);
    EXPECT_EQ(sim.sentBytes(), (Bytes{0x85, 0x20, 0x00, 0x3B, 0x00, 0x05, 0x55, 0xFF}));
    EXPECT_EQ(sim.answerBytes(), (Bytes{0x05, 0x03, 0x50, 0x1F}));
    EXPECT_GE(sim.log.back().atNs - beforeRelease, 20000000);
    EXPECT_EQ(sim.logText().substr(0, 10), "> 85\n< 05\n");
}

TEST(Transaction, NestedTransactionsAreRefused) {
    Line t;
    // A slow line, so the waiting caller runs its hook a few times.
    t.line->onWrite = [&](uint8_t) {
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        t.line->later({0x05, 0x55});
    };
    int hookCalls = 0;
    bool refusedAsRequired = true;
    t.link.setWaitHook([&] {
        ++hookCalls;
        EXPECT_TRUE(t.link.transactionInFlight());
        refusedAsRequired = refusedAsRequired && t.link.Select(7) == 0 && t.link.Deselect() == 0 &&
                            t.link.ReadRegister(46) == PortFailure && t.link.errorFlag() == -1 &&
                            t.link.WriteRegister(46, 1) == PortFailure &&
                            t.link.OpenParameterAccess(true) == 0 && t.link.RestartAndWait() == 0 &&
                            t.link.ScanBus() == 0;
    });
    t.link.connected = 1;
    t.link.selectedAddress = 9;
    uint32_t r = t.link.ReadRegister(32);
    EXPECT_GT(hookCalls, 0);
    EXPECT_TRUE(refusedAsRequired);
    EXPECT_EQ(t.line->written, (Bytes{0x20, 0x00}));  // nothing but the outer request went out
    EXPECT_EQ(r, 0x55u);  // the outer transaction keeps its own result
    EXPECT_EQ(t.link.errorFlag(), 0);
    EXPECT_EQ(t.link.selectedAddress, 9);  // a refused select changes nothing
    EXPECT_FALSE(t.link.transactionInFlight());
    EXPECT_TRUE(t.link.isOpen());
}

TEST(Transaction, EveryTransactionEndsOnAnyLine) {
    // Floods, noise, silence and failing reads: each transaction ends with a
    // status word, within a bounded (virtual) time.
    for (int kind = 0; kind < 5; ++kind) {
    Line t;
        if (kind == 0) t.line->flood = true;
        if (kind == 1) t.line->floodByte = 0x10, t.line->flood = true;
        if (kind == 2) t.line->noise = true;
        if (kind == 3) t.line->failReads = true;
        if (kind == 4) t.line->echo = true;  // echo of every byte, though not detected at open
        t.link.connected = 1;
        double before = t.ms();
        uint32_t out = 0;
        t.link.Select(5);
        t.link.ReadRegisterRetry(32, out);
        t.link.WriteRegisterRetry(0x0100, 1234);
        t.link.Deselect();
        t.link.ScanBus();
        t.link.OpenParameterAccess(true);
        t.link.RestartAndWait();
        // Two 10 s handshakes, a scan of 64 addresses and a few retries.
        EXPECT_LT(t.ms() - before, 60000.0) << kind;
    }
}

// One worker per link, for as long as the link: it goes when the port closes
// (from the wait hook too, where the transaction in flight still ends with
// its own answer) or the link goes, and the next transaction starts another.
TEST(Transaction, TheWorkerEndsWithThePortOrTheLink) {
    enum class End { CloseInFlight, CloseIdle, LinkGone };
    for (End end : {End::CloseInFlight, End::CloseIdle, End::LinkGone}) {
        auto t = std::make_unique<Line>();
        t->line->onWrite = [&](uint8_t) {
            // A slow line, so the waiting caller runs its hook.
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
            t->line->later({0x05, 0x55});
        };
        long during = 0;
        t->link.setWaitHook([&] {
            during = workerCount();
            if (end == End::CloseInFlight && t->link.isOpen()) t->link.Close();
        });
        EXPECT_EQ(t->link.ReadRegister(32), 0x55u);
        EXPECT_EQ(t->link.errorFlag(), 0);
        EXPECT_EQ(during, 1);
        if (end == End::LinkGone) {
            t.reset();
            EXPECT_EQ(workerCount(), 0);
            continue;
        }
        if (end == End::CloseIdle) t->link.Close();
        EXPECT_FALSE(t->link.isOpen());
        EXPECT_EQ(workerCount(), 0);
        // Opened again, the link starts a worker with its next transaction.
        t->link.setWaitHook(nullptr);
        t->line->onWrite = nullptr;
        ASSERT_TRUE(t->link.Open(1));
        t->line->later({0x05, 0x55});
        EXPECT_EQ(t->link.ReadRegister(32), 0x55u);
        EXPECT_EQ(workerCount(), 1);
    }
}

// A read that times out on a silent device keeps the next one waiting (asked
// from the hook it is refused and sends nothing); the next one then runs on
// the same worker and gets its own answer, not a stray of the first.
TEST(Transaction, ATimedOutReadHoldsTheNextUntilItEnds) {
    Line t;
    bool first = true;
    t.line->onWrite = [&](uint8_t) {
        if (t.line->written.size() != 2) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        for (int i = 0; i < 8; ++i) {
            FaultLine::Incoming silence;
            silence.timesOut = true;
            t.line->laterByte(silence);
        }
    };
    uint32_t refused = 0;
    t.link.setWaitHook([&] {
        if (!first) return;
        first = false;
        refused = t.link.ReadRegister(34);
    });
    double start = t.ms();
    EXPECT_EQ(t.link.ReadRegister(32), NoByte);
    EXPECT_EQ(t.link.errorFlag(), -1);
    EXPECT_GE(t.ms() - start, 8 * 50.0);
    EXPECT_EQ(refused, PortFailure);
    EXPECT_EQ(t.line->written, (Bytes{0x20, 0x00}));
    t.line->onWrite = nullptr;
    t.line->later({0x07, 0x50});
    EXPECT_EQ(t.link.ReadRegister(34), 0x07u);
    EXPECT_EQ(t.link.errorFlag(), 0);
    EXPECT_EQ(t.line->written, (Bytes{0x20, 0x00, 0x22, 0x00}));
    EXPECT_EQ(workerCount(), 1);
}
