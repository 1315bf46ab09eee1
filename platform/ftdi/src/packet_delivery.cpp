#include "packet_delivery.h"

#include <algorithm>

#include "ftdi/chip.h"

namespace ftdi {

PacketDelivery::PacketDelivery(std::int64_t nowNs, BYTE latencyMs)
    : m_timerStartNs(nowNs), m_latencyNs(1), m_latencyMs(0) {
    SetLatencyMs(latencyMs, nowNs);
}

void PacketDelivery::SetLatencyMs(BYTE latencyMs, std::int64_t nowNs) {
    Advance(nowNs);
    m_latencyMs = std::max<BYTE>(latencyMs, 1);
    m_latencyNs = static_cast<std::int64_t>(m_latencyMs) * 1'000'000;
    m_timerStartNs = nowNs;
}

void PacketDelivery::Arrive(BYTE value, std::int64_t timeNs) { m_chip.push_back({value, timeNs}); }

std::int64_t PacketDelivery::NextPacketNs() const {
    if (m_chip.empty()) return kNeverNs;
    // The first timer expiry at or after the oldest waiting byte...
    const std::int64_t since = std::max<std::int64_t>(m_chip.front().timeNs - m_timerStartNs, 1);
    const std::int64_t periods = (since + m_latencyNs - 1) / m_latencyNs;
    std::int64_t due = m_timerStartNs + periods * m_latencyNs;
    // ...unless a full packet is waiting before then.
    if (m_chip.size() >= kPacketDataBytes) {
        due = std::min(due, m_chip[kPacketDataBytes - 1].timeNs);
    }
    return due;
}

void PacketDelivery::Advance(std::int64_t nowNs) {
    for (;;) {
        const std::int64_t due = NextPacketNs();
        if (due > nowNs) return;
        for (std::size_t n = 0; n < kPacketDataBytes && !m_chip.empty(); ++n) {
            if (m_chip.front().timeNs > due) break;
            m_host.push_back(m_chip.front().value);
            m_chip.pop_front();
        }
        m_timerStartNs = due;
    }
}

std::size_t PacketDelivery::Take(BYTE* out, std::size_t max) {
    const std::size_t n = std::min(max, m_host.size());
    std::copy_n(m_host.begin(), n, out);
    m_host.erase(m_host.begin(), m_host.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

void PacketDelivery::PurgeReceive() {
    m_chip.clear();
    m_host.clear();
}

}  // namespace ftdi
