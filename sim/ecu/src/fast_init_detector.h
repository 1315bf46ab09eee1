#pragma once
// Recognises the fast initialisation from the K-line's level changes: a low pulse of tens
// of milliseconds, then the falling edge that starts the first request byte. UART bits
// (about 0.1 ms) and 5-baud bits (about 200 ms) are far outside the pulses it looks at.
#include <cstdint>
#include <optional>

#include "ecusim/config.h"
#include "ecusim/sim_log.h"

namespace ecusim {

class FastInitDetector {
public:
    explicit FastInitDetector(const FastInitTiming& timing);

    // True at the falling edge that ends a pattern's high phase; report then holds the
    // measured phases and whether they were inside the windows.
    bool OnLevel(std::int64_t nowNs, bool high, FastInitReport& report);
    // Between the end of a low phase inside its window and the next falling edge.
    bool LowPhaseInWindow() const;
    void Shift(std::int64_t deltaNs);

private:
    FastInitTiming m_timing;
    std::optional<std::int64_t> m_lowStartNs;  // falling edge of the pulse under way
    std::optional<std::int64_t> m_lowEndNs;    // its rising edge, when it looked like one
    std::int64_t m_lowNs = 0;
};

}  // namespace ecusim
