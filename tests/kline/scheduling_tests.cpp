// Queues and time: aborting, purging, wake-ups, NextEventNs, claiming the line.
#include "wire_fixture.h"

namespace kline::testing {
namespace {

constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

class Scheduling : public WireTest {};

TEST_F(Scheduling, AbortKeepsTheCharacterOnTheWireAndDropsTheRest) {
    const std::int64_t t0 = clock.NowNs();
    const std::int64_t ch = Framing{}.CharacterNs();
    std::vector<std::uint8_t> frame(10, 0x5A);
    line.TesterWrite(frame.data(), frame.size());
    Wait(ch * 5 / 2);  // the third character has started
    line.TesterAbortTransmit();
    EXPECT_EQ(line.TesterTransmitDoneNs(), t0 + 3 * ch);
    WaitMs(20);
    EXPECT_EQ(line.Traffic().size(), 3u);
    EXPECT_EQ(line.TesterAvailable(), 3u);

    // The peer's queued reply goes the same way.
    const std::uint8_t reply[] = {0x01, 0x02};
    line.PeerTransmit(reply, 2, clock.NowNs() + 10 * kMs);
    line.PeerAbortTransmit();
    WaitMs(20);
    EXPECT_EQ(line.Traffic().size(), 3u);
}

TEST_F(Scheduling, PurgeDropsWhatArrivedAndKeepsWhatComesLater) {
    Write({0x01, 0x02});
    WaitMs(5);
    line.TesterPurgeReceive();
    EXPECT_EQ(line.TesterAvailable(), 0u);
    Write({0x03});
    WaitMs(5);
    EXPECT_EQ(Values(ReadAll()), (std::vector<std::uint8_t>{0x03}));
}

TEST_F(Scheduling, WakeUpsRunInTimeOrderAndMayScheduleMore) {
    const std::int64_t t0 = clock.NowNs();
    line.AdvanceTo(t0);
    peer->onWake = [&](std::int64_t now) {
        if (peer->wakes.size() == 1) peer->line->PeerWakeAt(now + 5 * kMs);
    };
    line.PeerWakeAt(t0 + 30 * kMs);
    line.PeerWakeAt(t0 + 10 * kMs);
    line.PeerWakeAt(t0 + 20 * kMs);
    line.PeerWakeAt(t0 + 10 * kMs);
    EXPECT_EQ(line.NextEventNs(), t0 + 10 * kMs);
    line.AdvanceTo(t0 + 40 * kMs);
    EXPECT_EQ(peer->wakes, (std::vector<std::int64_t>{t0 + 10 * kMs, t0 + 10 * kMs, t0 + 15 * kMs,
                                                      t0 + 20 * kMs, t0 + 30 * kMs}));
    // A wake-up asked for in the past comes at the wire's present, not before it.
    line.PeerWakeAt(t0);
    line.AdvanceTo(t0 + 41 * kMs);
    EXPECT_EQ(peer->wakes.back(), t0 + 40 * kMs);
    EXPECT_EQ(line.NextEventNs(), kNever);
}

TEST_F(Scheduling, NextEventStepsThroughStartAndCompletion) {
    const std::int64_t t0 = clock.NowNs();
    line.AdvanceTo(t0);
    EXPECT_EQ(line.NextEventNs(), kNever);
    const std::uint8_t reply = 0x55;
    line.PeerTransmit(&reply, 1, t0 + 5 * kMs);
    EXPECT_EQ(line.NextEventNs(), t0 + 5 * kMs);  // the queued start
    line.AdvanceTo(t0 + 5 * kMs);
    // The tester is receiving and the peer is deaf: only the completion matters.
    const std::int64_t done = t0 + 5 * kMs + 19 * 500'000'000LL / 10400;
    EXPECT_EQ(line.NextEventNs(), done);
    line.AdvanceTo(done - 1);
    EXPECT_EQ(line.TesterAvailable(), 0u);
    line.AdvanceTo(done);
    EXPECT_EQ(line.NextEventNs(), t0 + 5 * kMs + Framing{}.CharacterNs());  // end of the stop bit
    line.AdvanceTo(t0 + 10 * kMs);
    EXPECT_EQ(line.NextEventNs(), kNever);
}

TEST_F(Scheduling, ReaderSleepingOnNextEventSeesEveryByteWhenItArrives) {
    // A reply at 5 baud and one at 10400, read by a 10400 tester the way the serial layer
    // waits: sleep until NextEventNs, look, repeat.
    Framing slow;
    slow.baud = 5;
    line.SetPeerFraming(slow);
    const std::uint8_t address = 0x01;
    line.PeerTransmit(&address, 1, clock.NowNs() + kMs);
    peer->onWake = [&](std::int64_t now) {
        peer->line->SetPeerFraming(Framing{});
        const std::uint8_t keys[] = {0x55, 0x01, 0x8A};
        peer->line->PeerTransmit(keys, 3, now);
    };
    line.PeerWakeAt(clock.NowNs() + 3000 * kMs);

    std::vector<ReceivedByte> got;
    int wakeUps = 0;
    const std::int64_t deadline = clock.NowNs() + 4000 * kMs;
    while (clock.NowNs() < deadline) {
        ReceivedByte b;
        while (line.TesterRead(b)) {
            EXPECT_EQ(b.timeNs, clock.NowNs());  // not a moment late
            got.push_back(b);
        }
        const std::int64_t next = line.NextEventNs();
        ASSERT_GE(next, clock.NowNs());
        clock.SleepUntilNs(std::min(next, deadline));
        ++wakeUps;
    }
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(Values(std::vector<ReceivedByte>(got.end() - 3, got.end())),
              (std::vector<std::uint8_t>{0x55, 0x01, 0x8A}));
    EXPECT_LT(wakeUps, 60);
    EXPECT_EQ(line.NextEventNs(), kNever);
}

TEST_F(Scheduling, ClaimIsExclusiveAndReleaseLeavesTheLineReleased) {
    ASSERT_TRUE(line.ClaimTester());
    EXPECT_FALSE(line.ClaimTester());
    line.SetTesterBreak(true);
    Write({0x01, 0x02, 0x03});
    line.ReleaseTester();
    EXPECT_FALSE(line.TesterBreak());
    WaitMs(10);
    EXPECT_TRUE(line.LineHigh());
    EXPECT_EQ(line.Traffic().size(), 1u);  // the character already in the UART, no more

    // Bytes that arrive while nobody has the port open are not seen by the next opener.
    const std::uint8_t stray = 0x77;
    line.PeerTransmit(&stray, 1, clock.NowNs());
    WaitMs(5);
    ASSERT_TRUE(line.ClaimTester());
    EXPECT_EQ(line.TesterAvailable(), 0u);
    line.ReleaseTester();
}

class TimeShiftPeer : public RecordingPeer {
public:
    void OnTimeShift(std::int64_t deltaNs) override { shifts.push_back(deltaNs); }
    std::vector<std::int64_t> shifts;
};

TEST(KLineClock, LineKeptAcrossClocksFollowsTheNewClockOnClaim) {
    KLine line;
    auto peer = std::make_shared<TimeShiftPeer>();
    line.AttachPeer(peer);
    {
        platform::SimulatedClock first(kStartNs);
        platform::ScopedClock scoped(first);
        ASSERT_TRUE(line.ClaimTester());
        first.AdvanceNs(5000 * kMs);
        line.PeerWakeAt(first.NowNs() + 100 * kMs);
        line.ReleaseTester();
    }
    platform::SimulatedClock second(kStartNs);
    platform::ScopedClock scoped(second);
    ASSERT_TRUE(line.ClaimTester());
    EXPECT_EQ(peer->shifts, (std::vector<std::int64_t>{-5000 * kMs}));
    EXPECT_EQ(line.NextEventNs(), kStartNs + 100 * kMs);

    const std::uint8_t byte = 0x42;
    line.TesterWrite(&byte, 1);
    second.AdvanceNs(2 * kMs);
    ReceivedByte echo;
    ASSERT_TRUE(line.TesterRead(echo));
    EXPECT_NEAR(echo.timeNs - kStartNs, 9.5e9 / 10400, 1);
}

}  // namespace
}  // namespace kline::testing
