#include "wake_decoder.h"

#include <cmath>
#include <cstdlib>

namespace ecusim {
namespace {

std::int64_t MsToNs(double ms) { return static_cast<std::int64_t>(std::llround(ms * 1e6)); }

// Frame bits: start, 8 data, stop. The last edge can be at most the start of the stop bit.
constexpr int kLastEdgeBit = 9;
// How far from a bit boundary an edge may lie, as a share of the bit time.
constexpr double kEdgeTolerance = 0.2;

}  // namespace

WakeDecoder::WakeDecoder(double bitMinMs, double bitMaxMs, double bitNominalMs)
    : m_minNs(MsToNs(bitMinMs)), m_maxNs(MsToNs(bitMaxMs)), m_nominalNs(MsToNs(bitNominalMs)) {}

void WakeDecoder::Restart(std::int64_t nowNs, bool high) {
    m_edges.clear();
    m_bitNs = 0;
    m_collecting = !high;  // only a falling edge can be a start bit
    m_startNs = nowNs;
}

void WakeDecoder::OnLevel(std::int64_t nowNs, bool high) {
    if (high == m_high) return;
    m_high = high;
    if (!m_collecting) {
        Restart(nowNs, high);
        return;
    }
    const std::int64_t at = nowNs - m_startNs;
    const std::int64_t previous = m_edges.empty() ? 0 : m_edges.back().atNs;
    // Runs far shorter than any 5-baud bit are UART traffic or noise, and edges beyond the
    // stop bit belong to something else: either way this is no address byte.
    const bool tooShort = at - previous < m_minNs / 2;
    const bool tooLate = at > kLastEdgeBit * BroadMaxNs() + BroadMaxNs() / 2;
    if (tooShort || tooLate) {
        Restart(nowNs, high);
        return;
    }
    m_edges.push_back({at, high});
    m_bitNs = FitBitNs();
}

std::int64_t WakeDecoder::FitBitNs() const {
    // Broad search range, so that a byte sent at a wrong speed is still measured and then
    // refused by the window check rather than silently lost.
    const double lo = static_cast<double>(m_minNs) * 0.5;
    const double hi = static_cast<double>(BroadMaxNs());
    std::int64_t best = 0;
    for (const Edge& anchor : m_edges) {
        for (int n = 1; n <= kLastEdgeBit; ++n) {
            const double candidate = static_cast<double>(anchor.atNs) / n;
            if (candidate < lo || candidate > hi) continue;
            // Least-squares refinement over all edges with their rounded bit counts.
            double sumNe = 0, sumNn = 0;
            int lastBits = 0;
            bool fits = true;
            for (const Edge& e : m_edges) {
                const double exact = static_cast<double>(e.atNs) / candidate;
                const int bits = static_cast<int>(std::lround(exact));
                if (bits <= lastBits || bits > kLastEdgeBit ||
                    std::fabs(exact - bits) > kEdgeTolerance) {
                    fits = false;
                    break;
                }
                lastBits = bits;
                sumNe += bits * static_cast<double>(e.atNs);
                sumNn += static_cast<double>(bits) * bits;
            }
            if (!fits) continue;
            const auto refined = static_cast<std::int64_t>(std::llround(sumNe / sumNn));
            if (best == 0 || std::llabs(refined - m_nominalNs) < std::llabs(best - m_nominalNs)) {
                best = refined;
            }
        }
    }
    return best;
}

std::int64_t WakeDecoder::DecisionTimeNs() const {
    if (!m_collecting) return kNever;
    if (!m_high || m_bitNs == 0) {
        // Still low, or no fit yet: give up once the longest byte must be over.
        return m_startNs + (kLastEdgeBit + 2) * BroadMaxNs();
    }
    return m_startNs + m_bitNs * 19 / 2;  // middle of the stop bit
}

bool WakeDecoder::Decide(std::int64_t nowNs, WakeReport& report) {
    if (!m_collecting) return false;
    report = WakeReport{};
    report.startNs = m_startNs;
    report.bitNs = m_bitNs;
    m_collecting = false;
    if (m_bitNs == 0 || !m_high) {
        report.reason = m_high ? "edges do not fit any bit time" : "line held low";
        m_edges.clear();
        return true;
    }
    report.endNs = m_startNs + 10 * m_bitNs;

    // Levels at the middle of each bit, and the measured length of each bit.
    std::int64_t runStart = 0;
    int runStartBit = 0;
    bool level = false;
    std::size_t next = 0;
    for (int bit = 0; bit < 10; ++bit) {
        const std::int64_t middle = m_bitNs * bit + m_bitNs / 2;
        while (next < m_edges.size() && m_edges[next].atNs <= middle) {
            const std::int64_t runEnd = m_edges[next].atNs;
            const int runBits = bit - runStartBit;
            for (int k = 0; k < runBits; ++k) {
                report.bitTimesNs.push_back((runEnd - runStart) / runBits);
            }
            runStart = runEnd;
            runStartBit = bit;
            level = m_edges[next].high;
            ++next;
        }
        report.bits.push_back(level ? 1 : 0);
    }
    for (int i = 0; i < 8; ++i) {
        if (report.bits[1 + i]) report.lineByte |= static_cast<std::uint8_t>(1u << i);
    }
    m_edges.clear();

    if (report.bits[0] != 0 || report.bits[9] != 1) {
        report.reason = "no start or stop bit";
        return true;
    }
    for (std::int64_t t : report.bitTimesNs) {
        if (t < m_minNs || t > m_maxNs) {
            report.reason = "bit time outside the window";
            return true;
        }
    }
    report.valid = true;
    (void)nowNs;
    return true;
}

}  // namespace ecusim
