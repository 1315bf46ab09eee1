#pragma once
// The number conversions of the BASIC runtime the tuning program was first written in,
// which its arithmetic and texts rely on. Texts are locale-independent: the decimal
// separator is a parameter ('.' unless a caller asks otherwise).
#include <cstdint>
#include <string>
#include <string_view>

namespace dravik {

// A floating value stored into a 16- or 32-bit integer: rounded to the nearest integer,
// halves to the even one; a result outside the type's range (or NaN) is an overflow error.
std::int16_t ToInteger(double x);
std::int32_t ToLong(double x);

// Halves to even, without a range check (the step shared by ToInteger and ToLong).
double RoundHalfEven(double x);

// The largest integer not above x + 0.5: the program's half-up rounding.
double RoundHalfUp(double x);

// The leading number of a text. Blanks, tabs and line feeds are ignored wherever they
// stand; then an optional sign, digits, "." and more digits, an optional exponent (E or D);
// "&H" and "&O" read a hexadecimal or octal integer (16-bit when it fits, else 32-bit, two's
// complement). Reading stops at the first character that cannot continue the number; no
// number reads as 0. A number too large for a double (or a prefixed one beyond 32 bits) is
// an overflow error.
double LeadingNumber(std::string_view text);

// At least one integer digit and between minDecimals and maxDecimals decimals: the value
// rounded at maxDecimals with halves away from zero (judged on its 15-digit decimal form),
// trailing zeros dropped down to minDecimals. No grouping; "-" only when the result is not
// zero.
std::string FormatDecimals(double x, int minDecimals, int maxDecimals, char separator = '.');

// The pattern "##0.00": exactly two decimals.
inline std::string FormatFixed2(double x, char separator = '.') {
    return FormatDecimals(x, 2, 2, separator);
}
// The pattern "##########0.0##########": one to eleven decimals.
inline std::string FormatLong(double x, char separator = '.') {
    return FormatDecimals(x, 1, 11, separator);
}

// The shortest decimal text of at most 15 significant digits (254.99999999999997 gives
// "255"); the exponent form ("1E+15", "1.5E-05") from 1E+15 up and below 1E-04, as the
// runtime writes a double.
std::string FormatShortest(double x, char separator = '.');

}  // namespace dravik
