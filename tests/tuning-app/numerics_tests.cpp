#include <gtest/gtest.h>

#include <cmath>

#include "dravik/numerics.h"
#include "dravik/run_time_error.h"

namespace dravik {
namespace {

int ErrorNumberOf(auto&& call) {
    try {
        call();
    } catch (const RunTimeError& e) {
        return e.Number();
    }
    return 0;
}

TEST(IntegerStore, RoundsHalvesToEven) {
    EXPECT_EQ(ToLong(0.5), 0);
    EXPECT_EQ(ToLong(1.5), 2);
    EXPECT_EQ(ToLong(2.5), 2);
    EXPECT_EQ(ToLong(-0.5), 0);
    EXPECT_EQ(ToLong(-1.5), -2);
    EXPECT_EQ(ToLong(-2.5), -2);
    EXPECT_EQ(ToLong(2.5000001), 3);
    EXPECT_EQ(ToLong(254.99999999999997), 255);
    EXPECT_EQ(ToInteger(32767.4), 32767);
    EXPECT_EQ(ToInteger(-32768.5), -32768);  // the even neighbour is in range
}

TEST(IntegerStore, ValuesBeyondTheRangeAreOverflowErrors) {
    EXPECT_EQ(ErrorNumberOf([] { ToInteger(32767.5); }), errors::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { ToInteger(-32769); }), errors::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { ToInteger(40000); }), errors::kOverflow);
    EXPECT_EQ(ToLong(2147483647.4), 2147483647);
    EXPECT_EQ(ToLong(-2147483648.0), -2147483647 - 1);
    EXPECT_EQ(ErrorNumberOf([] { ToLong(2147483647.5); }), errors::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { ToLong(-2147483649.0); }), errors::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { ToLong(std::nan("")); }), errors::kOverflow);
}

TEST(HalfUp, TakesTheLargestIntegerNotAboveXPlusHalf) {
    EXPECT_EQ(RoundHalfUp(2.5), 3);
    EXPECT_EQ(RoundHalfUp(3.5), 4);
    EXPECT_EQ(RoundHalfUp(-2.5), -2);
    EXPECT_EQ(RoundHalfUp(-2.6), -3);
    EXPECT_EQ(RoundHalfUp(7.49), 7);
}

TEST(LeadingNumber, ReadsPlainNumbersAndStopsAtTheFirstForeignCharacter) {
    EXPECT_EQ(LeadingNumber("42"), 42);
    EXPECT_EQ(LeadingNumber("-5.25"), -5.25);
    EXPECT_EQ(LeadingNumber("+800"), 800);
    EXPECT_EQ(LeadingNumber(".5"), 0.5);
    EXPECT_EQ(LeadingNumber("5."), 5);
    EXPECT_EQ(LeadingNumber("99.609375%"), 99.609375);
    EXPECT_EQ(LeadingNumber("1.2.3"), 1.2);
    EXPECT_EQ(LeadingNumber("12abc"), 12);
    EXPECT_EQ(LeadingNumber("1,5"), 1);  // "," is never a separator
    EXPECT_EQ(LeadingNumber("3\r"), 3);
}

TEST(LeadingNumber, IgnoresBlanksTabsAndLineFeedsAnywhere) {
    EXPECT_EQ(LeadingNumber("  1 2  "), 12);
    EXPECT_EQ(LeadingNumber("\t-\n3 . 5"), -3.5);
    EXPECT_EQ(LeadingNumber("1 e 2"), 100);
}

TEST(LeadingNumber, TextWithoutANumberIsZero) {
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber("   "), 0);
    EXPECT_EQ(LeadingNumber("abc"), 0);
    EXPECT_EQ(LeadingNumber("-"), 0);
    EXPECT_EQ(LeadingNumber("."), 0);
    EXPECT_EQ(LeadingNumber("--5"), 0);
    EXPECT_EQ(LeadingNumber("%"), 0);
    EXPECT_EQ(LeadingNumber("&"), 0);
    EXPECT_EQ(LeadingNumber("&X12"), 0);
    EXPECT_EQ(LeadingNumber("&H"), 0);
}

TEST(LeadingNumber, ReadsExponentsWithEOrD) {
    EXPECT_EQ(LeadingNumber("1E3"), 1000);
    EXPECT_EQ(LeadingNumber("2.5e-1"), 0.25);
    EXPECT_EQ(LeadingNumber("4D+2"), 400);
    EXPECT_EQ(LeadingNumber("7e"), 7);  // an exponent without digits is not part of the number
    EXPECT_EQ(LeadingNumber("7e+x"), 7);
    EXPECT_EQ(LeadingNumber("1E-400"), 0);
    EXPECT_EQ(LeadingNumber("0.000e999999"), 0);
    EXPECT_EQ(ErrorNumberOf([] { LeadingNumber("1E400"); }), errors::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { LeadingNumber("1E99999999999"); }), errors::kOverflow);
}

TEST(LeadingNumber, ReadsHexadecimalAndOctalPrefixes) {
    EXPECT_EQ(LeadingNumber("&H1F"), 31);
    EXPECT_EQ(LeadingNumber("&h1fz"), 31);
    EXPECT_EQ(LeadingNumber("&O17"), 15);
    EXPECT_EQ(LeadingNumber("&O19"), 1);
    EXPECT_EQ(LeadingNumber("&H7FFF"), 32767);
    EXPECT_EQ(LeadingNumber("&HFFFF"), -1);  // fits in 16 bits: read as a 16-bit integer
    EXPECT_EQ(LeadingNumber("&H10000"), 65536);
    EXPECT_EQ(LeadingNumber("&HFFFFFFFF"), -1);
    EXPECT_EQ(LeadingNumber("&H2C2"), 706);
    EXPECT_EQ(ErrorNumberOf([] { LeadingNumber("&H100000000"); }), errors::kOverflow);
}

TEST(DecimalFormats, TwoDecimalsRoundHalvesAwayFromZero) {
    EXPECT_EQ(FormatFixed2(53.125), "53.13");
    EXPECT_EQ(FormatFixed2(-53.125), "-53.13");
    EXPECT_EQ(FormatFixed2(99.609375), "99.61");
    EXPECT_EQ(FormatFixed2(100), "100.00");
    EXPECT_EQ(FormatFixed2(0), "0.00");
    EXPECT_EQ(FormatFixed2(0.004), "0.00");
    EXPECT_EQ(FormatFixed2(-0.004), "0.00");
    EXPECT_EQ(FormatFixed2(9.995), "10.00");
    EXPECT_EQ(FormatFixed2(1234567.891), "1234567.89");
    // 0.285 is stored a little below; the 15-digit form decides, as the runtime does.
    EXPECT_EQ(FormatFixed2(0.285), "0.29");
    EXPECT_EQ(FormatFixed2(32 / 10.24), "3.13");
}

TEST(DecimalFormats, LongPatternKeepsOneToElevenDecimals) {
    EXPECT_EQ(FormatLong(100), "100.0");
    EXPECT_EQ(FormatLong(99.609375), "99.609375");
    EXPECT_EQ(FormatLong(0.09765625), "0.09765625");
    EXPECT_EQ(FormatLong(1 / 10.24), "0.09765625");
    EXPECT_EQ(FormatLong(0), "0.0");
    EXPECT_EQ(FormatLong(1.0 / 3), "0.33333333333");
    EXPECT_EQ(FormatLong(2.0 / 3), "0.66666666667");
    EXPECT_EQ(FormatLong(0.000000000005), "0.00000000001");
    EXPECT_EQ(FormatLong(0.0000000000049), "0.0");
    EXPECT_EQ(FormatLong(-12.5), "-12.5");
    EXPECT_EQ(FormatLong(1e20), "100000000000000000000.0");
}

TEST(DecimalFormats, SeparatorIsTheCallersChoice) {
    EXPECT_EQ(FormatFixed2(1.5, ','), "1,50");
    EXPECT_EQ(FormatLong(1.5, ','), "1,5");
    EXPECT_EQ(FormatShortest(1.5, ','), "1,5");
}

TEST(ShortestText, AtMostFifteenSignificantDigits) {
    EXPECT_EQ(FormatShortest(254.99999999999997), "255");
    EXPECT_EQ(FormatShortest(0), "0");
    EXPECT_EQ(FormatShortest(-0.0), "0");
    EXPECT_EQ(FormatShortest(0.5), "0.5");
    EXPECT_EQ(FormatShortest(-5.25), "-5.25");
    EXPECT_EQ(FormatShortest(12), "12");
    EXPECT_EQ(FormatShortest(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(FormatShortest(0.1 + 0.2), "0.3");
    EXPECT_EQ(FormatShortest(123456789012345), "123456789012345");
    EXPECT_EQ(FormatShortest(0.0001), "0.0001");
}

TEST(ShortestText, LargeAndTinyValuesTakeTheExponentFormAndReadBack) {
    EXPECT_EQ(FormatShortest(1e15), "1E+15");
    EXPECT_EQ(FormatShortest(-2.5e20), "-2.5E+20");
    EXPECT_EQ(FormatShortest(0.00001), "1E-05");
    EXPECT_EQ(FormatShortest(1.5e-100), "1.5E-100");
    for (double x : {1e15, -2.5e20, 0.00001, 1.5e-100, 1234.5678, -0.001}) {
        EXPECT_EQ(LeadingNumber(FormatShortest(x)), x) << x;
    }
}

TEST(ShortestText, NonFiniteValuesAreOverflowErrors) {
    EXPECT_EQ(ErrorNumberOf([] { FormatShortest(HUGE_VAL); }), errors::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { FormatFixed2(std::nan("")); }), errors::kOverflow);
}

}  // namespace
}  // namespace dravik
