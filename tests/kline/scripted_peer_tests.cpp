// The rule-driven peer that other layers' tests use in place of an ECU.
#include "kline/scripted_peer.h"
#include "wire_fixture.h"

namespace kline::testing {
namespace {

class ScriptedPeerTest : public ::testing::Test {
protected:
    ScriptedPeerTest() : clock(kStartNs), scoped(clock) {}

    std::vector<std::uint8_t> ReadValues() {
        std::vector<std::uint8_t> v;
        ReceivedByte b;
        while (line.TesterRead(b)) v.push_back(b.value);
        return v;
    }

    platform::SimulatedClock clock;
    platform::ScopedClock scoped;
    KLine line;
};

TEST_F(ScriptedPeerTest, AnswersEachRequestOnceInOrder) {
    auto ecu = std::make_shared<ScriptedPeer>();
    ecu->AddRule({0xC1, 0x33, 0xF1, 0x81, 0x66}, 30, {0x83, 0xF1, 0x10, 0xC1, 0x8F, 0xEF, 0xC4});
    ecu->AddRule({0x3E}, 10, {0x7E});
    line.AttachPeer(ecu);

    std::vector<std::uint8_t> request{0xC1, 0x33, 0xF1, 0x81, 0x66};
    line.TesterWrite(request.data(), request.size());
    clock.AdvanceNs(25 * kMs);
    EXPECT_EQ(ReadValues(), request);  // echo
    EXPECT_EQ(ecu->RulesFired(), 1u);
    clock.AdvanceNs(25 * kMs);
    EXPECT_EQ(ReadValues(), (std::vector<std::uint8_t>{0x83, 0xF1, 0x10, 0xC1, 0x8F, 0xEF, 0xC4}));

    // Noise in front of a request does not stop the next rule from matching.
    const std::uint8_t rest[] = {0x00, 0x3E};
    line.TesterWrite(rest, 2);
    clock.AdvanceNs(25 * kMs);
    EXPECT_EQ(ReadValues(), (std::vector<std::uint8_t>{0x00, 0x3E, 0x7E}));
    EXPECT_EQ(ecu->RulesLeft(), 0u);

    // The record holds everything the peer heard (never its own bytes), with times.
    EXPECT_EQ(ecu->ReceivedValues(),
              (std::vector<std::uint8_t>{0xC1, 0x33, 0xF1, 0x81, 0x66, 0x00, 0x3E}));
    const std::int64_t lastRequestNs = ecu->Received()[4].timeNs;
    EXPECT_EQ(line.Traffic()[5].startNs, lastRequestNs + 30 * kMs);
}

TEST_F(ScriptedPeerTest, FiveBaudAddressThenKeyBytesWithGapsAtTenFourHundred) {
    Framing slow;
    slow.baud = 5;
    auto ecu = std::make_shared<ScriptedPeer>(slow);
    ScriptedPeer::Rule wake;
    wake.after = {0x01};
    wake.delayNs = 60 * kMs;
    wake.send = {0x55, 0x01, 0x8A};
    wake.byteGapNs = 5 * kMs;
    wake.framing = Framing{};
    ecu->AddRule(wake);
    ecu->AddRule({0x75}, 25, {0x0F});
    line.AttachPeer(ecu);

    // Address 0x01 bit-banged with break: start 0, bit 0 = 1, bits 1-7 = 0, stop 1.
    for (int bit : {0, 1, 0, 0, 0, 0, 0, 0, 0}) {
        line.SetTesterBreak(bit == 0);
        clock.AdvanceNs(200 * kMs);
    }
    line.SetTesterBreak(false);
    line.TesterPurgeReceive();  // the break's own 0x00 bytes
    clock.AdvanceNs(300 * kMs);
    EXPECT_EQ(ReadValues(), (std::vector<std::uint8_t>{0x55, 0x01, 0x8A}));
    const std::vector<WireByte>& t = line.Traffic();
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[1].startNs - t[0].endNs, 5 * kMs);
    EXPECT_EQ(line.PeerFraming().baud, 10400u);

    const std::uint8_t inverse = 0x75;
    line.TesterWrite(&inverse, 1);
    clock.AdvanceNs(40 * kMs);
    EXPECT_EQ(ReadValues(), (std::vector<std::uint8_t>{0x75, 0x0F}));
    EXPECT_EQ(ecu->ReceivedValues(), (std::vector<std::uint8_t>{0x01, 0x75}));
}

}  // namespace
}  // namespace kline::testing
