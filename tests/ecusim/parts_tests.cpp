#include "ecusim/line_directory.h"
#include "tester.h"
#include "wake_decoder.h"

namespace ecusim::testing {
namespace {

TEST(LineDirectory, StandardLinesAreMadeOnceAndOthersMustBeRegistered) {
    auto kw = AcquireLine("kw1281");
    ASSERT_TRUE(kw);
    EXPECT_EQ(AcquireLine("kw1281"), kw);
    auto* peer = dynamic_cast<EcuSimulator*>(kw->GetPeer());
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(peer->Config().protocol, EcuProtocol::Kw1281);
    auto kwp = AcquireLine("kwp2000");
    ASSERT_TRUE(kwp);
    EXPECT_EQ(dynamic_cast<EcuSimulator*>(kwp->GetPeer())->Config().kw2, 0x8F);
    EXPECT_EQ(AcquireLine("bench"), nullptr);
    auto mine = std::make_shared<kline::KLine>();
    RegisterLine("bench", mine);
    EXPECT_EQ(AcquireLine("bench"), mine);
    UnregisterLine("bench");
    EXPECT_EQ(AcquireLine("bench"), nullptr);
}

// Address 0x00 is one long low run: only the bit time nearest 200 ms explains it.
TEST(WakeDecoder, LongRunsTakeTheBitTimeNearestNominal) {
    for (double bitMs : {190.0, 198.0, 215.0}) {
        WakeDecoder d(180, 220, 200);
        const auto bit = static_cast<std::int64_t>(bitMs * kMs);
        d.OnLevel(0, false);
        d.OnLevel(9 * bit, true);
        WakeReport r;
        ASSERT_TRUE(d.Decide(d.DecisionTimeNs(), r));
        EXPECT_TRUE(r.valid) << bitMs << " " << r.reason;
        EXPECT_EQ(r.lineByte, 0x00);
        EXPECT_EQ(r.bitNs, bit);
    }
    // Nine bits of 185 ms are eight of 208 ms: read as a UART at the nominal rate would.
    {
        WakeDecoder d(180, 220, 200);
        d.OnLevel(0, false);
        d.OnLevel(9 * 185 * kMs, true);
        WakeReport r;
        ASSERT_TRUE(d.Decide(d.DecisionTimeNs(), r));
        EXPECT_EQ(r.lineByte, 0x80);
    }
    // UART traffic at 10400 baud never starts a decision.
    WakeDecoder d(180, 220, 200);
    d.OnLevel(0, false);
    d.OnLevel(96'000, true);
    EXPECT_EQ(d.DecisionTimeNs(), WakeDecoder::kNever);
}

}  // namespace
}  // namespace ecusim::testing
