#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "dravik/channel_table.h"
#include "dravik/numerics.h"
#include "dravik/run_time_error.h"

namespace dravik {
namespace {

std::int32_t ParsedValue(std::int16_t index, const std::string& text) {
    return ToLong(LeadingNumber(ParseChannelValue(index, text)));
}

TEST(ChannelDefinitions, NamesNumbersAndSignedChannels) {
    EXPECT_EQ(ChannelName(0), "Boost");
    EXPECT_EQ(ChannelName(11), "Warmup Fuel Enrichment");
    EXPECT_EQ(ChannelName(12), "");
    EXPECT_EQ(ChannelName(-1), "");
    EXPECT_EQ(ChannelNumber(0), 12);
    EXPECT_EQ(ChannelNumber(5), 1);
    EXPECT_EQ(ChannelNumber(-1), -1);
    EXPECT_EQ(ChannelNumber(12), -1);

    std::vector<std::string> signedNames;
    for (std::int16_t i = 0; i < kChannelCount; ++i) {
        if (IsSignedChannel(i)) signedNames.push_back(ChannelName(i));
    }
    EXPECT_EQ(signedNames, (std::vector<std::string>{"Lambda Regulation", "Timing", "Speed Limiter",
                                                     "Idle Speed"}));
    EXPECT_FALSE(IsSignedChannel(12));
}

TEST(ChannelState, StartsWithEveryChannelAtItsDefaultAndStored) {
    ChannelState state;
    for (std::int16_t i = 0; i < kChannelCount; ++i) {
        const auto& r = state.ChannelTable[static_cast<std::size_t>(i)];
        EXPECT_EQ(r.Min, ChannelDefaultMin(i));
        EXPECT_EQ(r.Max, ChannelDefaultMax(i));
        EXPECT_EQ(r.Value, ChannelDefault(i));
        EXPECT_EQ(state.TestedValues[static_cast<std::size_t>(i)], r.Value);
        EXPECT_EQ(state.StartupValues[static_cast<std::size_t>(i)], r.Value);
        EXPECT_EQ(state.StartupValuesCopy[static_cast<std::size_t>(i)], r.Value);
    }
    EXPECT_EQ(state.ChannelTable[0].Value, 255);
    EXPECT_EQ(state.ChannelTable[6].Value, 128);
}

TEST(ChannelState, InitChannelLimitsKeepsValuesOnlyWhileConnected) {
    ChannelState state;
    bool connected = true;
    state.isConnected = [&] { return connected; };
    state.ChannelTable[0].Value = 400;
    state.WidenLimits(0, 400);
    EXPECT_EQ(state.ChannelTable[0].Max, 400);
    state.InitChannelLimits();
    EXPECT_EQ(state.ChannelTable[0].Value, 400);
    EXPECT_EQ(state.ChannelTable[0].Max, 333);

    connected = false;
    state.ChannelTable[4].Value = -100;
    state.InitChannelLimits();
    EXPECT_EQ(state.ChannelTable[0].Value, 255);
    EXPECT_EQ(state.ChannelTable[4].Value, 0);
}

TEST(ChannelState, WideningAndStartupValuesStay32Bit) {
    ChannelState state;
    state.WidenLimits(2, 65535);
    state.WidenLimits(2, -70000);
    EXPECT_EQ(state.ChannelTable[2].Max, 65535);
    EXPECT_EQ(state.ChannelTable[2].Min, -70000);
    state.SetStartupValue(2, 65535);
    EXPECT_EQ(state.StartupValues[2], 65535);
    EXPECT_EQ(state.StartupValuesCopy[2], 65535);
    EXPECT_EQ(state.FormatChannelValue(2, 65535, true), "6399.90234375");
}

TEST(ChannelState, BadIndexesAreSubscriptErrors) {
    ChannelState state;
    for (auto call : {+[](ChannelState& s) { s.SetStartupValue(12, 0); },
                      +[](ChannelState& s) { s.SetChannelLimits(-1, 0, 1, 0); },
                      +[](ChannelState& s) { s.WidenLimits(12, 0); }}) {
        try {
            call(state);
            ADD_FAILURE() << "no error";
        } catch (const RunTimeError& e) {
            EXPECT_EQ(e.Number(), errors::kSubscriptOutOfRange);
        }
    }
    EXPECT_EQ(state.FormatChannelValue(12, -42, true), "-42");
    EXPECT_EQ(state.FormatChannelValue(-1, 7, false), "7");
}

struct FormatExample {
    std::int16_t index;
    std::int32_t value;
    const char* screen;
    const char* file;
};

TEST(FormatChannelValue, ExamplesOfEveryRowForm) {
    const FormatExample examples[] = {
        {0, 255, "99.61%", "99.609375%"}, {0, 333, "130.08%", "130.078125%"},
        {6, 128, "100.00%", "100.0%"},    {6, 129, "100.78%", "100.78125%"},
        {2, 1, "0.10", "0.09765625"},     {2, 0, "0.00", "0.0"},
        {2, 3, "0.29", "0.29296875"},     {3, -7, "-5.25 deg", "-5.25"},
        {3, 16, "12 deg", "12"},          {3, 1, "0.75 deg", "0.75"},
        {3, 2, "1.5 deg", "1.5"},         {4, 0, "+0 kph", "+0"},
        {4, -128, "-128 kph", "-128"},    {5, -20, "-200 rpm", "-200"},
        {5, 80, "+800 rpm", "+800"},      {1, 10, "10", "10"},
        {1, -10, "-10", "-10"},           {11, 64, "50.00%", "50.0%"},
    };
    for (const auto& e : examples) {
        ChannelState state;
        state.TestedValues[static_cast<std::size_t>(e.index)] = e.value;
        state.StartupValues[static_cast<std::size_t>(e.index)] = e.value;
        EXPECT_EQ(state.FormatChannelValue(e.index, e.value, false), e.screen) << e.index;
        EXPECT_EQ(state.FormatChannelValue(e.index, e.value, true), e.file) << e.index;
    }
}

TEST(FormatChannelValue, MarksAndTooltipsFollowTheValueGiven) {
    ChannelState state;
    std::vector<std::pair<int, std::string>> tooltips;
    state.setValueTooltip = [&](int row, const std::string& tip) {
        tooltips.emplace_back(row, tip);
    };

    // Tested Boost of 255 that is not stored.
    state.StartupValues[0] = 200;
    EXPECT_EQ(state.FormatChannelValue(0, 255, false), "99.61%**");
    // Untested Speed Limiter of 0: "*" whatever the start-up value.
    state.TestedValues[4] = 5;
    EXPECT_EQ(state.FormatChannelValue(4, 0, false), "+0 kph*");
    // The marks follow the unit; "*" also when the value differs from both references.
    state.StartupValues[5] = -5;
    EXPECT_EQ(state.FormatChannelValue(5, 0, false), "+0 rpm**");
    state.StartupValues[3] = 4;
    EXPECT_EQ(state.FormatChannelValue(3, 1, false), "0.75 deg*");
    // Stored: no mark.
    EXPECT_EQ(state.FormatChannelValue(7, 128, false), "100.00%");
    // After a failed read the channel shows as untested until read again.
    state.TestedValues[9] = ValueUnknown;
    EXPECT_EQ(state.FormatChannelValue(9, 128, false), "100.00%*");
    // The file form carries no mark and leaves the tooltip alone.
    EXPECT_EQ(state.FormatChannelValue(4, 0, true), "+0");

    ASSERT_EQ(tooltips.size(), 6u);
    EXPECT_EQ(tooltips[0], std::make_pair(0, std::string(kUnstoredTooltip)));
    EXPECT_EQ(tooltips[1], std::make_pair(4, std::string(kUntestedTooltip)));
    EXPECT_EQ(tooltips[2], std::make_pair(5, std::string(kUnstoredTooltip)));
    EXPECT_EQ(tooltips[3], std::make_pair(3, std::string(kUntestedTooltip)));
    EXPECT_EQ(tooltips[4], std::make_pair(1, std::string()));
    EXPECT_EQ(tooltips[5], std::make_pair(3, std::string(kUntestedTooltip)));
    EXPECT_STREQ(kUntestedTooltip, "This value has not been tested.");
    EXPECT_STREQ(kUnstoredTooltip,
                 "Press set if you want the ECU to remember this value every time you start the "
                 "car.");
}

TEST(FormatChannelValue, OnlyScreenTextsFollowTheLocaleSeparator) {
    ChannelState state;
    state.screenDecimalSeparator = ',';
    EXPECT_EQ(state.FormatChannelValue(0, 255, false), "99,61%");
    EXPECT_EQ(state.FormatChannelValue(3, -7, false), "-5,25 deg*");  // untested
    EXPECT_EQ(state.FormatChannelValue(0, 255, true), "99.609375%");
    EXPECT_EQ(state.FormatChannelValue(2, 3, true), "0.29296875");
    EXPECT_EQ(state.FormatChannelValue(3, -7, true), "-5.25");
}

// Under a comma locale (when the system has one) screen texts follow it; file texts and their
// parsing keep the point, so a saved file reads back the same anywhere.
TEST(FormatChannelValue, CommaLocaleReachesOnlyTheScreen) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    const char* found = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name)) {
            found = name;
            break;
        }
    }
    if (!found) GTEST_SKIP() << "no comma locale installed";
    ChannelState state;
    const std::string screen = state.FormatChannelValue(0, 255, false);
    const std::string file = state.FormatChannelValue(2, 3, true);
    const std::string parsed = ParseChannelValue(3, "0.375");
    const std::int32_t value = ParsedValue(0, "99.609375%");
    std::setlocale(LC_NUMERIC, previous.c_str());
    EXPECT_EQ(screen, "99,61%");
    EXPECT_EQ(file, "0.29296875");
    EXPECT_EQ(parsed, "0.5");
    EXPECT_EQ(value, 255);
}

TEST(ParseChannelValue, ExamplesScaleBackToRawValues) {
    EXPECT_EQ(ParseChannelValue(0, "99.609375%"), "255");
    EXPECT_EQ(ParseChannelValue(2, "0.29296875"), "3");
    EXPECT_EQ(ParseChannelValue(5, "+800"), "80");
    EXPECT_EQ(ParseChannelValue(1, " 1 2 "), "12");
    EXPECT_EQ(ParseChannelValue(3, "0.375"), "0.5");
    EXPECT_EQ(ParsedValue(3, "0.375"), 0);
    EXPECT_EQ(ParseChannelValue(3, "0.5625"), "0.75");
    EXPECT_EQ(ParsedValue(3, "0.5625"), 1);
    EXPECT_EQ(ParsedValue(0, "500%"), 1280);
    EXPECT_EQ(ParsedValue(6, "100.78125%"), 129);
    EXPECT_EQ(ParseChannelValue(12, "7.5"), "7.5");
    EXPECT_EQ(ParseChannelValue(-1, "%%-3%"), "-3");
    for (std::int16_t i = 0; i < kChannelCount; ++i) {
        EXPECT_EQ(ParseChannelValue(i, "no digits"), "0") << i;
        EXPECT_EQ(ParseChannelValue(i, ""), "0") << i;
    }
}

TEST(ParseChannelValue, EveryFileTextReadsBackToItsValue) {
    ChannelState state;
    state.screenDecimalSeparator = ',';  // must not leak into file texts
    for (std::int16_t i = 0; i < kChannelCount; ++i) {
        for (std::int32_t v = -300; v <= 66000; v += (v < 400 ? 1 : 97)) {
            const std::string text = state.FormatChannelValue(i, v, true);
            ASSERT_EQ(ParsedValue(i, text), v) << ChannelName(i) << " " << text;
        }
    }
}

TEST(ParseChannelValue, NumbersBeyondADoubleAreOverflowErrors) {
    try {
        ParseChannelValue(0, "1E400%");
        ADD_FAILURE() << "no error";
    } catch (const RunTimeError& e) {
        EXPECT_EQ(e.Number(), errors::kOverflow);
    }
    // Finite before scaling, infinite after.
    EXPECT_THROW(ParseChannelValue(0, "1E307"), RunTimeError);
}

}  // namespace
}  // namespace dravik
