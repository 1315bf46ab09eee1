#pragma once
// One side's UART receiver: waits for a falling edge on a line that has been high, then
// samples the line at the middle of each bit of its own framing.
#include <cstdint>
#include <limits>

#include "bit_timing.h"
#include "kline/kline.h"

namespace kline::detail {

class Receiver {
public:
    static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

    // A disabled receiver ignores the line (its own side is sending, or the cable is out);
    // enabled again, it waits for the line to be high before it accepts a start edge.
    void SetEnabled(bool enabled, bool lineHigh);
    bool Enabled() const { return m_enabled; }
    bool Busy() const { return m_busy; }
    // Start edge of the character being (or last) received.
    std::int64_t StartNs() const { return m_startNs; }

    // The line changed level at timeNs; framing is the receiver's framing at that moment.
    void OnLevel(std::int64_t timeNs, bool high, const Framing& framing);

    // Time of the next sample; kNever when idle.
    std::int64_t NextSampleNs() const { return m_busy ? m_nextSampleNs : kNever; }
    // Time of the stop-bit sample of the character being received; kNever when idle.
    std::int64_t CompletionNs() const;

    // Samples the line at NextSampleNs(). Returns true when a character completed; `out`
    // then carries its value and flags (its time is the caller's to set).
    bool Sample(bool high, ReceivedByte& out);

    void Shift(std::int64_t deltaNs);

private:
    std::int64_t SampleTimeNs(int index) const {
        return m_startNs + HalfBitsNs(2 * index + 1, m_shape.baud);
    }

    bool m_enabled = true;
    bool m_armed = true;  // the line has been high since the last character
    bool m_busy = false;
    std::int64_t m_startNs = 0;
    std::int64_t m_nextSampleNs = 0;
    CharacterShape m_shape;
    Parity m_parity = Parity::None;
    int m_index = 0;  // next bit to sample: 0 start, data bits, parity, then stop
    unsigned m_data = 0;
    bool m_parityHigh = false;
    bool m_sawHigh = false;  // any data or parity bit sampled high
};

}  // namespace kline::detail
