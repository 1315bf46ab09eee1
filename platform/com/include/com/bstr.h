#pragma once
// Conversions between the system's narrow (UTF-8) strings and BSTRs, and an owner for a
// BSTR.
#include <string>
#include <string_view>
#include <utility>

#include "com/com.h"

namespace com {

// A new BSTR holding `text` (UTF-8; a byte that is not valid UTF-8 becomes U+FFFD).
// nullptr when memory runs out.
BSTR ToBstr(std::string_view text);
// The BSTR's text as UTF-8 (embedded zeros kept); nullptr gives "".
std::string FromBstr(BSTR text);

std::u16string ToUtf16(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

// Owns one BSTR and frees it.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::string_view text) : text_(ToBstr(text)) {}
    ~Bstr() { SysFreeString(text_); }
    Bstr(Bstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        std::swap(text_, other.text_);
        return *this;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR get() const { return text_; }
    BSTR* out() {
        SysFreeString(std::exchange(text_, nullptr));
        return &text_;
    }
    BSTR release() { return std::exchange(text_, nullptr); }
    std::string str() const { return FromBstr(text_); }

private:
    BSTR text_ = nullptr;
};

}  // namespace com
