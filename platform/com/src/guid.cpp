#include <cstring>

#include "com/com.h"

bool operator==(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

const IID IID_NULL = {0x00000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_ISupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_IErrorInfo = {
    0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_ICreateErrorInfo = {
    0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_IConnectionPointContainer = {
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IEnumConnectionPoints = {
    0xB196B285, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IConnectionPoint = {
    0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IEnumConnections = {
    0xB196B287, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

namespace {

constexpr int kGuidChars = 38;  // without the terminating zero

void PutHex(OLECHAR*& out, std::uint64_t value, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        *out++ = static_cast<OLECHAR>(kDigits[(value >> shift) & 0xF]);
    }
}

int HexValue(OLECHAR c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool ReadHex(const OLECHAR*& in, int digits, std::uint64_t& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        int d = HexValue(*in);
        if (d < 0) return false;
        value = value * 16 + static_cast<unsigned>(d);
        ++in;
    }
    return true;
}

}  // namespace

int StringFromGUID2(const GUID& guid, OLECHAR* text, int maxChars) {
    if (!text || maxChars < kGuidChars + 1) return 0;
    OLECHAR* out = text;
    *out++ = u'{';
    PutHex(out, guid.Data1, 8);
    *out++ = u'-';
    PutHex(out, guid.Data2, 4);
    *out++ = u'-';
    PutHex(out, guid.Data3, 4);
    *out++ = u'-';
    PutHex(out, guid.Data4[0], 2);
    PutHex(out, guid.Data4[1], 2);
    *out++ = u'-';
    for (int i = 2; i < 8; ++i) PutHex(out, guid.Data4[i], 2);
    *out++ = u'}';
    *out = 0;
    return kGuidChars + 1;
}

HRESULT CLSIDFromString(const OLECHAR* text, CLSID* clsid) {
    if (!clsid) return E_POINTER;
    if (!text) return CO_E_CLASSSTRING;
    if (*text != u'{') return CLSIDFromProgID(text, clsid);
    const OLECHAR* in = text + 1;
    GUID g{};
    std::uint64_t v = 0;
    bool ok = ReadHex(in, 8, v) && *in++ == u'-';
    g.Data1 = static_cast<std::uint32_t>(v);
    ok = ok && ReadHex(in, 4, v) && *in++ == u'-';
    g.Data2 = static_cast<std::uint16_t>(v);
    ok = ok && ReadHex(in, 4, v) && *in++ == u'-';
    g.Data3 = static_cast<std::uint16_t>(v);
    for (int i = 0; ok && i < 8; ++i) {
        if (i == 2) ok = *in++ == u'-';
        ok = ok && ReadHex(in, 2, v);
        g.Data4[i] = static_cast<std::uint8_t>(v);
    }
    ok = ok && *in++ == u'}' && *in == 0;
    if (!ok) return CO_E_CLASSSTRING;
    *clsid = g;
    return S_OK;
}
