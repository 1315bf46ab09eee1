#include "channel_store.h"

namespace ecusim {

ChannelStore::ChannelStore(const std::vector<ChannelSpec>& channels, OutOfLimit rule)
    : m_rule(rule) {
    for (const ChannelSpec& spec : channels) {
        if (spec.number == 0) continue;  // 0 is the reset channel, never a value
        m_cells[spec.number] = Cell{spec, spec.defaultValue, spec.defaultValue};
    }
}

bool ChannelStore::Has(std::uint8_t channel) const {
    return channel == 0 || m_cells.count(channel) != 0;
}

std::uint16_t ChannelStore::Active(std::uint8_t channel) const {
    auto it = m_cells.find(channel);
    return it == m_cells.end() ? 0 : it->second.active;
}

std::uint16_t ChannelStore::Stored(std::uint8_t channel) const {
    auto it = m_cells.find(channel);
    return it == m_cells.end() ? 0 : it->second.stored;
}

ChannelStore::Result ChannelStore::Limit(const Cell& cell, std::uint16_t& value) const {
    if (value >= cell.spec.min && value <= cell.spec.max) return Result::Ok;
    if (m_rule == OutOfLimit::Deny) return Result::Denied;
    value = value < cell.spec.min ? cell.spec.min : cell.spec.max;
    return Result::Clamped;
}

ChannelStore::Result ChannelStore::Test(std::uint8_t channel, std::uint16_t value) {
    if (channel == 0) return Result::Ok;
    auto it = m_cells.find(channel);
    if (it == m_cells.end()) return Result::Unknown;
    const Result r = Limit(it->second, value);
    if (r != Result::Denied) it->second.active = value;
    return r;
}

ChannelStore::Result ChannelStore::Store(std::uint8_t channel, std::uint16_t value) {
    if (channel == 0) {
        ResetAll();
        return Result::Ok;
    }
    auto it = m_cells.find(channel);
    if (it == m_cells.end()) return Result::Unknown;
    const Result r = Limit(it->second, value);
    if (r != Result::Denied) it->second.stored = it->second.active = value;
    return r;
}

void ChannelStore::ResetAll() {
    for (auto& [number, cell] : m_cells) cell.stored = cell.active = cell.spec.defaultValue;
}

void ChannelStore::BeginSession() {
    for (auto& [number, cell] : m_cells) cell.active = cell.stored;
}

}  // namespace ecusim
