// The main window's ECU operations against a scripted ECU: the Set report, a link lost in
// the middle of a set, failures the user must see, and values beyond 16 bits.
#include <functional>
#include <map>
#include <utility>

#include "app_fixture.h"
#include "dravik/run_time_error.h"
#include "fake_comms.h"

namespace app_test {
namespace {

using dravik::testing::Answer;
using dravik::testing::Bytes;
using dravik::testing::FakeEcu;

// A KW1281 ECU: each channel holds a word; a store takes the value unless told otherwise.
struct ScriptedKw1281 {
    enum class Store { Take, Other, WrongReadBack, LoseLink };
    std::map<int, std::int32_t> words;
    std::map<int, Store> store;
    std::map<int, std::int32_t> otherValue;
    int wrongReadBack = -1;   // channel whose next read answers with a wrong block title
    int readsUntilLoss = -1;  // reads answered before the link dies (-1: it never does)

    Answer operator()(const Bytes& r) {
        const int channel = r.size() > 1 ? r[1] : -1;
        switch (r.at(0)) {
            case 0x09:
                return Answer::Of({0xF6, 'E', 'C', 'U', 0x12, 0x34});
            case 0x21: {
                if (readsUntilLoss >= 0 && readsUntilLoss-- == 0) return Answer::Fail();
                if (channel == wrongReadBack) {
                    wrongReadBack = -1;
                    return Answer::Of({0xE7, channel, 0, 0});
                }
                const std::int32_t w = words.count(channel) ? words[channel] : 0;
                return Answer::Of({0xE6, channel, w >> 8, w & 0xFF});
            }
            case 0x22:
                words[channel] = r.at(2) * 256 + r.at(3);
                return Answer::Of({0x09});
            case 0x2A:
                switch (store[channel]) {
                    case Store::Take:
                        words[channel] = r.at(2) * 256 + r.at(3);
                        break;
                    case Store::Other:
                        words[channel] = otherValue[channel];
                        break;
                    case Store::WrongReadBack:
                        wrongReadBack = channel;
                        break;
                    case Store::LoseLink:
                        return Answer::Fail();
                }
                return Answer::Of({0x09});
            default:
                return Answer::Of({0x09});
        }
    }
};

// Started, accepted and connected to the scripted ECU, with nothing sent yet.
class ScriptedOperations : public AppTest {
protected:
    void SetUp() override {
        for (std::int16_t i = 0; i < 12; ++i) {
            const std::int32_t raw = dravik::ChannelDefault(i) +
                                     (dravik::IsSignedChannel(i) ? dravik::kSignedOffset : 0);
            kw.words[dravik::ChannelNumber(i)] = raw;
        }
        ecu.protocol = VAG1281;
        ecu.respond = [this](const Bytes& r) { return kw(r); };
        window.CommsFactory = ecu.Factory();
        StartAndAccept();
        Click(*window.btnConnect);
        ASSERT_EQ(window.statuses.back(), "Connected.");
        ecu.sent.clear();
    }

    // Value and tested value as a successful test leaves them.
    void Tested(int channel, std::int32_t value) {
        Edit(channel, value);
        window.Channels.TestedValues.at(static_cast<std::size_t>(channel)) = value;
    }

    ScriptedKw1281 kw;
    FakeEcu ecu;
};

TEST_F(ScriptedOperations, SetReportHasOneEntryOfEachKindLineForLine) {
    kw.store[12] = ScriptedKw1281::Store::Other;  // Boost
    kw.otherValue[12] = 255;
    kw.store[9] = ScriptedKw1281::Store::WrongReadBack;  // Timing
    kw.store[8] = ScriptedKw1281::Store::LoseLink;       // Main Fuel Scale
    Tested(0, 300);
    Tested(3, 4);
    Tested(6, 150);
    Tested(7, 100);  // Fuel Load Increase: never sent, the link is gone by then
    answer = YesToTheConfirmation;
    Click(*window.btnSet);

    ASSERT_EQ(boxes.Calls().size(), 3u);
    EXPECT_EQ(boxes.Calls()[0].prompt,
              "Are you sure you want to change your car's startup values to the following?\r\n"
              "\r\nBoost = 117.19%,\r\nTiming = 3 deg,\r\nMain Fuel Scale = 117.19%,\r\n"
              "Fuel Load Increase = 78.13%\r\n\r\n"
              "Remember, changing these values can cause damage to your engine.\r\n"
              "If you have not read or agreed to the license agreement, you must click No.");
    EXPECT_EQ(boxes.Calls()[1].prompt, "Lost communication with ECU");
    EXPECT_EQ(boxes.Calls()[2].prompt,
              "The following settings could not be changed to the requested values:\r\n"
              "\r\n"
              "Boost. Reason: The ECU denied the requested value, using 99.61% instead,\r\n"
              "Timing. Reason: The ECU denied setting this value\r\n"
              "\r\n"
              "Additionally, Dravik lost communication with the ECU before it could set the "
              "following values:\r\n"
              "\r\n"
              "Main Fuel Scale,\r\n"
              "Fuel Load Increase");
    EXPECT_EQ(boxes.Calls()[2].title, "Dravik");
    EXPECT_EQ(boxes.Calls()[2].style, 0);
    EXPECT_EQ(window.statuses.back(), "Some channels could not be set.");
    // Boost holds what the ECU kept, as value, tested and start-up value; the others stay.
    EXPECT_EQ(Value(0), 255);
    EXPECT_EQ(window.Channels.StartupValues[0], 255);
    EXPECT_EQ(window.Channels.TestedValues[0], 255);
    EXPECT_EQ(window.Channels.StartupValues[3], 0);
    EXPECT_EQ(Value(3), 4);
    EXPECT_TRUE(window.btnConnect->Visible());
}

TEST_F(ScriptedOperations, LinkLostAtTheThirdOfFiveChannels) {
    kw.store[14] = ScriptedKw1281::Store::LoseLink;  // Idle Torque Offset, the third
    for (int i : {0, 1, 2, 3, 4}) Tested(i, dravik::ChannelDefault(i) + 1);
    answer = YesToTheConfirmation;
    Click(*window.btnSet);
    ExpectOnlyLostChannelsReported("Idle Torque Offset,\r\nTiming,\r\nSpeed Limiter");
    EXPECT_FALSE(window.btnDisconnect->Visible());
    // Sent: two stores with their reads, the failing store; nothing after the loss.
    ASSERT_EQ(ecu.sent.size(), 5u);
    EXPECT_EQ(ecu.sent[4], (Bytes{0x2A, 14, 0x00, 0x01, 0x00, 0x12, 0x34}));
    EXPECT_EQ(window.Channels.StartupValues[1], 1);
    EXPECT_EQ(window.Channels.StartupValues[2], 0);
}

TEST_F(ScriptedOperations, OperationsThatSendNothing) {
    Edit(0, 300);  // changed but not tested
    Tested(1, 0);  // tested back to its start-up value
    Click(*window.btnSet);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].style, 64);
    EXPECT_EQ(boxes.Calls()[0].prompt,
              "You have not changed any values (or you forgot to test them first), so there is "
              "nothing to set in the ECU.");

    Tested(2, 10);
    Click(*window.btnSet);  // answered No (the default)
    ASSERT_EQ(boxes.Calls().size(), 2u);
    EXPECT_EQ(boxes.Calls()[1].title, "Change Startup Parameters?");
    EXPECT_TRUE(ecu.sent.empty());

    Click(*window.btnDisconnect);
    ecu.sent.clear();
    Click(*window.btnSet);
    EXPECT_EQ(boxes.Calls().back().prompt,
              "You cannot set the following values because you are not currently connected "
              "to the ECU:\r\n\r\nIdle Torque Offset = 0.98");
    Click(window.btnTest(0));
    EXPECT_EQ(boxes.Calls().back().prompt,
              "You cannot test this value because you are not currently connected to the ECU.");
    // Reset asks nothing and sends nothing; its read makes every value shown the stored one.
    const std::size_t shownBoxes = boxes.Calls().size();
    window.mnuSpecial(0).Choose();
    EXPECT_EQ(boxes.Calls().size(), shownBoxes);
    EXPECT_EQ(window.Channels.StartupValues[0], 300);
    EXPECT_EQ(window.Channels.TestedValues[0], 300);
    EXPECT_TRUE(ecu.sent.empty());
}

TEST_F(ScriptedOperations, ReadsKeepGoingPastFailuresAndWideValues) {
    kw.words[12] = 0xFFFF;  // Boost far beyond its limits and beyond 16 bits signed
    kw.wrongReadBack = 9;   // Timing's read fails while the link stays up
    window.mnuSpecial(0).Choose();
    EXPECT_FALSE(window.fReading);
    EXPECT_EQ(Value(0), 0xFFFF);
    EXPECT_EQ(window.Channels.ChannelTable[0].Max, 0xFFFF);
    EXPECT_EQ(window.Channels.StartupValues[0], 0xFFFF);
    EXPECT_EQ(window.Channels.TestedValues[3], dravik::ValueUnknown);
    EXPECT_EQ(window.statuses.back(), "Connected.");

    // A failed test changes nothing and says nothing.
    kw.wrongReadBack = 12;
    Edit(0, 300);
    Click(window.btnTest(0));
    EXPECT_EQ(Value(0), 300);
    EXPECT_EQ(window.Channels.TestedValues[0], 0xFFFF);
    EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(ScriptedOperations, LinkLostAtEachChannelOfAConnectsRead) {
    Click(*window.btnDisconnect);
    for (int lost = 0; lost < 12; ++lost) {
        for (std::int16_t i = 0; i < 12; ++i) Edit(i, dravik::ChannelDefault(i) + 1);
        kw.readsUntilLoss = lost;
        window.statuses.clear();
        Click(*window.btnConnect);
        EXPECT_EQ(window.statuses.back(), "Could not connect.") << lost;
        EXPECT_EQ(boxes.Calls().back().prompt, "Lost communication with ECU");
        EXPECT_FALSE(window.fReading);
        EXPECT_TRUE(window.btnConnect->Visible());
        for (std::int16_t i = 0; i < 12; ++i) {
            // Read before the loss: the ECU's value; from the lost one on: the value shown.
            const std::int32_t expected = dravik::ChannelDefault(i) + (i < lost ? 0 : 1);
            EXPECT_EQ(Value(i), expected) << lost << " " << i;
            EXPECT_EQ(window.Channels.StartupValues[i], expected) << lost << " " << i;
            EXPECT_EQ(window.Channels.TestedValues[i], expected) << lost << " " << i;
        }
    }
}

TEST_F(ScriptedOperations, PageSwitchKeepsEditedValuesOnlyWhileConnected) {
    Edit(0, 300);
    Click(*window.btnAdvancedFuel);
    Click(*window.btnBaseWindow);
    EXPECT_EQ(Value(0), 300);
    Click(*window.btnDisconnect);
    Click(*window.btnAdvancedFuel);
    EXPECT_EQ(Value(0), 255);  // back to the default, as without a session
}

TEST_F(ScriptedOperations, FailingCloseStillEndsInTheDisconnectedState) {
    ecu.closeResult = E_FAIL;
    ecu.respond = [](const Bytes&) { return Answer::Fail(); };  // the end request fails too
    Click(*window.btnDisconnect);
    EXPECT_FALSE(window.fDisconnecting);
    EXPECT_TRUE(window.btnConnect->Visible());
    EXPECT_FALSE(window.tmrKeepalive->Enabled());
    EXPECT_EQ(window.statuses.back().rfind("Disconnected. ", 0), 0u) << window.statuses.back();
    EXPECT_TRUE(boxes.Calls().empty());  // no lost-link box for a disconnect
}

// The window system's clock against ours (parts per million), and a time left idle between
// two operations.
class HeldInput : public ScriptedOperations,
                  public ::testing::WithParamInterface<std::pair<int, long long>> {};

TEST_P(HeldInput, InputGivenWhileAnOperationHoldsTheWindowIsDropped) {
    // A person clicks again where the button was, or types Ctrl+O, while the operation's
    // first request holds the window.
    forms::testing::InputOnTimeLine paced(GetParam().first);
    std::function<void()> meanwhile;
    ecu.respond = [this, &meanwhile](const Bytes& r) {
        if (meanwhile) std::exchange(meanwhile, nullptr)();
        return kw(r);
    };
    const double x = window.btnConnect->Left() + 60, y = window.btnConnect->Top() + 30;
    auto mouse = [&](MouseAction action) {
        forms::testing::PostMouse(window, action, forms::kLeftButton, x, y);
    };
    auto after = [&](int ms, std::function<void()> input) {
        meanwhile = [this, ms, input] {
            timers.Block(ms);
            input();
            timers.Block(500);  // the rest of the operation
        };
    };

    timers.Advance(1000);
    after(400, [&] { mouse(MouseAction::Press); });
    Click(*window.btnDisconnect);
    mouse(MouseAction::Release);  // after the operation: goes with its press
    forms::DoEvents();
    EXPECT_EQ(window.statuses.back(), "Disconnected.");
    EXPECT_EQ(window.btnConnect->GetPicture(), window.GetImage(0));

    timers.Block(GetParam().second);  // left idle
    after(1200, [&] {
        mouse(MouseAction::Press);
        mouse(MouseAction::Release);
        forms::testing::PostKey(window, 'O', forms::kCtrlMask);
    });
    Click(*window.btnConnect);
    forms::DoEvents();
    EXPECT_EQ(window.statuses.back(), "Connected.");
    EXPECT_TRUE(window.btnDisconnect->Visible());
    EXPECT_EQ(window.loadClicks, 0);

    timers.Advance(1000);
    forms::testing::PostKey(window, 'O', forms::kCtrlMask);  // given a second after it: taken
    forms::DoEvents();
    EXPECT_EQ(window.loadClicks, 1);
}

// The last idle time takes the run time, and the window system's 32-bit stamps, past 2^32 ms.
INSTANTIATE_TEST_SUITE_P(ClocksAndIdleTimes, HeldInput,
                         ::testing::Values(std::pair{0, 0LL}, std::pair{-100, 86'400'000LL},
                                           std::pair{100, 86'400'000LL},
                                           std::pair{0, 2'200'000'000LL},
                                           std::pair{0, 4'400'000'000LL}));

TEST_F(ScriptedOperations, ExitEndsWithoutTellingTheEcu) {
    window.mnuFile(3).Choose();
    EXPECT_EQ(ends.Count(), 1);
    EXPECT_TRUE(ecu.sent.empty());
    EXPECT_EQ(ecu.closeCalls, 0);
}

}  // namespace
}  // namespace app_test
