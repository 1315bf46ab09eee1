#include "dravik/settings_file.h"

#include <cmath>
#include <vector>

#include "dravik/numerics.h"
#include "dravik/run_time_error.h"

namespace dravik {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
// The line end as the messages name it, with a no-break space: a message box that wraps a
// long message keeps "CR LF" on one line.
constexpr char kLineEndName[] = "CR\xC2\xA0LF";

// The lines ended by CR LF, in order; what follows the last CR LF is not a line.
std::vector<std::string_view> CompleteLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find(kLineEnd); end != std::string_view::npos;
         end = text.find(kLineEnd, start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + kLineEnd.size();
    }
    return lines;
}

bool HasBareLineFeed(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return true;
    }
    return false;
}

// A NUL or another control character than tab, CR and LF: no text at all, whatever its
// line ends look like.
bool HoldsBinaryData(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t' && c != '\r' && c != '\n') || byte == 0x7F) return true;
    }
    return false;
}

// The line's value as a 32-bit integer; false when it lies beyond 32 bits.
bool LineValue(std::int16_t index, std::string_view line, std::int32_t& value) {
    double raw = 0;
    try {
        raw = RoundHalfEven(LeadingNumber(ParseChannelValue(index, line)));
    } catch (const RunTimeError&) {
        return false;  // a number beyond a double, or a prefixed one beyond 32 bits
    }
    if (!(raw >= -2147483648.0 && raw <= 2147483647.0)) return false;
    value = static_cast<std::int32_t>(raw);
    return true;
}

}  // namespace

std::string BuildSettingsFile(ChannelState& channels) {
    std::string text = kSettingsFileHeader;
    text += kLineEnd;
    for (std::int16_t k = 0; k < kChannelCount; ++k) {
        text += channels.FormatChannelValue(k, channels.StartupValuesCopy[std::size_t(k)], true);
        text += kLineEnd;
    }
    return text;
}

SettingsFileValues ReadSettingsFile(std::string_view text) {
    SettingsFileValues result;
    std::vector<std::string_view> lines = CompleteLines(text);
    if (lines.size() > std::size_t{kSettingsFileLines}) lines.resize(kSettingsFileLines);
    std::size_t used = 0;
    for (std::string_view line : lines) used += line.size() + kLineEnd.size();
    // A lone line feed where the file's lines stand means another line structure, whatever
    // the line count says.
    const std::string_view usedText =
        lines.size() == std::size_t{kSettingsFileLines} ? text.substr(0, used) : text;
    const bool bareLineFeed = HasBareLineFeed(usedText);
    const bool tooFewLines = lines.size() < std::size_t{kSettingsFileLines};
    if ((bareLineFeed || tooFewLines) && HoldsBinaryData(usedText)) {
        result.problem = "It is not a text file; a settings file holds 13 lines of text";
        return result;
    }
    if (bareLineFeed) {
        result.problem =
            std::string(
                "Its lines end with a line feed alone; the lines of a settings file end with ") +
            kLineEndName;
        return result;
    }
    if (tooFewLines) {
        result.problem = "It has " + std::to_string(lines.size()) +
                         " complete lines; a settings file has 13 lines, each ended by " +
                         kLineEndName;
        return result;
    }
    for (std::int16_t k = 0; k < kChannelCount; ++k) {
        if (!LineValue(k, lines[std::size_t(k) + 1], result.values[std::size_t(k)])) {
            result.problem = "Line " + std::to_string(k + 2) + " (" + ChannelName(k) +
                             ") holds a number too large for a value";
            return result;
        }
    }
    return result;
}

}  // namespace dravik
