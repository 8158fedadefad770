// The simulator on its own, byte for byte: raw requests go in on a line to
// the bus, raw answers come out with their times on the virtual clock. The
// expected bytes are written out here from the wire layout, so a fault in
// the simulator's codec cannot hide behind the master's.
#include <gtest/gtest.h>

#include <set>

#include "sim/PtyServer.h"
#include "sim/Simulator.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int64_t Byte = 1146000;   // one byte time at 9600 baud
constexpr int64_t Ms = 1000000;

// The common device at address 5, named PUMP, with one parameter of each kind.
const char* BaseBus =
    "device 5 PUMP\n version 3\n release 0x1234\n param 0100 4 1000\n param 0102 onoff on\n"
    " param 0104 8 0x1000000\n param 0106 2 0x55 ext\n end 0108\n";

// Requests used before the one under test.
const Bytes OpenAccess = {0x3F, 0x00, 0x0A, 0x55};     // write 0x5A to 62
const Bytes OpenExtended = {0x45, 0x00, 0x0A, 0x55};   // write 0x5A to 68

struct Received {
    Bytes bytes;
    std::vector<int64_t> afterNs;   // when each byte arrived, after the request had left
};

struct Bench {
    Simulator sim;
    std::unique_ptr<SimLine> line = sim.makeLine();

    explicit Bench(const std::string& bus) {
        std::string error;
        EXPECT_TRUE(sim.load(bus, error)) << error;
        line->open("sim");
    }
    // Sends the bytes, then takes what arrives until 60 ms pass without a byte.
    Received exchange(const Bytes& request) {
        for (uint8_t b : request) line->writeByte(b);
        int64_t sent = sim.clock->nowNs();
        Received r;
        uint8_t b = 0;
        while (line->readByte(60, b) == ByteTransport::ReadStatus::Byte) {
            r.bytes.push_back(b);
            r.afterNs.push_back(sim.clock->nowNs() - sent);
        }
        return r;
    }
};

struct WireCase {
    const char* name;
    const char* variant;         // bus statements for device 5
    std::vector<Bytes> before;   // requests sent first (after the select)
    Bytes request;
    Bytes answer;
    int64_t firstNs = Byte;      // end of request to the end of the first answer byte
    int64_t stepNs = Byte;       // from one answer byte to the next
    Bytes broken = {};           // bytes of a request that breaks off first ...
    int64_t quietNs = 0;         // ... followed by this much quiet line
};

std::ostream& operator<<(std::ostream& out, const WireCase& c) { return out << c.name; }

class WireAnswers : public ::testing::TestWithParam<WireCase> {};

TEST_P(WireAnswers, RawRequestGivesRawAnswer) {
    const WireCase& c = GetParam();
    Bench bench(std::string(BaseBus) + c.variant + "\n");
    ASSERT_EQ(bench.exchange({0x85}).bytes, Bytes{0x05});
    for (const Bytes& b : c.before) ASSERT_EQ(bench.exchange(b).bytes, Bytes{0x1F});
    for (uint8_t b : c.broken) bench.line->writeByte(b);
    bench.sim.clock->advanceNs(c.quietNs);

    Received r = bench.exchange(c.request);
    EXPECT_EQ(r.bytes, c.answer);
    if (r.bytes.empty() || r.bytes != c.answer) return;
    EXPECT_EQ(r.afterNs[0], c.firstNs);
    for (size_t i = 1; i < r.afterNs.size(); ++i) EXPECT_EQ(r.afterNs[i] - r.afterNs[i - 1], c.stepNs) << i;
}

const std::vector<Bytes> Access = {OpenAccess};
const std::vector<Bytes> Extended = {OpenAccess, OpenExtended};

INSTANTIATE_TEST_SUITE_P(
    Sim, WireAnswers,
    ::testing::Values(
        // The common device: every answer form it gives.
        WireCase{"Select", "", {}, {0x85}, {0x05}},
        WireCase{"NamePaddedWithBlanks", "", {}, {0x18, 0x00}, {0x00, 0x52}},  // ' ' = 0x20
        WireCase{"VersionFewestDigits", "", {}, {0x20, 0x00}, {0x03, 0x50}},
        WireCase{"StatusAlwaysFour", "", {}, {0x2E, 0x00}, {0x00, 0x40, 0x00, 0x50}},
        WireCase{"Absent40NotAvailable", "", {}, {0x28, 0x00}, {0x1E}},
        WireCase{"ParameterWithAccessClosed", "", {}, {0x00, 0x01}, {0x1E}},
        WireCase{"EndOfTableWithAccessClosed", "", {}, {0x08, 0x01}, {0x1D}},
        WireCase{"AccessReadsValueOne", "", Access, {0x3E, 0x00}, {0x01, 0x50}},
        WireCase{"FourDigitParameter", "", Access, {0x00, 0x01}, {0x08, 0x4E, 0x03, 0x50}},
        WireCase{"OnOffParameterShort", "", Access, {0x02, 0x01}, {0x11}},
        WireCase{"EightDigitParameter", "", Access, {0x04, 0x01}, {0x00, 0x40, 0x00, 0x40, 0x00, 0x40, 0x01, 0x50}},
        WireCase{"ExtendedOnlyNeedsExtended", "", Access, {0x06, 0x01}, {0x1E}},
        WireCase{"TwoDigitParameter", "", Extended, {0x06, 0x01}, {0x05, 0x55}},
        WireCase{"ValueWrite", "", Access, {0x01, 0x01, 0x05, 0x55}, {0x1F}},
        WireCase{"DigitWrite", "", Access, {0x03, 0x01, 0x10}, {0x1F}},
        WireCase{"DigitWriteToNumericRefused", "", Access, {0x01, 0x01, 0x11}, {0x1E}},
        WireCase{"EightDigitWriteWithoutEndMark", "", Access,
                 {0x05, 0x01, 0x00, 0x40, 0x00, 0x40, 0x00, 0x40, 0x02, 0x40}, {0x1F}},
        WireCase{"WriteWithBrokenMarksUnanswered", "", Access, {0x01, 0x01, 0x05, 0x15}, {}},
        WireCase{"RestartAcknowledged", "", {}, {0x3B, 0x00, 0x05, 0x55}, {0x1F}},
        WireCase{"UnreadablePasswordNotAvailable", "password 1234\nnotavail 48", {}, {0x30, 0x00}, {0x1E}},
        WireCase{"UnreadablePasswordStillWritable", "password 1234\nnotavail 48", {}, {0x31, 0x00, 0x05, 0x55},
                 {0x1F}},

        // Variants: the other forms and timings a device may use.
        WireCase{"AccessReadsShortOn", "access62 short", Access, {0x3E, 0x00}, {0x11}},
        WireCase{"IdentityInFourDigits", "iddigits 4", {}, {0x20, 0x00}, {0x03, 0x40, 0x00, 0x50}},
        WireCase{"IdentityWiderThanTwo", "iddigits 2\nreg44 0x123", {}, {0x2C, 0x00}, {0x03, 0x42, 0x01, 0x50}},
        WireCase{"Absent44Silent", "absent silent", {}, {0x2C, 0x00}, {}},
        WireCase{"NamePaddedWithZeros", "namepad zero", {}, {0x18, 0x00}, {0x00, 0x50}},
        WireCase{"NameBeforeZerosUnchanged", "namepad zero", {}, {0x16, 0x00}, {0x00, 0x55}},
        WireCase{"EightDigitsWithoutEndMark", "eightdigits noend", Access, {0x04, 0x01},
                 {0x00, 0x40, 0x00, 0x40, 0x00, 0x40, 0x01, 0x40}},
        WireCase{"ShorterValuesKeepEndMark", "eightdigits noend", Access, {0x00, 0x01}, {0x08, 0x4E, 0x03, 0x50}},
        WireCase{"OwnTurnaround", "turnaround 40000", {}, {0x20, 0x00}, {0x03, 0x50}, 40 * Ms + Byte},
        WireCase{"GapsBetweenBytes", "bytegap 40000", {}, {0x22, 0x00}, {0x04, 0x43, 0x02, 0x51}, Byte,
                 40 * Ms + Byte},
        WireCase{"RestartUnacknowledged", "restartack no", {}, {0x3B, 0x00, 0x05, 0x55}, {}},

        // A read that lost its high key byte: within the hold time the next
        // request's first byte completes it (key 0x2020, past the table; the
        // answer comes while the master still sends) and its second byte
        // starts a request of its own. After a longer quiet line the request
        // is understood.
        WireCase{"HeldRequestMisreadsNext", "", {}, {0x20, 0x00}, {0x1D}, 0, Byte, {0x20}, 8 * Ms},
        WireCase{"QuietLineEndsHeldRequest", "", {}, {0x20, 0x00}, {0x03, 0x50}, Byte, Byte, {0x20}, 10 * Ms},
        WireCase{"QuietLineEndsLongerHold", "hold 50", {}, {0x20, 0x00}, {0x03, 0x50}, Byte, Byte, {0x20},
                 50 * Ms}),
    [](const ::testing::TestParamInfo<WireCase>& info) { return std::string(info.param.name); });

// Live values read at 0, 0.5, 1 and 4 s: a counter and a wandering
// measurement (band 3), moving after every read or once a second of the
// virtual clock, in 2, 4 and 8 digits, starting one below the top of their
// digits. Then a write sets the counter's value or the measurement's base.
class LiveValues : public ::testing::TestWithParam<std::tuple<bool, bool, int>> {};

TEST_P(LiveValues, SuccessiveReadsAndAWrite) {
    auto [counter, everySecond, digits] = GetParam();
    const uint32_t top = uint32_t((uint64_t(1) << (4 * digits)) - 1);
    Bench bench("device 5 PUMP\n param 0100 " + std::to_string(digits) + " " + std::to_string(top - 1) + "\n" +
                (counter ? "count 0100" : "wander 0100 3") + (everySecond ? " every 1000\n" : "\n"));
    ASSERT_EQ(bench.exchange({0x85}).bytes, Bytes{0x05});
    ASSERT_EQ(bench.exchange(OpenAccess).bytes, Bytes{0x1F});
    auto read = [&] {
        Bytes b = bench.exchange({0x00, 0x01}).bytes;
        EXPECT_EQ(b.size(), size_t(digits)) << "always in its own width";
        uint32_t v = 0;
        for (size_t i = 0; i < b.size() && i < 8; ++i) v |= uint32_t(b[i] & 0x0F) << (4 * i);
        return v;
    };
    using Values = std::vector<uint32_t>;
    Values seen;
    const int64_t start = bench.sim.clock->nowNs();
    for (int64_t atMs : {0, 500, 1000, 4000}) {
        bench.sim.clock->advanceToNs(start + atMs * Ms);
        seen.push_back(read());
    }
    if (counter) {
        EXPECT_EQ(seen, (everySecond ? Values{top - 1, top - 1, top, 2} : Values{top - 1, top, 0, 1}));
    } else {
        EXPECT_EQ(seen[0], top - 1);
        EXPECT_TRUE(!everySecond || seen[1] == seen[0]) << "within its period";
        EXPECT_NE(std::set<uint32_t>(seen.begin(), seen.end()).size(), 1u) << "it moves";
        for (size_t i = 1; i < seen.size(); ++i)   // within the band and the digits, in small steps
            EXPECT_TRUE(seen[i] >= top - 4 && std::abs(int64_t(seen[i]) - int64_t(seen[i - 1])) <= (everySecond ? 6 : 2))
                << i;
    }
    ASSERT_EQ(bench.exchange({0x01, 0x01, 0x00, 0x58}).bytes, Bytes{0x1F});   // write 0x80
    EXPECT_EQ(read(), 0x80u);
    uint32_t next = read();
    EXPECT_TRUE(counter ? next == (everySecond ? 0x80u : 0x81u) : next >= 0x7E && next <= 0x82) << next;
}

INSTANTIATE_TEST_SUITE_P(Sim, LiveValues,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool(), ::testing::Values(2, 4, 8)));

// A restart keeps the device silent for its own time, after an
// acknowledgement or without one; then it answers a select again.
TEST(SimWire, RestartSilenceIsTheDevicesOwn) {
    for (const char* ack : {"yes", "no"}) {
        for (int64_t silenceMs : {200, 5000}) {
            SCOPED_TRACE(std::string(ack) + " " + std::to_string(silenceMs));
            Bench bench(std::string(BaseBus) + "restartack " + ack + "\nrestartsilence " +
                        std::to_string(silenceMs) + "\n");
            bench.sim.bus.restartSilenceNs = 1 * Ms;   // the bus's time does not count
            ASSERT_EQ(bench.exchange({0x85}).bytes, Bytes{0x05});
            int64_t restartAt = bench.sim.clock->nowNs() + 4 * Byte;   // when its last byte has left
            bench.exchange({0x3B, 0x00, 0x05, 0x55});
            bench.sim.clock->advanceToNs(restartAt + silenceMs * Ms - 2 * Byte);
            EXPECT_EQ(bench.exchange({0x85}).bytes, Bytes{}) << "still restarting";
            bench.sim.clock->advanceToNs(restartAt + silenceMs * Ms);
            EXPECT_EQ(bench.exchange({0x85}).bytes, Bytes{0x05});
            EXPECT_EQ(bench.sim.device(5)->restarts, 1u);
        }
    }
}

// An adapter's echo that arrives late: the echo comes its delay after the
// byte has left, and the answer queues behind it.
TEST(SimWire, LateEchoAndTheAnswerBehindIt) {
    for (int64_t delay : {int64_t(0), 5 * Ms}) {
        SCOPED_TRACE(delay);
        Bench bench(BaseBus);
        bench.sim.wire.options.echo = true;
        bench.sim.wire.options.echoDelayNs = delay;
        Received r = bench.exchange({0x85});
        ASSERT_EQ(r.bytes, (Bytes{0x85, 0x05}));
        EXPECT_EQ(r.afterNs[0], delay);
        EXPECT_EQ(r.afterNs[1], delay + Byte);
    }
}

// The variant statements are written back by the state dump, and bad
// words are named.
TEST(SimWire, VariantStatementsAndTheirStateDump) {
    const std::string variants =
        "access62 short\niddigits 4\nabsent silent\nnamepad zero\neightdigits noend\nturnaround 2500\n"
        "bytegap 40000\nrestartack no\nrestartsilence 200\nhold 25\n";
    SimBus bus;
    std::string error;
    ASSERT_TRUE(parseBusText(std::string(BaseBus) + variants, bus, error)) << error;
    EXPECT_NE(busText(bus).find(variants), std::string::npos) << busText(bus);

    SimBus plain;
    ASSERT_TRUE(parseBusText(BaseBus, plain, error));
    EXPECT_EQ(busText(plain).find("hold"), std::string::npos);   // defaults are not written

    for (const char* bad : {"access62 on", "iddigits 6", "absent", "turnaround 1000001", "hold x"}) {
        SimBus b;
        EXPECT_FALSE(parseBusText(std::string("device 1 A\n") + bad + "\n", b, error)) << bad;
        EXPECT_EQ(error.substr(0, 8), "line 2: ") << bad;
    }
}

}  // namespace
