#pragma once
// The armed echo faults of the tester's interface: which of the tester's bytes they pick as
// the bytes start, and what the tester's UART then receives for those bytes' echoes.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "kline/kline.h"

namespace kline::detail {

class EchoFaults {
public:
    void Inject(const EchoFault& fault);
    void Clear() { m_armed.clear(); }
    std::size_t Armed() const;

    // The tester's UART started sending value; echoStartNs is when its own receiver began
    // decoding the character, or nullptr when the receiver did not start on its edge.
    void OnTesterByte(std::uint8_t value, const std::int64_t* echoStartNs);

    // The tester's receiver completed `byte`, begun at startNs: puts what the tester gets
    // for it into inbox; returns the hit when a fault changed it.
    std::optional<EchoFaultHit> Deliver(const ReceivedByte& byte, std::int64_t startNs,
                                        std::deque<ReceivedByte>& inbox);

    // The tester's receiver was reset: echoes being decoded will not complete.
    void ForgetPending() { m_pending.clear(); }
    void Shift(std::int64_t deltaNs);

private:
    struct ArmedFault {
        EchoFault fault;
        std::size_t toSkip;
        int left;
    };
    struct Pending {
        std::int64_t echoStartNs;
        std::uint8_t sent;
        EchoFault fault;
    };

    std::vector<ArmedFault> m_armed;
    std::deque<Pending> m_pending;
};

}  // namespace kline::detail
