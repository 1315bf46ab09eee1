#include "dravik/numerics.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <system_error>

#include "dravik/run_time_error.h"

namespace dravik {

double RoundHalfEven(double x) {
    if (!std::isfinite(x)) return x;
    const double below = std::floor(x);
    const double fraction = x - below;  // exact for every double below 2^52
    if (fraction > 0.5) return below + 1;
    if (fraction < 0.5) return below;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

std::int16_t ToInteger(double x) {
    const double r = RoundHalfEven(x);
    if (!(r >= -32768.0 && r <= 32767.0)) throw OverflowError();
    return static_cast<std::int16_t>(r);
}

std::int32_t ToLong(double x) {
    const double r = RoundHalfEven(x);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw OverflowError();
    return static_cast<std::int32_t>(r);
}

double RoundHalfUp(double x) { return std::floor(x + 0.5); }

namespace {

bool IsIgnoredBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int DigitValue(char c, int radix) {
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v >= 0 && v < radix ? v : -1;
}

// "&H..." or "&O...": the digits after the prefix, in 16 bits when they fit, else 32.
double PrefixedInteger(std::string_view digits, int radix) {
    std::uint64_t value = 0;
    for (char c : digits) {
        const int d = DigitValue(c, radix);
        if (d < 0) break;
        value = value * static_cast<unsigned>(radix) + static_cast<unsigned>(d);
        if (value > 0xFFFFFFFFu) throw OverflowError();
    }
    if (value <= 0xFFFF) return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace

double LeadingNumber(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (char c : text) {
        if (!IsIgnoredBlank(c)) s.push_back(c);
    }

    if (s.size() >= 2 && s[0] == '&') {
        if (s[1] == 'H' || s[1] == 'h') return PrefixedInteger(std::string_view(s).substr(2), 16);
        if (s[1] == 'O' || s[1] == 'o') return PrefixedInteger(std::string_view(s).substr(2), 8);
        return 0;
    }

    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    std::string integerDigits;
    std::string fractionDigits;
    while (i < s.size() && IsDigit(s[i])) integerDigits.push_back(s[i++]);
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i])) fractionDigits.push_back(s[i++]);
    }
    if (integerDigits.empty() && fractionDigits.empty()) return 0;

    long exponent = 0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        std::size_t j = i + 1;
        bool negativeExponent = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) negativeExponent = s[j++] == '-';
        if (j < s.size() && IsDigit(s[j])) {
            while (j < s.size() && IsDigit(s[j])) {
                // Far beyond any double either way; clamping keeps the arithmetic in range.
                if (exponent < 100000) exponent = exponent * 10 + (s[j] - '0');
                ++j;
            }
            if (negativeExponent) exponent = -exponent;
        }
    }

    std::string normalized = integerDigits.empty() ? "0" : integerDigits;
    if (!fractionDigits.empty()) normalized += "." + fractionDigits;
    normalized += "e" + std::to_string(exponent);

    double value = 0;
    const auto [end, ec] =
        std::from_chars(normalized.data(), normalized.data() + normalized.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: tell which from the decimal magnitude.
        const auto firstNonZero = integerDigits.find_first_not_of('0');
        long magnitude = 0;
        if (firstNonZero != std::string::npos) {
            magnitude = static_cast<long>(integerDigits.size() - firstNonZero);
        } else {
            const auto firstFraction = fractionDigits.find_first_not_of('0');
            if (firstFraction == std::string::npos) return 0;
            magnitude = -static_cast<long>(firstFraction);
        }
        if (magnitude + exponent > 0) throw OverflowError();
        value = 0;
    } else if (ec != std::errc()) {
        return 0;
    }
    return negative ? -value : value;
}

namespace {

// The value as 15 significant decimal digits and the position of the decimal point:
// value = 0.<digits> x 10^pointPosition.
struct DecimalDigits {
    std::string digits;
    int pointPosition = 0;
    bool negative = false;
};

DecimalDigits ToDecimalDigits(double x) {
    if (!std::isfinite(x)) throw OverflowError();
    DecimalDigits d;
    d.negative = std::signbit(x) && x != 0;
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(x),
                                         std::chars_format::scientific, 14);
    const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    // "d.dddddddddddddde+XX"
    const auto e = text.find('e');
    d.digits.push_back(text[0]);
    d.digits.append(text.substr(2, e - 2));
    d.pointPosition = std::atoi(std::string(text.substr(e + 1)).c_str()) + 1;
    if (x == 0) d.pointPosition = 1;
    return d;
}

}  // namespace

std::string FormatDecimals(double x, int minDecimals, int maxDecimals, char separator) {
    const DecimalDigits d = ToDecimalDigits(x);
    // The integer digits, and the decimals up to one beyond maxDecimals (the rounding digit).
    const int integerCount = std::max(d.pointPosition, 0);
    std::string integerPart;
    std::string fractionPart;
    for (int place = 0; place < integerCount; ++place) {
        integerPart.push_back(place < static_cast<int>(d.digits.size()) ? d.digits[place] : '0');
    }
    for (int k = 0; k <= maxDecimals; ++k) {
        const int index = d.pointPosition + k;  // index into digits of the (k+1)th decimal
        fractionPart.push_back(
            index >= 0 && index < static_cast<int>(d.digits.size()) ? d.digits[index] : '0');
    }
    const bool roundUp = fractionPart.back() >= '5';
    fractionPart.pop_back();
    if (integerPart.empty()) integerPart = "0";

    if (roundUp) {
        std::string all = integerPart + fractionPart;
        int k = static_cast<int>(all.size()) - 1;
        while (k >= 0 && all[k] == '9') all[k--] = '0';
        if (k >= 0) {
            ++all[k];
        } else {
            all.insert(all.begin(), '1');
        }
        integerPart = all.substr(0, all.size() - fractionPart.size());
        fractionPart = all.substr(all.size() - fractionPart.size());
    }

    while (static_cast<int>(fractionPart.size()) > minDecimals && fractionPart.back() == '0') {
        fractionPart.pop_back();
    }
    const auto firstNonZero = integerPart.find_first_not_of('0');
    integerPart = firstNonZero == std::string::npos ? "0" : integerPart.substr(firstNonZero);

    const bool isZero =
        integerPart == "0" && fractionPart.find_first_not_of('0') == std::string::npos;
    std::string text = d.negative && !isZero ? "-" : "";
    text += integerPart;
    if (!fractionPart.empty()) {
        text.push_back(separator);
        text += fractionPart;
    }
    return text;
}

std::string FormatShortest(double x, char separator) {
    if (x == 0) return "0";
    DecimalDigits d = ToDecimalDigits(x);
    while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
    const int exponent = d.pointPosition - 1;
    std::string text = d.negative ? "-" : "";
    if (exponent >= 15 || exponent < -4) {
        text.push_back(d.digits[0]);
        if (d.digits.size() > 1) {
            text.push_back(separator);
            text.append(d.digits, 1);
        }
        const int magnitude = std::abs(exponent);
        text += exponent < 0 ? "E-" : "E+";
        if (magnitude < 10) text.push_back('0');
        text += std::to_string(magnitude);
    } else if (d.pointPosition <= 0) {
        text += "0";
        text.push_back(separator);
        text.append(static_cast<std::size_t>(-d.pointPosition), '0');
        text += d.digits;
    } else if (d.pointPosition >= static_cast<int>(d.digits.size())) {
        text += d.digits;
        text.append(static_cast<std::size_t>(d.pointPosition) - d.digits.size(), '0');
    } else {
        text.append(d.digits, 0, static_cast<std::size_t>(d.pointPosition));
        text.push_back(separator);
        text.append(d.digits, static_cast<std::size_t>(d.pointPosition));
    }
    return text;
}

}  // namespace dravik
