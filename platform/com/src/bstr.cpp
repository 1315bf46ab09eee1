#include "com/bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// The allocation: a 4-byte length in bytes, the characters, a terminating zero.
using Prefix = std::uint32_t;

Prefix* PrefixOf(BSTR text) { return reinterpret_cast<Prefix*>(text) - 1; }

BSTR AllocateBytes(const void* bytes, std::size_t byteCount) {
    if (byteCount > std::numeric_limits<Prefix>::max() - sizeof(OLECHAR) - sizeof(Prefix)) {
        return nullptr;
    }
    auto* block = static_cast<Prefix*>(std::malloc(sizeof(Prefix) + byteCount + sizeof(OLECHAR)));
    if (!block) return nullptr;
    *block = static_cast<Prefix>(byteCount);
    auto* data = reinterpret_cast<char*>(block + 1);
    if (bytes) {
        std::memcpy(data, bytes, byteCount);
    } else {
        std::memset(data, 0, byteCount);
    }
    std::memset(data + byteCount, 0, sizeof(OLECHAR));
    return reinterpret_cast<BSTR>(data);
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    std::size_t length = 0;
    while (text[length]) ++length;
    return AllocateBytes(text, length * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    return AllocateBytes(text, static_cast<std::size_t>(length) * sizeof(OLECHAR));
}

void SysFreeString(BSTR text) {
    if (text) std::free(PrefixOf(text));
}

UINT SysStringLen(BSTR text) { return text ? *PrefixOf(text) / sizeof(OLECHAR) : 0; }

UINT SysStringByteLen(BSTR text) { return text ? *PrefixOf(text) : 0; }

namespace com {

std::u16string ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        auto b = static_cast<unsigned char>(utf8[i]);
        char32_t cp = 0xFFFD;
        std::size_t need = 0;
        char32_t min = 0;
        if (b < 0x80) {
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            need = 1, cp = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            need = 2, cp = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            need = 3, cp = b & 0x07, min = 0x10000;
        }
        ++i;
        if (b >= 0x80) {
            if (need == 0 || i + need > utf8.size()) {
                cp = 0xFFFD;
            } else {
                bool ok = true;
                for (std::size_t k = 0; k < need; ++k) {
                    auto c = static_cast<unsigned char>(utf8[i + k]);
                    if ((c & 0xC0) != 0x80) ok = false;
                    cp = (cp << 6) | (c & 0x3F);
                }
                if (ok && cp >= min && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF)) {
                    i += need;
                } else {
                    cp = 0xFFFD;  // resynchronise at the next byte
                }
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // an unpaired surrogate
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

BSTR ToBstr(std::string_view text) {
    std::u16string wide = ToUtf16(text);
    if (wide.size() > std::numeric_limits<UINT>::max() / 2) return nullptr;
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::string FromBstr(BSTR text) { return ToUtf8(std::u16string_view(text, SysStringLen(text))); }

}  // namespace com
