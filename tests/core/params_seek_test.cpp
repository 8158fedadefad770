// Reading, searching and typed numbers against a simulated device.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "params/ParameterModel.h"
#include "params_support.h"
#include "support/SimFixture.h"

namespace {

// Nothing readable at 0x0100 and 0x0102.
const char* const LateStartBus =
    "device 2 VALVE\n"
    " param 0104 4 1\n"
    " param 0106 onoff off\n"
    " param 7f7e 2 3\n"
    " end 7f80\n";

struct Seek : ::testing::Test {
    explicit Seek(const char* bus = PumpBus, uint8_t address = 1) : fx(SimFixture::fromText, bus) {
        EXPECT_TRUE(fx.error.empty()) << fx.error;
        EXPECT_TRUE(fx.connect(address));
        EXPECT_TRUE(fx.link.OpenParameterAccess(true));
        device = fx.device(address);
    }
    SimFixture fx;
    SimDevice* device = nullptr;

    SeekResult seek(ParameterNumber& n, bool backward, ParameterReading* r = nullptr) {
        return seekParameter(fx.link, n, backward, r);
    }
    unsigned readsOf(const std::function<void()>& run) {
        unsigned before = device->reads;
        run();
        return device->reads - before;
    }
};

struct SeekFromLateStart : Seek {
    SeekFromLateStart() : Seek(LateStartBus, 2) {}
};

TEST_F(Seek, ReadingsTellTheKindAndWidth) {
    ParameterReading numeric = readParameter(fx.link, 0x0106);
    EXPECT_EQ(numeric.outcome, ReadOutcome::Present);
    EXPECT_EQ(numeric.value, 4000000000u);
    EXPECT_FALSE(numeric.onOff);
    EXPECT_EQ(numeric.digits, 8);

    ParameterReading onOff = readParameter(fx.link, 0x0102);
    EXPECT_EQ(onOff.outcome, ReadOutcome::Present);
    EXPECT_TRUE(onOff.onOff);
    EXPECT_EQ(onOff.value, 1u);
    EXPECT_EQ(onOff.digits, 0);   // not the width of the value read before

    EXPECT_EQ(readParameter(fx.link, 0x0104).digits, 2);
    EXPECT_EQ(readParameter(fx.link, 0x0202).outcome, ReadOutcome::NotAvailable);
    EXPECT_EQ(readParameter(fx.link, 0x0206).outcome, ReadOutcome::EndOfTable);
}

TEST_F(Seek, SkipsGapsInBothDirections) {
    ParameterNumber n = 0x0108;
    ParameterReading r;
    EXPECT_EQ(seek(n, false, &r), SeekResult::Found);
    EXPECT_EQ(n, 0x017Eu);
    EXPECT_EQ(r.value, 5u);
    EXPECT_EQ(fx.link.progressCounter, 0x017Eu);

    n = 0x017C;
    EXPECT_EQ(seek(n, true, &r), SeekResult::Found);
    EXPECT_EQ(n, 0x0106u);

    n = 0x0202;
    EXPECT_EQ(seek(n, false, &r), SeekResult::Found);
    EXPECT_EQ(n, 0x0204u);
    n = 0x0202;
    EXPECT_EQ(seek(n, true, &r), SeekResult::Found);
    EXPECT_EQ(n, 0x0200u);   // extended access reaches it
}

TEST_F(Seek, LearnsTheEndOfTheTable) {
    ParameterNumber n = 0x0206;
    EXPECT_EQ(seek(n, false), SeekResult::EndOfTable);
    EXPECT_EQ(fx.link.endKey, 0x0206u);
    // Later steps stop at the bound and the search ends there again.
    ParameterNumber m = 0x0204;
    EXPECT_EQ(nextParameterNumber(fx.link, m), 0x0206u);
    EXPECT_EQ(nextParameterNumber(fx.link, m), 0x0206u);
    EXPECT_EQ(seek(m, false), SeekResult::EndOfTable);
    EXPECT_EQ(m, 0x0206u);
}

// A bound lowered onto a gap: the step cannot pass it, so the search must end
// there instead of reading the same number for ever.
TEST_F(Seek, EndsAtABoundThatAnswersNotAvailable) {
    fx.link.endKey = 0x0110;
    ParameterNumber n = 0x0108;
    unsigned reads = readsOf([&] { EXPECT_EQ(seek(n, false), SeekResult::EndOfTable); });
    EXPECT_EQ(n, 0x0110u);
    EXPECT_EQ(fx.link.endKey, 0x0110u);
    EXPECT_EQ(reads, 5u);   // 0108, 010a, 010c, 010e, 0110: each once

    n = 0x0110;
    reads = readsOf([&] { EXPECT_EQ(seek(n, false), SeekResult::EndOfTable); });
    EXPECT_EQ(reads, 1u);
}

TEST_F(Seek, FailsWithoutConnectionAccessOrAnswer) {
    ParameterNumber n = 0x0100;
    fx.link.connected = 0;
    EXPECT_EQ(readsOf([&] { EXPECT_EQ(seek(n, false), SeekResult::Failed); }), 0u);
    fx.link.connected = 1;
    fx.link.parameterAccess = 0;
    EXPECT_EQ(readsOf([&] { EXPECT_EQ(seek(n, false), SeekResult::Failed); }), 0u);
    fx.link.parameterAccess = 1;

    device->mutedKeys.insert(0x010A);
    n = 0x0108;
    EXPECT_EQ(seek(n, false), SeekResult::Failed);
    EXPECT_EQ(n, 0x010Au);
}

TEST_F(Seek, StartsBelowTheTableAtTheFirstParameter) {
    ParameterNumber n = 0x0020;   // a system register, never a parameter
    ParameterReading r;
    EXPECT_EQ(seek(n, false, &r), SeekResult::Found);
    EXPECT_EQ(n, 0x0100u);
    EXPECT_EQ(r.value, 1000u);
}

TEST_F(SeekFromLateStart, NoneAtFirstInBothDirections) {
    ParameterNumber n = 0x0102;
    EXPECT_EQ(seek(n, true), SeekResult::NoneAtFirst);
    EXPECT_EQ(n, 0x0100u);
    // Forward from 0x0100 gives up at once, without looking further.
    n = 0x0100;
    unsigned reads = readsOf([&] { EXPECT_EQ(seek(n, false), SeekResult::NoneAtFirst); });
    EXPECT_EQ(reads, 1u);
    EXPECT_EQ(n, 0x0100u);
    // An odd number below 0x0102 cannot step down either.
    n = 0x0101;
    EXPECT_EQ(seek(n, true), SeekResult::NoneAtFirst);
}

TEST_F(SeekFromLateStart, TypedNumbers) {
    EXPECT_EQ(parseParameterNumber(fx.link, "104"), 0x0104u);
    EXPECT_EQ(parseParameterNumber(fx.link, " 0x106"), 0x0106u);
    EXPECT_EQ(parseParameterNumber(fx.link, "107"), 0x0106u);   // bit 0 dropped
    EXPECT_EQ(parseParameterNumber(fx.link, "7f7f"), 0x7F7Eu);
    EXPECT_EQ(parseParameterNumber(fx.link, "ff"), std::nullopt);     // below 0x0100
    EXPECT_EQ(parseParameterNumber(fx.link, "101"), std::nullopt);    // 0x0100 not readable
    EXPECT_EQ(parseParameterNumber(fx.link, "180"), std::nullopt);    // 0x0100 as well
    EXPECT_EQ(parseParameterNumber(fx.link, "g104"), std::nullopt);
    EXPECT_EQ(parseParameterNumber(fx.link, ""), std::nullopt);
    EXPECT_EQ(parseParameterNumber(fx.link, "200"), std::nullopt);    // a gap
    EXPECT_EQ(parseParameterNumber(fx.link, "7f80"), std::nullopt);   // masked to 0x7F00, a gap
    // Digits beyond 32 bits must not wrap round to 0x0104.
    EXPECT_EQ(parseParameterNumber(fx.link, "100000104"), std::nullopt);
    EXPECT_EQ(parseParameterNumber(fx.link, "ffffffff00000104"), std::nullopt);
    // Above the learned bound: rejected without reading.
    fx.link.endKey = 0x0106;
    unsigned reads = readsOf([&] { EXPECT_EQ(parseParameterNumber(fx.link, "7f7e"), std::nullopt); });
    EXPECT_EQ(reads, 0u);
}

TEST_F(Seek, TypedNumbersAcrossPagesAndPastedText) {
    EXPECT_EQ(parseParameterNumber(fx.link, "102"), 0x0102u);
    EXPECT_EQ(parseParameterNumber(fx.link, "17f"), 0x017Eu);
    EXPECT_EQ(parseParameterNumber(fx.link, "0106 is the flow limit"), 0x0106u);
    EXPECT_EQ(parseParameterNumber(fx.link, "zebra"), std::nullopt);
    EXPECT_EQ(parseParameterNumber(fx.link, std::string(100000, '7')), std::nullopt);
    EXPECT_EQ(parseParameterNumber(fx.link, std::string("1\0" "04", 4)), std::nullopt);

    // Whatever is typed, an accepted number is a readable parameter in range.
    std::mt19937 random(11);
    const std::string alphabet = "0123456789abcdefABCDEFxX +-\t\xff\x01z";
    for (int i = 0; i < 400; ++i) {
        std::string text;
        size_t length = random() % 12;
        for (size_t k = 0; k < length; ++k) text += alphabet[random() % alphabet.size()];
        std::optional<ParameterNumber> n = parseParameterNumber(fx.link, text);
        if (!n) continue;
        EXPECT_GE(*n, FIRST_PARAMETER) << text;
        EXPECT_LE(*n, fx.link.endKey) << text;
        EXPECT_NE(device->parameter(*n), nullptr) << text;
    }
}

}  // namespace
