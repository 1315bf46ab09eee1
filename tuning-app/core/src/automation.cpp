#include "dravik/automation.h"

#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

namespace dravik {

VARIANT BytesToVariant(const std::vector<std::uint8_t>& bytes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!array) throw OutOfMemoryError();
    if (!bytes.empty()) {
        void* data = nullptr;
        if (FAILED(SafeArrayAccessData(array, &data))) {
            SafeArrayDestroy(array);
            throw OutOfMemoryError();
        }
        std::memcpy(data, bytes.data(), bytes.size());
        SafeArrayUnaccessData(array);
    }
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = array;
    return v;
}

namespace {

bool ScalarToLong(const VARIANT& v, std::int32_t& out);

template <typename T>
bool ReadElement(SAFEARRAY* array, LONG index, std::int32_t& out) {
    T value{};
    if (FAILED(SafeArrayGetElement(array, &index, &value))) return false;
    if constexpr (std::is_same_v<T, VARIANT>) {
        const bool ok = ScalarToLong(value, out);
        VariantClear(&value);
        return ok;
    } else {
        if (!std::in_range<std::int32_t>(value)) return false;
        out = static_cast<std::int32_t>(value);
        return true;
    }
}

bool ScalarToLong(const VARIANT& v, std::int32_t& out) {
    switch (v.vt) {
        case VT_I4:
        case VT_INT:
            out = v.lVal;
            return true;
        case VT_I2:
            out = v.iVal;
            return true;
        case VT_UI1:
            out = v.bVal;
            return true;
        case VT_I1:
            out = static_cast<signed char>(v.cVal);
            return true;
        case VT_UI2:
            out = v.uiVal;
            return true;
        case VT_UI4:
        case VT_UINT:
            if (v.ulVal > static_cast<ULONG>(std::numeric_limits<std::int32_t>::max()))
                return false;
            out = static_cast<std::int32_t>(v.ulVal);
            return true;
        default:
            return false;
    }
}

}  // namespace

Reply ReplyFromVariant(const VARIANT& value) {
    if ((value.vt & VT_ARRAY) == 0 || (value.vt & VT_BYREF) != 0 || !value.parray) return Reply();
    SAFEARRAY* array = value.parray;
    if (SafeArrayGetDim(array) != 1) return Reply();
    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper))) {
        return Reply();
    }
    std::vector<std::int32_t> elements;
    if (upper >= lower) elements.resize(static_cast<std::size_t>(std::int64_t{upper} - lower + 1));
    const VARTYPE type = value.vt & VT_TYPEMASK;
    for (std::size_t k = 0; k < elements.size(); ++k) {
        const LONG index = static_cast<LONG>(lower + static_cast<std::int64_t>(k));
        bool ok = false;
        switch (type) {
            case VT_I4:
            case VT_INT:
                ok = ReadElement<LONG>(array, index, elements[k]);
                break;
            case VT_UI4:
            case VT_UINT:
                ok = ReadElement<ULONG>(array, index, elements[k]);
                break;
            case VT_I2:
                ok = ReadElement<SHORT>(array, index, elements[k]);
                break;
            case VT_UI2:
                ok = ReadElement<USHORT>(array, index, elements[k]);
                break;
            case VT_UI1:
                ok = ReadElement<BYTE>(array, index, elements[k]);
                break;
            case VT_I1:
                ok = ReadElement<signed char>(array, index, elements[k]);
                break;
            case VT_VARIANT:
                ok = ReadElement<VARIANT>(array, index, elements[k]);
                break;
            default:
                break;
        }
        if (!ok) return Reply();
    }
    return Reply(std::move(elements));
}

std::string Utf16ToUtf8(const char16_t* text, std::size_t length) {
    std::string out;
    for (std::size_t i = 0; i < length; ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

void ClearErrorInfo() { SetErrorInfo(0, nullptr); }

RunTimeError AutomationError(HRESULT hr) {
    std::string description;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        BSTR text = nullptr;
        if (SUCCEEDED(info->GetDescription(&text)) && text) {
            description = Utf16ToUtf8(text, SysStringLen(text));
        }
        SysFreeString(text);
        info->Release();
    }
    if (description.empty()) description = "Automation error";
    return RunTimeError(hr, description);
}

void CheckCall(HRESULT hr) {
    if (FAILED(hr)) throw AutomationError(hr);
}

}  // namespace dravik
