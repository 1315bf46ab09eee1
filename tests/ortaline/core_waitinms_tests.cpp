// WaitInMS on a simulated performance counter: the sleep-then-poll strategy and every
// fallback to Sleep.
#include <gtest/gtest.h>

#include "BoschComms.h"
#include "clock/clock.h"
#include "core_support.h"

namespace {

using core_test::StatusEvent;

const char* const kNoFrequency =
    "WaitInMS: QueryPerformanceFrequency failed: Using Sleep() instead\n";
const char* const kNoCounter = "WaitInMS: QueryPerformanceCounter failed\n";

// A simulated clock whose counter stops answering after a given number of reads.
class FailingCounterClock final : public platform::Clock {
public:
    platform::SimulatedClock inner;
    std::uint64_t goodReads = UINT64_MAX;

    std::int64_t NowNs() override { return inner.NowNs(); }
    bool CounterFrequency(std::int64_t& f) override { return inner.CounterFrequency(f); }
    bool Counter(std::int64_t& ticks) override {
        if (inner.CounterReads() >= goodReads) return false;
        return inner.Counter(ticks);
    }
    void SleepMs(std::uint32_t ms) override { inner.SleepMs(ms); }
    void SleepUntilNs(std::int64_t ns) override { inner.SleepUntilNs(ns); }
};

class WaitTest : public ::testing::Test {
protected:
    void SetUp() override { core_test::Advise(static_cast<IBoschComms*>(comms), &sink); }
    void TearDown() override { comms->Release(); }

    core_test::StatusSink sink;
    BoschComms* comms = new BoschComms;
};

TEST_F(WaitTest, ZeroReturnsAfterTwoCounterReads) {
    platform::SimulatedClock clock;
    platform::ScopedClock scoped(clock);
    EXPECT_TRUE(comms->WaitInMS(0));
    EXPECT_EQ(clock.CounterReads(), 2u);
    EXPECT_EQ(clock.SleepCalls(), 0u);
    EXPECT_EQ(comms->m_nCounterFrequency, 10'000'000);
    EXPECT_TRUE(sink.events.empty());
}

TEST_F(WaitTest, SleepsInMillisecondsThenPollsTheLastFive) {
    platform::SimulatedClock clock;
    platform::ScopedClock scoped(clock);
    const std::int64_t start = clock.NowNs();
    comms->WaitInMS(25);
    const std::int64_t waited = clock.NowNs() - start;
    EXPECT_GE(waited, 25'000'000);
    EXPECT_LT(waited, 25'010'000);
    EXPECT_EQ(clock.SleepCalls(), 20u);  // 1 ms steps up to 5 ms before the target
    EXPECT_GT(clock.CounterReads(), 20u + 1000u);

    // A negative pause does not block.
    const std::int64_t before = clock.NowNs();
    comms->WaitInMS(-5);
    EXPECT_LT(clock.NowNs() - before, 10'000);
}

TEST_F(WaitTest, MissingFrequencySleepsAndWarnsEveryCall) {
    platform::SimulatedClock clock;
    platform::ScopedClock scoped(clock);
    clock.SetFrequencyAvailable(false);
    comms->WaitInMS(7);
    comms->WaitInMS(3);
    EXPECT_EQ(clock.SleptNs(), 10'000'000);
    EXPECT_EQ(clock.CounterReads(), 0u);
    EXPECT_EQ(sink.events,
              (std::vector<StatusEvent>{{kNoFrequency, Warning}, {kNoFrequency, Warning}}));
    EXPECT_EQ(comms->m_nCounterFrequency, 0);
}

TEST_F(WaitTest, MissingCounterSleepsAndWarnsEveryCall) {
    platform::SimulatedClock clock;
    platform::ScopedClock scoped(clock);
    clock.SetCounterAvailable(false);
    comms->WaitInMS(0);
    comms->WaitInMS(12);
    EXPECT_EQ(clock.SleptNs(), 12'000'000);
    EXPECT_EQ(sink.events,
              (std::vector<StatusEvent>{{kNoCounter, Warning}, {kNoCounter, Warning}}));
}

TEST_F(WaitTest, SlowCounterNeverShortensAWait) {
    platform::SimulatedClock clock;
    platform::ScopedClock scoped(clock);
    clock.SetFrequency(500);
    for (int i = 0; i < 3; ++i) {
        const std::int64_t before = clock.NowNs();
        comms->WaitInMS(10);
        EXPECT_EQ(clock.NowNs() - before, 10'000'000) << "call " << i;
    }
    EXPECT_EQ(comms->m_nCounterFrequency, 500);
    EXPECT_EQ(clock.CounterReads(), 0u);
    EXPECT_TRUE(sink.events.empty());
}

TEST_F(WaitTest, CounterFailingMidWaitSleepsTheRest) {
    FailingCounterClock clock;
    platform::ScopedClock scoped(clock);
    clock.goodReads = 5;  // start, now, then three reads after 1 ms sleeps
    const std::int64_t before = clock.NowNs();
    comms->WaitInMS(100);
    const std::int64_t waited = clock.NowNs() - before;
    EXPECT_GE(waited, 99'000'000);
    EXPECT_LE(waited, 100'010'000);
    EXPECT_EQ(sink.events, (std::vector<StatusEvent>{{kNoCounter, Warning}}));
}

}  // namespace
