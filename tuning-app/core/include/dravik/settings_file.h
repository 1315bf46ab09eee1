#pragma once
// The settings file: the twelve channels' start-up values as text, "FFV1.0" and then one
// line per channel, every line ended by CR LF.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "dravik/channel_table.h"

namespace dravik {

inline constexpr char kSettingsFileHeader[] = "FFV1.0";
inline constexpr int kSettingsFileLines = 13;

// The file's bytes for the channels' start-up values (StartupValuesCopy).
std::string BuildSettingsFile(ChannelState& channels);

struct SettingsFileValues {
    // The value each line stands for, rounded (halves to even), not yet held to the limits.
    std::array<std::int32_t, kChannelCount> values{};
    // Empty when the whole text can be used; else what is wrong with it, as one sentence
    // without a closing full stop.
    std::string problem;
};

// Checks the whole text before any value is used: it needs 13 lines ended by CR LF (the
// first is not examined, lines after the 13th are ignored) and a value line must stand for
// a number within 32 bits.
SettingsFileValues ReadSettingsFile(std::string_view text);

}  // namespace dravik
