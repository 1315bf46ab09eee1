#include "kline/scripted_peer.h"

#include <algorithm>

namespace kline {

void ScriptedPeer::AddRule(Rule rule) { m_rules.push_back(std::move(rule)); }

void ScriptedPeer::AddRule(std::vector<std::uint8_t> after, std::int64_t delayMs,
                           std::vector<std::uint8_t> send) {
    Rule rule;
    rule.after = std::move(after);
    rule.delayNs = delayMs * 1'000'000;
    rule.send = std::move(send);
    AddRule(std::move(rule));
}

std::vector<std::uint8_t> ScriptedPeer::ReceivedValues() const {
    std::vector<std::uint8_t> values;
    values.reserve(m_received.size());
    for (const ReceivedByte& byte : m_received) values.push_back(byte.value);
    return values;
}

void ScriptedPeer::OnAttach(KLine& line) {
    m_line = &line;
    line.SetPeerFraming(m_framing);
}

void ScriptedPeer::OnByte(const ReceivedByte& byte) {
    m_received.push_back(byte);
    m_sinceLastRule.push_back(byte.value);
    FireReadyRules(byte.timeNs);
}

bool ScriptedPeer::Matches(const Rule& rule) const {
    if (rule.after.size() > m_sinceLastRule.size()) return false;
    return std::equal(rule.after.rbegin(), rule.after.rend(), m_sinceLastRule.rbegin());
}

void ScriptedPeer::FireReadyRules(std::int64_t referenceNs) {
    bool firedAny = false;
    while (m_next < m_rules.size() && m_line != nullptr) {
        const Rule& rule = m_rules[m_next];
        const bool ready =
            rule.after.empty() ? (firedAny || !m_sinceLastRule.empty()) : Matches(rule);
        if (!ready) break;
        ++m_next;
        firedAny = true;
        m_sinceLastRule.clear();
        if (rule.framing) m_line->SetPeerFraming(*rule.framing);
        const std::int64_t characterNs = m_line->PeerFraming().CharacterNs();
        std::int64_t at = referenceNs + rule.delayNs;
        for (std::size_t i = 0; i < rule.send.size(); ++i) {
            if (rule.byteGapNs == 0) {
                m_line->PeerTransmit(rule.send.data() + i, rule.send.size() - i, at);
                break;
            }
            m_line->PeerTransmit(&rule.send[i], 1, at);
            at += characterNs + rule.byteGapNs;
        }
    }
}

}  // namespace kline
