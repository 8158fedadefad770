// Parameter numbers and values without a device: stepping, widths, the
// typed texts of the number and value fields.
#include <gtest/gtest.h>

#include "link/DeviceLink.h"
#include "params/NumberText.h"
#include "params/ParameterModel.h"

namespace {

struct Stepping : ::testing::Test {
    DeviceLink link;
    Stepping() { link.parameterAccess = 1; }
    ParameterNumber next(ParameterNumber n) { return nextParameterNumber(link, n); }
    ParameterNumber previous(ParameterNumber n) { return previousParameterNumber(link, n); }
};

TEST_F(Stepping, CrossesPagesBothWays) {
    EXPECT_EQ(next(0x017E), 0x0200u);
    EXPECT_EQ(previous(0x0200), 0x017Eu);
    EXPECT_EQ(next(0x0100), 0x0102u);
    EXPECT_EQ(previous(0x0102), 0x0100u);
    EXPECT_EQ(next(0x7E7E), 0x7F00u);
}

TEST_F(Stepping, StopsAtTheBounds) {
    EXPECT_EQ(previous(0x0100), 0x0100u);
    EXPECT_EQ(previous(0x0101), 0x0101u);
    EXPECT_EQ(next(0x7F7E), 0x7F7Eu);
    link.endKey = 0x0A10;
    EXPECT_EQ(next(0x0A10), 0x0A10u);
    EXPECT_EQ(next(0x0A0E), 0x0A10u);
    // Beyond the bound comes back to it, also where +2 would wrap to page 0.
    EXPECT_EQ(next(0x2000), 0x0A10u);
    EXPECT_EQ(next(0xFFFFFFFF), 0x0A10u);
    EXPECT_EQ(next(0xFFFFFFFE), 0x0A10u);
}

TEST_F(Stepping, BackwardFromBeyondTheTableGivesTheCeiling) {
    for (ParameterNumber n : {0x8000u, 0x8001u, 0x8100u, 0xFFFEu, 0x10000u, 0x20100u, 0xFFFFFFFFu})
        EXPECT_EQ(previous(n), PARAMETER_CEILING) << std::hex << n;
}

TEST_F(Stepping, NothingMovesWithoutParameterAccess) {
    link.parameterAccess = 0;
    EXPECT_EQ(next(0x0200), 0x0200u);
    EXPECT_EQ(previous(0x0200), 0x0200u);
    ParameterNumber n = 0x0200;
    EXPECT_EQ(seekParameter(link, n, false), SeekResult::Failed);
    EXPECT_EQ(n, 0x0200u);
    EXPECT_EQ(link.progressCounter, 0u);   // returned before any read
}

TEST(ParameterValues, WidthsAndClamping) {
    EXPECT_EQ(maxParameterValue(2), 255u);
    EXPECT_EQ(maxParameterValue(4), 65535u);
    EXPECT_EQ(maxParameterValue(6), 16777215u);
    EXPECT_EQ(maxParameterValue(8), 4294967295u);
    EXPECT_EQ(maxParameterValue(0), 0u);

    bool clamped = true;
    EXPECT_EQ(parseParameterValue("300", 2, &clamped), 255u);
    EXPECT_TRUE(clamped);
    EXPECT_EQ(parseParameterValue("255", 2, &clamped), 255u);
    EXPECT_FALSE(clamped);
    EXPECT_EQ(parseParameterValue("4294967295", 8, &clamped), 4294967295u);
    EXPECT_FALSE(clamped);
    // Too big for 32 (or 64) bits: clamped to the top, never wrapped to a small value.
    EXPECT_EQ(parseParameterValue("4294967296", 8, &clamped), 4294967295u);
    EXPECT_TRUE(clamped);
    EXPECT_EQ(parseParameterValue("4294967296", 4), 65535u);
    EXPECT_EQ(parseParameterValue("99999999999999999999999999999", 6), 16777215u);
    EXPECT_EQ(parseParameterValue("-1", 8, &clamped), 0u);
    EXPECT_TRUE(clamped);
}

TEST(ParameterValues, TextsWithoutANumberGiveZero) {
    EXPECT_EQ(parseParameterValue("", 4), 0u);
    EXPECT_EQ(parseParameterValue("abc", 4), 0u);
    EXPECT_EQ(parseParameterValue("   ", 4), 0u);
    EXPECT_EQ(parseParameterValue("  42xyz", 4), 42u);
    EXPECT_EQ(parseParameterValue("+17", 4), 17u);
    EXPECT_EQ(formatParameterValue(4294967295u), "4294967295");
    EXPECT_EQ(formatParameterNumber(0x0102), "0102");
    EXPECT_EQ(formatParameterNumber(0x7F7E), "7f7e");
}

TEST(TypedHexNumbers, ReadLikeTheHexConversion) {
    EXPECT_EQ(scanHexNumber("102"), 0x102u);
    EXPECT_EQ(scanHexNumber("  0x17f"), 0x17Fu);
    EXPECT_EQ(scanHexNumber("7F7F"), 0x7F7Fu);
    EXPECT_EQ(scanHexNumber("12zz"), 0x12u);
    EXPECT_EQ(scanHexNumber("0x"), 0u);        // the 0 alone is the number
    EXPECT_EQ(scanHexNumber("0xg"), 0u);
    EXPECT_EQ(scanHexNumber("+ff"), 0xFFu);
    EXPECT_EQ(scanHexNumber("-1"), 0xFFFFFFFFu);
    EXPECT_FALSE(scanHexNumber(""));
    EXPECT_FALSE(scanHexNumber("g12"));
    EXPECT_FALSE(scanHexNumber("x12"));
    EXPECT_FALSE(scanHexNumber(" \t\n"));
    EXPECT_FALSE(scanHexNumber("-"));
    // More than eight digits: the value saturates instead of keeping its low
    // part, so "1000000000102" does not pass for 0x0102.
    EXPECT_EQ(scanHexNumber("100000102"), 0xFFFFFFFFu);
    EXPECT_EQ(scanHexNumber("1000000000102"), 0xFFFFFFFFu);
    EXPECT_EQ(scanHexNumber(std::string(10000, 'f')), 0xFFFFFFFFu);
    EXPECT_EQ(scanHexNumber("ffffffff"), 0xFFFFFFFFu);
}

}  // namespace
