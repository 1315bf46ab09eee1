#pragma once
// The ECU's adaptation memory: per channel a default, a stored (start-up) value that lasts
// across sessions, and an active value that a test changes until the next session.
// Channel 0 is the reset channel: it reads 0, a test of it changes nothing, and storing it
// puts every channel back to its default.
#include <cstdint>
#include <map>
#include <vector>

#include "ecusim/config.h"

namespace ecusim {

class ChannelStore {
public:
    enum class Result { Ok, Clamped, Denied, Unknown };

    ChannelStore(const std::vector<ChannelSpec>& channels, OutOfLimit rule);

    bool Has(std::uint8_t channel) const;
    // 0 for channel 0 and for unknown channels.
    std::uint16_t Active(std::uint8_t channel) const;
    std::uint16_t Stored(std::uint8_t channel) const;

    Result Test(std::uint8_t channel, std::uint16_t value);
    Result Store(std::uint8_t channel, std::uint16_t value);
    void ResetAll();
    // A new session: tested values are forgotten.
    void BeginSession();

private:
    struct Cell {
        ChannelSpec spec;
        std::uint16_t stored;
        std::uint16_t active;
    };
    Result Limit(const Cell& cell, std::uint16_t& value) const;

    std::map<std::uint8_t, Cell> m_cells;
    OutOfLimit m_rule;
};

}  // namespace ecusim
