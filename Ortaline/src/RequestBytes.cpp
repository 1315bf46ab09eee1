#include "RequestBytes.h"

#include <cstdio>
#include <cstring>

namespace ortaline {
namespace {

constexpr const char* kNotParsable =
    "Invalid message: Not in a parsable format. Must be Long, Short, or Byte, or array of Bytes";

RequestRefusal NotParsable() { return {kNotParsable, kNotParsable}; }

// Bytes of one element that a request value may be read from: cells of 1, 2 or 4 bytes
// that hold the value itself. 0 for wider cells and for strings, interfaces and variants,
// whose cells hold pointers or structures: reading those as numbers would be meaningless.
ULONG ReadableElementSize(SAFEARRAY* array) {
    constexpr USHORT kIndirect = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT;
    if ((array->fFeatures & kIndirect) != 0) return 0;
    const ULONG size = SafeArrayGetElemsize(array);
    return size == 1 || size == 2 || size == 4 ? size : 0;
}

std::optional<RequestRefusal> ReadArray(SAFEARRAY* array, CByteArray& bytes) {
    if (array == nullptr || SafeArrayGetDim(array) != 1) {
        const char* text = "Invalid number of dimensions. Must be 1";
        return RequestRefusal{text, text};
    }
    // The count is the array's own: an upper bound in 32 bits wraps at the ends of the
    // index range (an empty array from -2147483648, bytes indexed past 2147483647).
    const std::int64_t lower = array->rgsabound[0].lLbound;
    const std::int64_t count = array->rgsabound[0].cElements;
    if (count == 0) return std::nullopt;

    // Whatever the element type, each value is read into a 32-bit integer starting at 0;
    // nothing past an element's own bytes is ever touched.
    const ULONG size = ReadableElementSize(array);
    if (size == 0) return NotParsable();

    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) return NotParsable();
    struct Unaccess {
        SAFEARRAY* array;
        ~Unaccess() { SafeArrayUnaccessData(array); }
    } unaccess{array};
    const auto* raw = static_cast<const BYTE*>(data);
    std::optional<RequestRefusal> refusal;
    for (std::int64_t i = 0; i < count; ++i) {
        std::uint32_t value = 0;  // narrower elements are taken zero-extended
        std::memcpy(&value, raw + i * size, size);
        if (value > 0xFF) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "Message value out of range (0x%.2x) at array index (%lld). Valid "
                          "range is (0x00) - (0xFF)",
                          value, static_cast<long long>(lower + i));
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
        return ReadArray(message.parray, bytes);
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
