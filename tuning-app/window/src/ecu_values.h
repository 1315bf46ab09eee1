#pragma once
// Channel numbers and values as the session takes them from the window: the signed
// channels travel with an offset of 128.
#include <cstdint>

#include "dravik/channel_table.h"

namespace dravik {

inline std::uint8_t ChannelByte(std::int16_t index) {
    return static_cast<std::uint8_t>(ChannelNumber(index));
}

inline std::int32_t ToEcu(std::int16_t index, std::int32_t value) {
    return IsSignedChannel(index) ? value + kSignedOffset : value;
}

inline std::int32_t FromEcu(std::int16_t index, std::int32_t value) {
    return IsSignedChannel(index) ? value - kSignedOffset : value;
}

}  // namespace dravik
