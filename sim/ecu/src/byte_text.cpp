#include "byte_text.h"

#include <cstdio>

namespace ecusim {

std::string HexBytes(const char* prefix, const std::vector<std::uint8_t>& bytes) {
    std::string text = prefix;
    for (std::uint8_t b : bytes) {
        char part[8];
        std::snprintf(part, sizeof part, " %02X", b);
        text += part;
    }
    return text;
}

}  // namespace ecusim
