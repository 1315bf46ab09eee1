#pragma once
// When received bytes reach the host through an FTDI chip. The chip collects what its UART
// receives and sends it to the host in USB packets: at once when 62 data bytes are waiting,
// else when the latency timer expires. The timer restarts at every packet, and while the
// host polls an idle chip answers with a status-only packet at every expiry, so the expiries
// form a grid of the latency period from the last packet that carried data.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>

#include "win32/types.h"

namespace ftdi {

inline constexpr std::int64_t kNeverNs = std::numeric_limits<std::int64_t>::max();

class PacketDelivery {
public:
    PacketDelivery(std::int64_t nowNs, BYTE latencyMs);

    // A new latency restarts the timer.
    void SetLatencyMs(BYTE latencyMs, std::int64_t nowNs);
    BYTE LatencyMs() const { return m_latencyMs; }

    // A byte the UART finished at timeNs; calls come in time order.
    void Arrive(BYTE value, std::int64_t timeNs);
    // Sends every packet due by nowNs to the host.
    void Advance(std::int64_t nowNs);
    // When the next packet leaves if nothing more arrives; kNeverNs with nothing waiting.
    std::int64_t NextPacketNs() const;

    std::size_t HostBytes() const { return m_host.size(); }
    std::size_t Take(BYTE* out, std::size_t max);
    void PurgeReceive();

private:
    struct Waiting {
        BYTE value;
        std::int64_t timeNs;
    };

    std::deque<Waiting> m_chip;
    std::deque<BYTE> m_host;
    std::int64_t m_timerStartNs;
    std::int64_t m_latencyNs;
    BYTE m_latencyMs;
};

}  // namespace ftdi
