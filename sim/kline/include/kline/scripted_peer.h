#pragma once
// A peer for tests of the layers above the wire: it answers by rules ("after receiving
// these bytes, wait, send those bytes") and records every byte it received and when.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "kline/kline.h"

namespace kline {

class ScriptedPeer : public Peer {
public:
    struct Rule {
        // Fires once the bytes received since the previous rule fired end with these; an
        // empty list fires together with the previous rule (or on the first byte received).
        std::vector<std::uint8_t> after;
        std::int64_t delayNs = 0;  // from the delivery of the last byte of `after`
        std::vector<std::uint8_t> send;
        std::int64_t byteGapNs = 0;      // idle time between the bytes sent
        std::optional<Framing> framing;  // the peer's UART switches to this when the rule fires
    };

    explicit ScriptedPeer(const Framing& framing = Framing{}) : m_framing(framing) {}

    // Rules fire in the order added, each once.
    void AddRule(Rule rule);
    void AddRule(std::vector<std::uint8_t> after, std::int64_t delayMs,
                 std::vector<std::uint8_t> send);

    const std::vector<ReceivedByte>& Received() const { return m_received; }
    std::vector<std::uint8_t> ReceivedValues() const;
    std::size_t RulesFired() const { return m_next; }
    std::size_t RulesLeft() const { return m_rules.size() - m_next; }

    void OnAttach(KLine& line) override;
    void OnByte(const ReceivedByte& byte) override;

private:
    void FireReadyRules(std::int64_t referenceNs);
    bool Matches(const Rule& rule) const;

    KLine* m_line = nullptr;
    Framing m_framing;
    std::vector<Rule> m_rules;
    std::size_t m_next = 0;
    std::vector<ReceivedByte> m_received;
    std::vector<std::uint8_t> m_sinceLastRule;
};

}  // namespace kline
