#include "echo_faults.h"

namespace kline::detail {

void EchoFaults::Inject(const EchoFault& fault) {
    if (fault.times <= 0) return;
    m_armed.push_back({fault, fault.skip, fault.times});
}

std::size_t EchoFaults::Armed() const {
    std::size_t bytes = 0;
    for (const ArmedFault& armed : m_armed) bytes += static_cast<std::size_t>(armed.left);
    return bytes;
}

void EchoFaults::OnTesterByte(std::uint8_t value, const std::int64_t* echoStartNs) {
    bool taken = false;
    for (ArmedFault& armed : m_armed) {
        if (armed.fault.value && *armed.fault.value != value) continue;
        if (armed.toSkip > 0) {
            --armed.toSkip;
            continue;
        }
        if (taken) continue;  // an earlier fault has this byte; this one waits for the next
        taken = true;
        --armed.left;
        if (echoStartNs != nullptr) m_pending.push_back({*echoStartNs, value, armed.fault});
    }
    std::erase_if(m_armed, [](const ArmedFault& armed) { return armed.left <= 0; });
}

std::optional<EchoFaultHit> EchoFaults::Deliver(const ReceivedByte& byte, std::int64_t startNs,
                                                std::deque<ReceivedByte>& inbox) {
    // Echoes whose decoding was cut short never complete.
    while (!m_pending.empty() && m_pending.front().echoStartNs < startNs) m_pending.pop_front();
    if (m_pending.empty() || m_pending.front().echoStartNs != startNs) {
        inbox.push_back(byte);
        return std::nullopt;
    }
    const Pending pending = m_pending.front();
    m_pending.pop_front();
    const EchoFaultHit hit{byte.timeNs, pending.sent, pending.fault.effect};
    switch (pending.fault.effect) {
        case EchoFault::Effect::Drop:
            break;
        case EchoFault::Effect::Replace: {
            ReceivedByte replaced = byte;
            replaced.value = pending.fault.replacement;
            inbox.push_back(replaced);
            break;
        }
        case EchoFault::Effect::StrayZeros: {
            ReceivedByte zero;
            zero.timeNs = byte.timeNs;
            for (int i = 0; i < pending.fault.strayZeros; ++i) inbox.push_back(zero);
            inbox.push_back(byte);
            break;
        }
    }
    return hit;
}

void EchoFaults::Shift(std::int64_t deltaNs) {
    for (Pending& pending : m_pending) pending.echoStartNs += deltaNs;
}

}  // namespace kline::detail
