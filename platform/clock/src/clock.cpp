#include "clock/clock.h"

#include <atomic>
#include <cerrno>
#include <ctime>

namespace platform {

namespace {
RealClock g_realClock;
std::atomic<Clock*> g_installed{nullptr};
}  // namespace

Clock& CurrentClock() {
    Clock* c = g_installed.load(std::memory_order_acquire);
    return c != nullptr ? *c : g_realClock;
}

void InstallClock(Clock* clock) { g_installed.store(clock, std::memory_order_release); }

std::int64_t RealClock::NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

bool RealClock::CounterFrequency(std::int64_t& ticksPerSecond) {
    ticksPerSecond = kFrequency;
    return true;
}

bool RealClock::Counter(std::int64_t& ticks) {
    ticks = NowNs() / (1'000'000'000 / kFrequency);
    return true;
}

void RealClock::SleepMs(std::uint32_t ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1'000'000};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void RealClock::SleepUntilNs(std::int64_t deadlineNs) {
    timespec ts{static_cast<time_t>(deadlineNs / 1'000'000'000),
                static_cast<long>(deadlineNs % 1'000'000'000)};
    if (deadlineNs <= NowNs()) return;
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

}  // namespace platform
