#include "clock/clock.h"

namespace platform {

SimulatedClock::SimulatedClock(std::int64_t startNs, std::int64_t counterStepNs,
                               std::int64_t frequency)
    : m_nowNs(startNs), m_counterStepNs(counterStepNs), m_frequency(frequency) {}

bool SimulatedClock::CounterFrequency(std::int64_t& ticksPerSecond) {
    if (!m_frequencyAvailable) return false;
    ticksPerSecond = m_frequency;
    return true;
}

bool SimulatedClock::Counter(std::int64_t& ticks) {
    ++m_counterReads;
    if (!m_counterAvailable) return false;
    m_nowNs += m_counterStepNs;
    const std::int64_t f = m_frequency > 0 ? m_frequency : 1;
    // Split to keep the product inside 64 bits for any simulated time.
    ticks = (m_nowNs / 1'000'000'000) * f + (m_nowNs % 1'000'000'000) * f / 1'000'000'000;
    return true;
}

void SimulatedClock::SleepMs(std::uint32_t ms) {
    ++m_sleepCalls;
    AdvanceNs(static_cast<std::int64_t>(ms) * 1'000'000);
}

void SimulatedClock::SleepUntilNs(std::int64_t deadlineNs) {
    if (deadlineNs > m_nowNs) AdvanceNs(deadlineNs - m_nowNs);
}

void SimulatedClock::AdvanceNs(std::int64_t ns) {
    if (ns <= 0) return;
    m_nowNs += ns;
    m_sleptNs += ns;
}

}  // namespace platform
