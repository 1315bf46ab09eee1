#include "RequestBytes.h"

#include <cstdio>
#include <cstring>

namespace ortaline {
namespace {

constexpr const char* kNotParsable =
    "Invalid message: Not in a parsable format. Must be Long, Short, or Byte, or array of Bytes";

RequestRefusal NotParsable() { return {kNotParsable, kNotParsable}; }

// Size of an integer element type the request may be made of; 0 for any other type.
ULONG IntegerElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
            return 4;
        default:
            return 0;
    }
}

std::optional<RequestRefusal> ReadArray(SAFEARRAY* array, VARTYPE elementType, CByteArray& bytes) {
    if (array == nullptr || SafeArrayGetDim(array) != 1) {
        const char* text = "Invalid number of dimensions. Must be 1";
        return RequestRefusal{text, text};
    }
    // Only elements of at most 32 bits are read, and only when the array agrees about
    // their size: nothing past an element's own bytes is ever touched.
    const ULONG size = IntegerElementSize(elementType);
    if (size == 0 || SafeArrayGetElemsize(array) != size) return NotParsable();

    LONG lower = 0;
    LONG upper = -1;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper))) {
        return NotParsable();
    }
    if (upper < lower) return std::nullopt;

    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) return NotParsable();
    struct Unaccess {
        SAFEARRAY* array;
        ~Unaccess() { SafeArrayUnaccessData(array); }
    } unaccess{array};
    const auto* raw = static_cast<const BYTE*>(data);
    std::optional<RequestRefusal> refusal;
    const std::int64_t count = static_cast<std::int64_t>(upper) - lower + 1;
    for (std::int64_t i = 0; i < count; ++i) {
        std::uint32_t value = 0;  // narrower elements are taken zero-extended
        std::memcpy(&value, raw + i * size, size);
        if (value > 0xFF) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "Message value out of range (0x%.2x) at array index (%i). Valid range "
                          "is (0x00) - (0xFF)",
                          value, static_cast<int>(lower + i));
            refusal = RequestRefusal{text, "Message value out of range."};
            break;
        }
        bytes.Add(static_cast<BYTE>(value));
    }
    return refusal;
}

}  // namespace

std::optional<RequestRefusal> ReadRequestBytes(const VARIANT& message, CByteArray& bytes) {
    if ((message.vt & VT_ARRAY) != 0) {
        if ((message.vt & VT_BYREF) != 0) return NotParsable();
        return ReadArray(message.parray, static_cast<VARTYPE>(message.vt & VT_TYPEMASK), bytes);
    }

    std::uint32_t value = 0;
    switch (message.vt) {
        case VT_I1:
            value = static_cast<std::uint32_t>(
                static_cast<std::int32_t>(static_cast<signed char>(message.cVal)));
            break;
        case VT_I2:
            value = static_cast<std::uint32_t>(static_cast<std::int32_t>(message.iVal));
            break;
        case VT_UI1:
            value = message.bVal;
            break;
        case VT_UI2:
            value = message.uiVal;
            break;
        case VT_I4:
            value = static_cast<std::uint32_t>(message.lVal);
            break;
        case VT_INT:
            value = static_cast<std::uint32_t>(message.intVal);
            break;
        case VT_UI4:
            value = message.ulVal;
            break;
        case VT_UINT:
            value = message.uintVal;
            break;
        default:
            return NotParsable();
    }
    if (value > 0xFF) {
        char text[128];
        std::snprintf(text, sizeof text,
                      "Message value out of range (0x%.2x). Valid range is (0x00) - (0xFF)", value);
        return RequestRefusal{text, "Message value out of range"};
    }
    bytes.Add(static_cast<BYTE>(value));
    return std::nullopt;
}

}  // namespace ortaline
