#include <gtest/gtest.h>

#include "clock/clock.h"
#include "clock/win_time.h"

namespace {

TEST(SimulatedClock, SleepJumpsAndCounterReadsStep) {
    platform::SimulatedClock sim(0, 1000, 10'000'000);
    platform::ScopedClock scoped(sim);
    Sleep(2000);
    EXPECT_EQ(sim.NowNs(), 2'000'000'000);
    LARGE_INTEGER f{}, a{}, b{};
    ASSERT_TRUE(QueryPerformanceFrequency(&f));
    EXPECT_EQ(f.QuadPart, 10'000'000);
    ASSERT_TRUE(QueryPerformanceCounter(&a));
    ASSERT_TRUE(QueryPerformanceCounter(&b));
    EXPECT_EQ(b.QuadPart - a.QuadPart, 10);  // 1000 ns per read at 100 ns a tick
    EXPECT_EQ(GetTickCount(), 2000u);
}

TEST(SimulatedClock, UnavailableCounterFailsLikeWindows) {
    platform::SimulatedClock sim;
    platform::ScopedClock scoped(sim);
    sim.SetCounterAvailable(false);
    sim.SetFrequencyAvailable(false);
    LARGE_INTEGER v{};
    EXPECT_FALSE(QueryPerformanceCounter(&v));
    EXPECT_FALSE(QueryPerformanceFrequency(&v));
}

TEST(SimulatedClock, TickCountWrapsAt32Bits) {
    platform::SimulatedClock sim((int64_t{1} << 32) * 1'000'000 + 5'000'000);
    platform::ScopedClock scoped(sim);
    EXPECT_EQ(GetTickCount(), 5u);
}

TEST(Priority, RaiseAndRestoreAreRemembered) {
    platform::SimulatedClock sim;
    platform::ScopedClock scoped(sim);
    const DWORD oldClass = GetPriorityClass(GetCurrentProcess());
    const int oldThread = GetThreadPriority(GetCurrentThread());
    ASSERT_TRUE(SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS));
    ASSERT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL));
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), REALTIME_PRIORITY_CLASS);
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_TIME_CRITICAL);
    SetThreadPriority(GetCurrentThread(), oldThread);
    SetPriorityClass(GetCurrentProcess(), oldClass);
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), NORMAL_PRIORITY_CLASS);
    EXPECT_FALSE(SetPriorityClass(GetCurrentProcess(), 0x1234));
}

TEST(RealClock, SleepWaitsAtLeastTheTime) {
    platform::RealClock real;
    const auto t0 = real.NowNs();
    real.SleepMs(3);
    EXPECT_GE(real.NowNs() - t0, 3'000'000);
}

}  // namespace
