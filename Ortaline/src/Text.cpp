#include "Text.h"

#include <cstdio>

namespace ortaline {

std::u16string Widen(const std::string& text) {
    std::u16string wide;
    wide.reserve(text.size());
    for (char c : text) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return wide;
}

BSTR AllocBstr(const std::string& text) {
    try {
        const std::u16string wide = Widen(text);
        return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    } catch (...) {
        return nullptr;
    }
}

void AppendListedByte(std::string& text, BYTE b) {
    char item[16];
    std::snprintf(item, sizeof item, "(0x%.2X):", b);
    text += item;
}

}  // namespace ortaline
