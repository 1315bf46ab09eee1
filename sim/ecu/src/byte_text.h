#pragma once
// Bytes as the simulator's log writes them: a prefix, then " %02X" per byte.
#include <cstdint>
#include <string>
#include <vector>

namespace ecusim {

std::string HexBytes(const char* prefix, const std::vector<std::uint8_t>& bytes);

}  // namespace ecusim
