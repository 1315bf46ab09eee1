#pragma once
// Narrow texts of the library (ANSI, one byte per character) handed to clients as UTF-16.
#include <string>

#include "com/com.h"

namespace ortaline {

std::u16string Widen(const std::string& text);
// nullptr when the string cannot be allocated.
BSTR AllocBstr(const std::string& text);
// Appends a byte as the traces list it: "(0x%.2X):".
void AppendListedByte(std::string& text, BYTE b);

}  // namespace ortaline
