#include "fast_init_detector.h"

#include <cmath>
#include <cstdio>

namespace ecusim {
namespace {

// Pulses measured (and judged) at all; anything shorter or longer is other traffic.
constexpr double kShortestPulseMs = 5.0;
constexpr double kLongestPulseMs = 100.0;

std::int64_t Ns(double ms) { return static_cast<std::int64_t>(std::llround(ms * 1e6)); }

std::string Describe(const char* what, std::int64_t ns, double minMs, double maxMs) {
    char text[96];
    std::snprintf(text, sizeof text, "%s %.3f ms outside %.1f-%.1f ms", what,
                  static_cast<double>(ns) / 1e6, minMs, maxMs);
    return text;
}

}  // namespace

FastInitDetector::FastInitDetector(const FastInitTiming& timing) : m_timing(timing) {}

bool FastInitDetector::OnLevel(std::int64_t nowNs, bool high, FastInitReport& report) {
    if (high) {
        if (!m_lowStartNs) return false;
        const std::int64_t low = nowNs - *m_lowStartNs;
        if (low >= Ns(kShortestPulseMs) && low <= Ns(kLongestPulseMs)) {
            m_lowEndNs = nowNs;
            m_lowNs = low;
        } else {
            m_lowStartNs.reset();
        }
        return false;
    }
    const bool patternEnds = m_lowStartNs && m_lowEndNs;
    if (patternEnds) {
        report = FastInitReport{};
        report.startNs = *m_lowStartNs;
        report.lowNs = m_lowNs;
        report.highNs = nowNs - *m_lowEndNs;
        const std::int64_t whole = report.lowNs + report.highNs;
        const FastInitTiming& t = m_timing;
        if (report.lowNs < Ns(t.lowMinMs) || report.lowNs > Ns(t.lowMaxMs)) {
            report.reason = Describe("low phase", report.lowNs, t.lowMinMs, t.lowMaxMs);
        } else if (whole < Ns(t.patternMinMs) || whole > Ns(t.patternMaxMs)) {
            report.reason = Describe("low and high phase", whole, t.patternMinMs, t.patternMaxMs);
        } else {
            report.valid = true;
        }
    }
    // This falling edge may itself begin the next pulse.
    m_lowStartNs = nowNs;
    m_lowEndNs.reset();
    return patternEnds;
}

bool FastInitDetector::LowPhaseInWindow() const {
    return m_lowEndNs && m_lowNs >= Ns(m_timing.lowMinMs) && m_lowNs <= Ns(m_timing.lowMaxMs);
}

void FastInitDetector::Shift(std::int64_t deltaNs) {
    if (m_lowStartNs) *m_lowStartNs += deltaNs;
    if (m_lowEndNs) *m_lowEndNs += deltaNs;
}

}  // namespace ecusim
