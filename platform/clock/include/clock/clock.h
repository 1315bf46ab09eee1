#pragma once
// The process's one clock. Programs use the real monotonic clock; tests install a
// SimulatedClock so that long K-line waits run in microseconds and always the same way.
#include <cstdint>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;

    // Monotonic time in nanoseconds since an arbitrary origin.
    virtual std::int64_t NowNs() = 0;
    // Performance counter: ticks per second, and the current tick; false when unavailable.
    virtual bool CounterFrequency(std::int64_t& ticksPerSecond) = 0;
    virtual bool Counter(std::int64_t& ticks) = 0;
    // Blocks the caller for at least ms milliseconds.
    virtual void SleepMs(std::uint32_t ms) = 0;
    // Blocks the caller until NowNs() >= deadline; returns at once for a past deadline.
    virtual void SleepUntilNs(std::int64_t deadlineNs) = 0;
    // True for the wall-clock implementation (only then are real scheduler priorities touched).
    virtual bool IsReal() const { return false; }
};

// The clock in force for the whole process (the real clock unless a test installed another).
Clock& CurrentClock();
// Installs a clock for the whole process; nullptr puts the real clock back. The caller keeps
// ownership and must uninstall before destroying it.
void InstallClock(Clock* clock);

class RealClock final : public Clock {
public:
    static constexpr std::int64_t kFrequency = 10'000'000;  // 100 ns ticks
    std::int64_t NowNs() override;
    bool CounterFrequency(std::int64_t& ticksPerSecond) override;
    bool Counter(std::int64_t& ticks) override;
    void SleepMs(std::uint32_t ms) override;
    void SleepUntilNs(std::int64_t deadlineNs) override;
    bool IsReal() const override { return true; }
};

// Deterministic clock for tests: time moves only when somebody waits, and every counter
// read moves it a small step so that a busy wait on the counter terminates.
class SimulatedClock final : public Clock {
public:
    explicit SimulatedClock(std::int64_t startNs = 1'000'000'000, std::int64_t counterStepNs = 500,
                            std::int64_t frequency = 10'000'000);

    std::int64_t NowNs() override { return m_nowNs; }
    bool CounterFrequency(std::int64_t& ticksPerSecond) override;
    bool Counter(std::int64_t& ticks) override;
    void SleepMs(std::uint32_t ms) override;
    void SleepUntilNs(std::int64_t deadlineNs) override;

    void AdvanceNs(std::int64_t ns);

    // Fault injection and knobs for tests.
    void SetFrequency(std::int64_t frequency) { m_frequency = frequency; }
    void SetFrequencyAvailable(bool available) { m_frequencyAvailable = available; }
    void SetCounterAvailable(bool available) { m_counterAvailable = available; }
    void SetCounterStepNs(std::int64_t ns) { m_counterStepNs = ns; }

    // How often each facility was used (for assertions on wait strategies).
    std::uint64_t CounterReads() const { return m_counterReads; }
    std::uint64_t SleepCalls() const { return m_sleepCalls; }
    std::int64_t SleptNs() const { return m_sleptNs; }

private:
    std::int64_t m_nowNs;
    std::int64_t m_counterStepNs;
    std::int64_t m_frequency;
    bool m_frequencyAvailable = true;
    bool m_counterAvailable = true;
    std::uint64_t m_counterReads = 0;
    std::uint64_t m_sleepCalls = 0;
    std::int64_t m_sleptNs = 0;
};

// Installs a clock for the lifetime of the guard (tests).
class ScopedClock {
public:
    explicit ScopedClock(Clock& clock) { InstallClock(&clock); }
    ~ScopedClock() { InstallClock(nullptr); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
};

}  // namespace platform
