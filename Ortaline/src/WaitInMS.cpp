// Millisecond waits on the performance counter: sleep in 1 ms steps until 5 ms before the
// target, then poll the counter for the rest.
#include <algorithm>

#include "BoschComms.h"
#include "clock/win_time.h"

namespace {

// Below this the counter cannot time milliseconds; Sleep does the wait instead.
constexpr std::int64_t kMinUsableFrequency = 1000;

bool ReadCounter(std::int64_t& ticks) {
    LARGE_INTEGER value{};
    if (!QueryPerformanceCounter(&value)) return false;
    ticks = value.QuadPart;
    return true;
}

}  // namespace

bool BoschComms::WaitInMS(std::int32_t ms) {
    // A negative pause waits nothing rather than for ~49 days.
    ms = std::max<std::int32_t>(ms, 0);
    const auto sleepMs = static_cast<DWORD>(ms);

    if (m_nCounterFrequency == 0) {
        LARGE_INTEGER frequency{};
        if (!QueryPerformanceFrequency(&frequency)) {
            Fire_Status("WaitInMS: QueryPerformanceFrequency failed: Using Sleep() instead\n",
                        Warning);
            Sleep(sleepMs);
            m_nCounterFrequency = 0;
            return true;
        }
        m_nCounterFrequency = frequency.QuadPart;
    }
    // Also for a cached low frequency: counting ticks of a counter this slow would make
    // short waits return at once.
    if (m_nCounterFrequency < kMinUsableFrequency) {
        Sleep(sleepMs);
        return true;
    }

    const std::int64_t frequency = m_nCounterFrequency;
    const std::int64_t target = static_cast<std::int64_t>(ms) * frequency / 1000;

    std::int64_t start = 0;
    std::int64_t now = 0;
    if (!ReadCounter(start) || !ReadCounter(now)) {
        Fire_Status("WaitInMS: QueryPerformanceCounter failed\n", Warning);
        Sleep(sleepMs);
        return true;
    }
    if (now - start >= target) return true;

    const auto sleepRest = [&](std::int64_t elapsed) {
        Fire_Status("WaitInMS: QueryPerformanceCounter failed\n", Warning);
        const std::int64_t restMs = (target - elapsed) * 1000 / frequency;
        Sleep(static_cast<DWORD>(std::max<std::int64_t>(restMs, 0)));
        return true;
    };

    const std::int64_t sleepUntil = target - frequency * 5 / 1000;
    std::int64_t elapsed = now - start;
    while (elapsed < sleepUntil) {
        Sleep(1);
        if (!ReadCounter(now)) return sleepRest(elapsed);
        elapsed = now - start;
    }
    while (elapsed < target) {
        if (!ReadCounter(now)) return sleepRest(elapsed);
        elapsed = now - start;
    }
    return true;
}
