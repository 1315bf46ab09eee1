#pragma once
// Recovers a 5-baud address byte from the K-line's level changes. Every sender puts the
// same shape on the wire (a start bit low, eight data bits, a stop bit high, possibly after
// an idle bit), but at its own bit time, so the bit time is fitted from the edges rather
// than assumed.
#include <cstdint>
#include <limits>
#include <vector>

#include "ecusim/sim_log.h"

namespace ecusim {

class WakeDecoder {
public:
    WakeDecoder(double bitMinMs, double bitMaxMs, double bitNominalMs);

    void OnLevel(std::int64_t nowNs, bool high);
    // When the byte under way can be decided (mid stop bit); max when none is under way.
    std::int64_t DecisionTimeNs() const;
    // At or after DecisionTimeNs(): the decoded byte, valid or not. Resets the decoder.
    // Returns false when nothing was under way.
    bool Decide(std::int64_t nowNs, WakeReport& report);

    void Shift(std::int64_t deltaNs) { m_startNs += deltaNs; }

    static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

private:
    struct Edge {
        std::int64_t atNs;  // from the start edge
        bool high;
    };
    void Restart(std::int64_t nowNs, bool high);
    // Bit time that puts every edge on a bit boundary, nearest the nominal one; 0 if none.
    std::int64_t FitBitNs() const;
    // Longest bit time still measured (and then refused) rather than ignored.
    std::int64_t BroadMaxNs() const { return m_maxNs * 3 / 2; }

    std::int64_t m_minNs;
    std::int64_t m_maxNs;
    std::int64_t m_nominalNs;
    bool m_collecting = false;
    bool m_high = true;
    std::int64_t m_startNs = 0;
    std::vector<Edge> m_edges;
    std::int64_t m_bitNs = 0;
};

}  // namespace ecusim
