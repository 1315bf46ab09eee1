// The peer's view: what it hears, when its callbacks run, and how its replies reach the tester.
#include "wire_fixture.h"

namespace kline::testing {
namespace {

class PeerSide : public WireTest {};

TEST_F(PeerSide, ReplyFollowsRequestAndPeerDoesNotHearItself) {
    const std::vector<std::uint8_t> reply{0x83, 0xF1, 0x10, 0x50, 0x81, 0x55};
    std::int64_t lastRequestNs = 0;
    peer->onByte = [&](const ReceivedByte& b) {
        if (peer->bytes.size() == 3) {
            lastRequestNs = b.timeNs;
            peer->line->PeerTransmit(reply.data(), reply.size(), b.timeNs + 25 * kMs);
        }
    };
    Write({0x81, 0x10, 0xF1});
    WaitMs(25);
    EXPECT_EQ(Values(ReadAll()), (std::vector<std::uint8_t>{0x81, 0x10, 0xF1}));
    WaitMs(25);
    const std::vector<ReceivedByte> got = ReadAll();
    EXPECT_EQ(Values(got), reply);
    ASSERT_FALSE(got.empty());
    EXPECT_NEAR(got[0].timeNs - lastRequestNs, 25 * kMs + 9.5e9 / 10400, 1);
    EXPECT_EQ(peer->bytes.size(), 3u);  // its own reply is not heard

    ASSERT_EQ(line.Traffic().size(), 9u);
    EXPECT_EQ(line.Traffic()[3].sender, Side::Peer);
    EXPECT_EQ(line.Traffic()[3].startNs, lastRequestNs + 25 * kMs);

    // Once the reply is out the peer hears the tester again.
    Write({0x02});
    WaitMs(5);
    ASSERT_EQ(peer->bytes.size(), 4u);
    EXPECT_EQ(peer->bytes[3].value, 0x02);
}

TEST_F(PeerSide, ComplementSentFromTheCallbackInterleavesWithTheEcho) {
    // One byte at a time, the peer answering each with its complement 2 ms later.
    peer->onByte = [&](const ReceivedByte& b) {
        const std::uint8_t inverse = static_cast<std::uint8_t>(~b.value);
        peer->line->PeerTransmit(&inverse, 1, b.timeNs + 2 * kMs);
    };
    std::vector<std::uint8_t> seen;
    for (std::uint8_t value : {0x0F, 0x01, 0xF6}) {
        Write({value});
        WaitMs(5);
        for (const ReceivedByte& b : ReadAll()) seen.push_back(b.value);
    }
    EXPECT_EQ(seen, (std::vector<std::uint8_t>{0x0F, 0xF0, 0x01, 0xFE, 0xF6, 0x09}));
}

TEST_F(PeerSide, TesterAnsweringInThePeersStopBitIsHeard) {
    // The tester gets the peer's byte in the middle of its stop bit and answers at once,
    // so its start bit falls inside the peer's stop bit.
    const std::uint8_t block[] = {0x0F, 0x01};
    const std::int64_t t0 = clock.NowNs();
    line.PeerTransmit(block, 1, t0);
    clock.SleepUntilNs(t0 + 19 * 500'000'000LL / 10400);
    ReceivedByte got;
    ASSERT_TRUE(line.TesterRead(got));
    EXPECT_EQ(got.value, 0x0F);
    Write({0xF0});
    WaitMs(2);
    ASSERT_EQ(peer->bytes.size(), 1u);
    EXPECT_EQ(peer->bytes[0].value, 0xF0);
    EXPECT_FALSE(peer->bytes[0].framingError);
    // Back-to-back peer bytes still go unheard by the peer itself.
    line.PeerTransmit(block, 2, clock.NowNs());
    WaitMs(5);
    EXPECT_EQ(peer->bytes.size(), 1u);
}

TEST_F(PeerSide, BitBangedFiveBaudAddressReachesLevelCallbacksAndAFiveBaudUart) {
    Framing slow;
    slow.baud = 5;
    line.SetPeerFraming(slow);
    const std::int64_t t0 = clock.NowNs();
    // 0x33 in time order: start 0, bits 1 1 0 0 1 1 0 0, stop 1.
    const int bits[] = {0, 1, 1, 0, 0, 1, 1, 0, 0, 1};
    for (int bit : bits) {
        line.SetTesterBreak(bit == 0);
        WaitMs(200);
    }
    const std::vector<RecordingPeer::Level> expected{{t0, false},
                                                     {t0 + 200 * kMs, true},
                                                     {t0 + 600 * kMs, false},
                                                     {t0 + 1000 * kMs, true},
                                                     {t0 + 1400 * kMs, false},
                                                     {t0 + 1800 * kMs, true}};
    ASSERT_EQ(peer->levels.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(peer->levels[i].timeNs, expected[i].timeNs) << i;
        EXPECT_EQ(peer->levels[i].high, expected[i].high) << i;
    }
    ASSERT_EQ(peer->bytes.size(), 1u);
    EXPECT_EQ(peer->bytes[0].value, 0x33);
    EXPECT_EQ(peer->bytes[0].timeNs, t0 + 1900 * kMs);
    EXPECT_TRUE(line.Traffic().empty());  // break is no UART traffic
}

TEST_F(PeerSide, SimultaneousSendersCollideAsAWiredAnd) {
    const std::uint8_t peerByte = 0x3C;
    line.PeerTransmit(&peerByte, 1, clock.NowNs());
    Write({0xA5});
    WaitMs(2);
    const std::vector<ReceivedByte> got = ReadAll();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].value, 0xA5 & 0x3C);
    EXPECT_TRUE(peer->bytes.empty());  // deaf while sending
}

TEST_F(PeerSide, DisconnectedTesterNeitherDrivesNorHears) {
    line.SetTesterConnected(false);
    EXPECT_FALSE(line.TesterConnected());
    std::uint8_t byte = 0x11;
    EXPECT_EQ(line.TesterWrite(&byte, 1), 0u);
    line.SetTesterBreak(true);
    EXPECT_TRUE(line.LineHigh());
    EXPECT_TRUE(peer->levels.empty());
    line.SetTesterBreak(false);
    line.PeerTransmit(&byte, 1, clock.NowNs());
    WaitMs(5);
    EXPECT_EQ(line.TesterAvailable(), 0u);

    line.SetTesterConnected(true);
    Write({0x22});
    WaitMs(2);
    EXPECT_EQ(Values(ReadAll()), (std::vector<std::uint8_t>{0x22}));
    ASSERT_EQ(peer->bytes.size(), 1u);
}

}  // namespace
}  // namespace kline::testing
