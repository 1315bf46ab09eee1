#include "dravik/channel_table.h"

#include <clocale>
#include <string>

#include "dravik/numerics.h"
#include "dravik/run_time_error.h"

namespace dravik {

namespace {

struct ChannelDefinition {
    const char* name;
    std::int16_t ecuChannel;
    std::int32_t min;
    std::int32_t max;
    std::int32_t defaultValue;
};

constexpr std::array<ChannelDefinition, kChannelCount> kChannels = {{
    {"Boost", 12, 128, 333, 255},
    {"Lambda Regulation", 6, -10, 10, 0},
    {"Idle Torque Offset", 14, 0, 31, 0},
    {"Timing", 9, -7, 16, 0},
    {"Speed Limiter", 7, -128, 127, 0},
    {"Idle Speed", 1, -20, 80, 0},
    {"Main Fuel Scale", 8, 64, 192, 128},
    {"Fuel Load Increase", 2, 64, 192, 128},
    {"Start Fuel Enrichment", 4, 64, 192, 128},
    {"Primary Fuel Adjustment", 10, 64, 192, 128},
    {"Fuel Load Decrease", 3, 64, 192, 128},
    {"Warmup Fuel Enrichment", 5, 64, 192, 128},
}};

// How a channel's value is written and read back.
enum class Form { BoostPercent, Plain, IdleTorque, Timing, SpeedLimiter, IdleSpeed, FuelPercent };

constexpr std::array<Form, kChannelCount> kForms = {
    Form::BoostPercent, Form::Plain,       Form::IdleTorque,  Form::Timing,
    Form::SpeedLimiter, Form::IdleSpeed,   Form::FuelPercent, Form::FuelPercent,
    Form::FuelPercent,  Form::FuelPercent, Form::FuelPercent, Form::FuelPercent,
};

bool ValidIndex(std::int16_t index) { return index >= 0 && index < kChannelCount; }

const ChannelDefinition& Definition(std::int16_t index) {
    if (!ValidIndex(index)) throw SubscriptError();
    return kChannels[static_cast<std::size_t>(index)];
}

std::string Decimals(double x, bool forFile, char screenSeparator) {
    return forFile ? FormatLong(x) : FormatFixed2(x, screenSeparator);
}

std::string SignedInteger(std::int64_t v) { return (v >= 0 ? "+" : "") + std::to_string(v); }

}  // namespace

std::string ChannelName(std::int16_t index) {
    return ValidIndex(index) ? kChannels[static_cast<std::size_t>(index)].name : "";
}

std::int16_t ChannelNumber(std::int16_t index) {
    return ValidIndex(index) ? kChannels[static_cast<std::size_t>(index)].ecuChannel : -1;
}

bool IsSignedChannel(std::int16_t index) {
    const std::int16_t channel = ChannelNumber(index);
    return channel >= 0 && channel < 31 && ((std::int32_t{1} << channel) & SignedChannelMask) != 0;
}

std::int32_t ChannelDefaultMin(std::int16_t index) { return Definition(index).min; }
std::int32_t ChannelDefaultMax(std::int16_t index) { return Definition(index).max; }
std::int32_t ChannelDefault(std::int16_t index) { return Definition(index).defaultValue; }

std::string ParseChannelValue(std::int16_t index, std::string_view text) {
    std::string withoutPercent;
    for (char c : text) {
        if (c != '%') withoutPercent.push_back(c);
    }
    const double n = LeadingNumber(withoutPercent);
    double raw = n;
    if (ValidIndex(index)) {
        switch (kForms[static_cast<std::size_t>(index)]) {
            case Form::BoostPercent:
                raw = n * 256 / 100;
                break;
            case Form::IdleTorque:
                raw = n * 10.24;
                break;
            case Form::Timing:
                raw = n * 4 / 3;
                break;
            case Form::IdleSpeed:
                raw = n / 10;
                break;
            case Form::FuelPercent:
                raw = n * 128 / 100;
                break;
            case Form::Plain:
            case Form::SpeedLimiter:
                break;
        }
    }
    return FormatShortest(raw);
}

char LocaleDecimalSeparator() {
    const std::lconv* conventions = std::localeconv();
    if (conventions && conventions->decimal_point && conventions->decimal_point[0] != '\0' &&
        conventions->decimal_point[1] == '\0') {
        return conventions->decimal_point[0];
    }
    return '.';
}

ChannelState::ChannelState() : screenDecimalSeparator(LocaleDecimalSeparator()) {
    InitChannelLimits();
    for (std::size_t i = 0; i < kChannelCount; ++i) {
        StartupValues[i] = StartupValuesCopy[i] = TestedValues[i] = kChannels[i].defaultValue;
    }
}

void ChannelState::SetChannelLimits(std::int16_t index, std::int32_t min, std::int32_t max,
                                    std::int32_t defaultValue) {
    if (!ValidIndex(index)) throw SubscriptError();
    ChannelRecord& record = ChannelTable[static_cast<std::size_t>(index)];
    record.Min = min;
    record.Max = max;
    if (!Connected()) record.Value = defaultValue;
}

void ChannelState::InitChannelLimits() {
    for (std::int16_t i = 0; i < kChannelCount; ++i) {
        const ChannelDefinition& d = kChannels[static_cast<std::size_t>(i)];
        SetChannelLimits(i, d.min, d.max, d.defaultValue);
    }
}

void ChannelState::SetStartupValue(std::int16_t index, std::int32_t value) {
    if (!ValidIndex(index)) throw SubscriptError();
    StartupValues[static_cast<std::size_t>(index)] = value;
    StartupValuesCopy[static_cast<std::size_t>(index)] = value;
}

void ChannelState::WidenLimits(std::int16_t index, std::int32_t value) {
    if (!ValidIndex(index)) throw SubscriptError();
    ChannelRecord& record = ChannelTable[static_cast<std::size_t>(index)];
    if (value > record.Max) record.Max = value;
    if (value < record.Min) record.Min = value;
}

std::string ChannelState::FormatChannelValue(std::int16_t index, std::int32_t value, bool forFile) {
    if (!ValidIndex(index)) return std::to_string(value);
    const std::size_t i = static_cast<std::size_t>(index);
    const char separator = forFile ? '.' : screenDecimalSeparator;
    const double v = value;
    std::string text;
    std::string unit;
    switch (kForms[i]) {
        case Form::BoostPercent:
            text = Decimals(v / 256 * 100, forFile, separator) + "%";
            break;
        case Form::FuelPercent:
            text = Decimals(v / 128 * 100, forFile, separator) + "%";
            break;
        case Form::IdleTorque:
            text = Decimals(v / 10.24, forFile, separator);
            break;
        case Form::Plain:
            text = std::to_string(value);
            break;
        case Form::Timing:
            text = FormatShortest(static_cast<double>(std::int64_t{value} * 3) / 4, separator);
            unit = " deg";
            break;
        case Form::SpeedLimiter:
            text = SignedInteger(value);
            unit = " kph";
            break;
        case Form::IdleSpeed:
            text = SignedInteger(std::int64_t{value} * 10);
            unit = " rpm";
            break;
    }
    if (forFile) return text;

    text += unit;
    std::string tooltip;
    if (value != TestedValues[i]) {
        text += kUntestedMark;
        tooltip = kUntestedTooltip;
    } else if (value != StartupValues[i]) {
        text += kUnstoredMark;
        tooltip = kUnstoredTooltip;
    }
    if (setValueTooltip) setValueTooltip(index % kRowsPerPage, tooltip);
    return text;
}

}  // namespace dravik
