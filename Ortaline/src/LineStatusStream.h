#pragma once
// The receive stream of a port with line-status insertion on (escape byte 0xFF), taken
// apart into (byte, line status) pairs, and the ninth-bit trace of those pairs.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/byte_array.h"

namespace ortaline {

inline constexpr BYTE kLineStatusEscape = 0xFF;

// Appends one (byte, status) pair per received byte to pairs: status 0 for a plain byte,
// the reported line status for a byte that came with one. Line statuses without data and
// unknown escape values add no pair but a warning text each. An escape sequence cut off by
// the end of raw is kept as plain bytes, so that no received byte is lost.
void DecodeLineStatusStream(const BYTE* raw, std::size_t count, CByteArray& pairs,
                            std::vector<std::string>& warnings);

// The bytes still to come of an escape sequence cut off by the end of raw; 0 when raw ends
// on a whole one. A lone escape at the end counts 1: its kind byte tells the rest.
std::size_t MissingSequenceBytes(const BYTE* raw, std::size_t count);

// "%i%02x " per pair (ninth bit, byte); " => " before the pair at position requestSize - 1
// of the pair array, which with a request of n bytes and their n ninth bits stands after
// the n echoed bytes.
std::string FormatNinthBitTrace(const CByteArray& pairs, std::int32_t requestSize);

// A received byte's ninth bit, as its line status tells it.
bool NinthBitOf(BYTE lineStatus);

}  // namespace ortaline
