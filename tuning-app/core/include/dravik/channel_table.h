#pragma once
// The twelve adaptation channels the program edits: what is fixed per channel (name, ECU
// channel number, limits, default, text forms) and the per-channel state the main window
// keeps (the channel table and its reference values). Values are raw ECU units, held in
// 32 bits everywhere, without the +128 offset of the signed channels.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace dravik {

inline constexpr int kChannelCount = 12;
inline constexpr int kRowsPerPage = 6;

// Bit n set: ECU channel n carries its value with an offset of 128.
inline constexpr std::int32_t SignedChannelMask = 0x2C2;
inline constexpr std::int32_t kSignedOffset = 128;
// A tested value no read can produce (ECU words are 0 to 65535, less 128 when signed).
inline constexpr std::int32_t ValueUnknown = -65537;

inline constexpr char kUntestedMark[] = "*";
inline constexpr char kUnstoredMark[] = "**";
inline constexpr char kUntestedTooltip[] = "This value has not been tested.";
inline constexpr char kUnstoredTooltip[] =
    "Press set if you want the ECU to remember this value every time you start the car.";

struct ChannelRecord {
    std::int32_t Min = 0;
    std::int32_t Max = 0;
    std::int32_t Value = 0;
};

// The name of channel index 0-11; the empty text for any other index.
std::string ChannelName(std::int16_t index);
// The ECU adaptation channel number of index 0-11; -1 for any other index.
std::int16_t ChannelNumber(std::int16_t index);
// Whether the channel's value travels with the offset of 128 (false for a bad index).
bool IsSignedChannel(std::int16_t index);
std::int32_t ChannelDefaultMin(std::int16_t index);
std::int32_t ChannelDefaultMax(std::int16_t index);
std::int32_t ChannelDefault(std::int16_t index);

// The raw value a settings-file text stands for, before rounding, as its shortest text
// (at most 15 significant digits). "%" signs are dropped and the leading number is read
// with "." as the separator. A number beyond a double is an overflow error.
std::string ParseChannelValue(std::int16_t index, std::string_view text);

// The main window's channel members and the operations on them.
class ChannelState {
public:
    // Every channel at its default and in the stored state, as at program start.
    ChannelState();

    std::array<ChannelRecord, kChannelCount> ChannelTable{};
    std::array<std::int32_t, kChannelCount> StartupValues{};
    std::array<std::int32_t, kChannelCount> StartupValuesCopy{};
    std::array<std::int32_t, kChannelCount> TestedValues{};

    // Whether the session is up; empty while there is no session object yet.
    std::function<bool()> isConnected;
    // Receives the tooltip of the value label of a screen row (0-5) from the screen form.
    std::function<void(int row, const std::string& tooltip)> setValueTooltip;
    // The decimal separator of screen texts (the user's number settings); file texts always
    // use ".".
    char screenDecimalSeparator;

    // Min and Max of the record; Value to the default too while not connected. An index
    // outside 0-11 is a subscript error.
    void SetChannelLimits(std::int16_t index, std::int32_t min, std::int32_t max,
                          std::int32_t defaultValue);
    // SetChannelLimits for channels 0 to 11 with the table's limits and defaults.
    void InitChannelLimits();
    // StartupValues and StartupValuesCopy of the channel.
    void SetStartupValue(std::int16_t index, std::int32_t value);
    // Raises Max or lowers Min so that the record's range includes value.
    void WidenLimits(std::int16_t index, std::int32_t value);

    // The screen text (unit and mark; sets the row's tooltip) or the file text of a value.
    // An index outside 0-11 gives the plain integer.
    std::string FormatChannelValue(std::int16_t index, std::int32_t value, bool forFile);

private:
    bool Connected() const { return isConnected && isConnected(); }
};

// The decimal separator of the process's current number locale ("." when it has none).
char LocaleDecimalSeparator();

}  // namespace dravik
