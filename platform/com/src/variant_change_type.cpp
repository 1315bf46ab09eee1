#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "com/bstr.h"
#include "com/com.h"
#include "value_size.h"

namespace {

// A source value reduced to one of four exact number forms.
struct Number {
    enum Kind { Signed, Unsigned, Real, Currency } kind = Signed;
    std::int64_t i = 0;  // Signed; Currency: the count of ten-thousandths
    std::uint64_t u = 0;
    double d = 0;
    // A Real as rounded into an integer: with more precision than d where the source had it
    // (a text such as -9223372036854775809 is not -2^63).
    long double wide = 0;
    int digits = 15;  // significant digits when written as text
};

Number Signed(std::int64_t v) { return {Number::Signed, v, 0, 0, 0, 15}; }
Number Unsigned(std::uint64_t v) {
    if (v <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return Signed(static_cast<std::int64_t>(v));
    }
    return {Number::Unsigned, 0, v, 0, 0, 15};
}
Number Real(double v, int digits = 15) { return {Number::Real, 0, 0, v, v, digits}; }
Number Currency(std::int64_t tenThousandths) {
    return {Number::Currency, tenThousandths, 0, 0, 0, 15};
}

constexpr std::int64_t kCurrencyScale = 10000;

// A currency's value rounded to a whole number, half to even, without leaving integers.
std::int64_t RoundCurrency(std::int64_t tenThousandths) {
    std::int64_t whole = tenThousandths / kCurrencyScale;  // toward zero
    const std::int64_t rest = tenThousandths % kCurrencyScale;
    const std::int64_t half = kCurrencyScale / 2;
    const std::int64_t away = rest < 0 ? -rest : rest;
    if (away > half || (away == half && whole % 2 != 0)) whole += rest < 0 ? -1 : 1;
    return whole;
}

// "123.4567", "-0.5", "12": the currency's digits as they are, trailing zeros dropped.
std::string CurrencyText(std::int64_t tenThousandths) {
    const bool negative = tenThousandths < 0;
    // In unsigned arithmetic: the lowest value has no positive counterpart.
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(tenThousandths)
                                             : static_cast<std::uint64_t>(tenThousandths);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s%llu.%04llu", negative ? "-" : "",
                  static_cast<unsigned long long>(magnitude / kCurrencyScale),
                  static_cast<unsigned long long>(magnitude % kCurrencyScale));
    std::string text = buf;
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Text to number: decimal integers, "&H" hexadecimal, and decimal fractions with exponent.
HRESULT ParseNumber(BSTR text, Number& out) {
    std::string s = com::FromBstr(text);
    std::size_t b = 0, e = s.size();
    while (b < e && IsSpace(s[b])) ++b;
    while (e > b && IsSpace(s[e - 1])) --e;
    std::string_view t(s.data() + b, e - b);
    if (t.empty()) return DISP_E_TYPEMISMATCH;
    if (t.size() > 2 && t[0] == '&' && (t[1] == 'H' || t[1] == 'h')) {
        std::uint64_t v = 0;
        auto r = std::from_chars(t.data() + 2, t.data() + t.size(), v, 16);
        if (r.ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
        if (r.ec != std::errc() || r.ptr != t.data() + t.size()) return DISP_E_TYPEMISMATCH;
        out = Unsigned(v);
        return S_OK;
    }
    bool negative = false;
    std::string_view digits = t;
    if (digits[0] == '+' || digits[0] == '-') {
        negative = digits[0] == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits[0] == '+' || digits[0] == '-') return DISP_E_TYPEMISMATCH;
    std::uint64_t whole = 0;
    auto r = std::from_chars(digits.data(), digits.data() + digits.size(), whole, 10);
    if (r.ec == std::errc() && r.ptr == digits.data() + digits.size()) {
        if (!negative) {
            out = Unsigned(whole);
            return S_OK;
        }
        if (whole <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + 1) {
            out = Signed(static_cast<std::int64_t>(0 - whole));
            return S_OK;
        }
    }
    double d = 0;
    auto rd = std::from_chars(digits.data(), digits.data() + digits.size(), d);
    if (rd.ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
    if (rd.ec != std::errc() || rd.ptr != digits.data() + digits.size() || !std::isfinite(d)) {
        return DISP_E_TYPEMISMATCH;
    }
    out = Real(negative ? -d : d);
    long double wide = 0;
    auto rw = std::from_chars(digits.data(), digits.data() + digits.size(), wide);
    if (rw.ec == std::errc() && rw.ptr == digits.data() + digits.size()) {
        out.wide = negative ? -wide : wide;
    }
    return S_OK;
}

// Reads a numeric, Boolean, empty or text source as a number.
HRESULT ReadNumber(VARTYPE vt, const void* p, Number& out) {
    switch (vt) {
        case VT_EMPTY:
            out = Signed(0);
            return S_OK;
        case VT_I1:
            out = Signed(*static_cast<const signed char*>(p));
            return S_OK;
        case VT_UI1:
            out = Signed(*static_cast<const BYTE*>(p));
            return S_OK;
        case VT_I2:
        case VT_BOOL:
            out = Signed(*static_cast<const SHORT*>(p));
            return S_OK;
        case VT_UI2:
            out = Signed(*static_cast<const USHORT*>(p));
            return S_OK;
        case VT_I4:
        case VT_INT:
            out = Signed(*static_cast<const LONG*>(p));
            return S_OK;
        case VT_UI4:
        case VT_UINT:
            out = Signed(*static_cast<const ULONG*>(p));
            return S_OK;
        case VT_I8:
            out = Signed(*static_cast<const LONGLONG*>(p));
            return S_OK;
        case VT_UI8:
            out = Unsigned(*static_cast<const ULONGLONG*>(p));
            return S_OK;
        case VT_R4:
            out = Real(*static_cast<const float*>(p), 7);
            return S_OK;
        case VT_R8:
        case VT_DATE:
            out = Real(*static_cast<const double*>(p));
            return S_OK;
        case VT_CY:
            out = Currency(*static_cast<const LONGLONG*>(p));
            return S_OK;
        case VT_BSTR:
            return ParseNumber(*static_cast<const BSTR*>(p), out);
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

// Rounds half to even, as Automation does when a fraction goes into an integer.
long double RoundHalfEven(long double d) {
    long double r = std::round(d);
    if (std::fabs(d - std::trunc(d)) == 0.5L) r = 2.0L * std::round(d / 2.0L);
    return r;
}

HRESULT ToSigned(const Number& n, std::int64_t lo, std::int64_t hi, std::int64_t& out) {
    switch (n.kind) {
        case Number::Currency:
            return ToSigned(Signed(RoundCurrency(n.i)), lo, hi, out);
        case Number::Signed:
            if (n.i < lo || n.i > hi) return DISP_E_OVERFLOW;
            out = n.i;
            return S_OK;
        case Number::Unsigned:
            return DISP_E_OVERFLOW;  // always above INT64_MAX
        case Number::Real: {
            if (!std::isfinite(n.wide)) return DISP_E_OVERFLOW;
            const long double r = RoundHalfEven(n.wide);
            // Limits that are exact powers of two where needed.
            const long double dlo = static_cast<long double>(lo);
            const long double dhi = hi == std::numeric_limits<std::int64_t>::max()
                                        ? 9223372036854775808.0L
                                        : static_cast<long double>(hi) + 1;
            if (r < dlo || r >= dhi) return DISP_E_OVERFLOW;
            out = static_cast<std::int64_t>(r);
            return S_OK;
        }
    }
    return DISP_E_TYPEMISMATCH;
}

HRESULT ToUnsigned(const Number& n, std::uint64_t hi, std::uint64_t& out) {
    switch (n.kind) {
        case Number::Currency:
            return ToUnsigned(Signed(RoundCurrency(n.i)), hi, out);
        case Number::Signed:
            if (n.i < 0 || static_cast<std::uint64_t>(n.i) > hi) return DISP_E_OVERFLOW;
            out = static_cast<std::uint64_t>(n.i);
            return S_OK;
        case Number::Unsigned:
            if (n.u > hi) return DISP_E_OVERFLOW;
            out = n.u;
            return S_OK;
        case Number::Real: {
            if (!std::isfinite(n.wide)) return DISP_E_OVERFLOW;
            const long double r = RoundHalfEven(n.wide);
            const long double dhi = hi == std::numeric_limits<std::uint64_t>::max()
                                        ? 18446744073709551616.0L
                                        : static_cast<long double>(hi) + 1;
            if (r < 0 || r >= dhi) return DISP_E_OVERFLOW;
            out = static_cast<std::uint64_t>(r);
            return S_OK;
        }
    }
    return DISP_E_TYPEMISMATCH;
}

double AsDouble(const Number& n) {
    switch (n.kind) {
        case Number::Signed:
            return static_cast<double>(n.i);
        case Number::Unsigned:
            return static_cast<double>(n.u);
        case Number::Real:
            return n.d;
        case Number::Currency:
            return static_cast<double>(n.i) / kCurrencyScale;
    }
    return 0;
}

bool IsZero(const Number& n) {
    switch (n.kind) {
        case Number::Real:
            return n.d == 0;
        case Number::Unsigned:
            return n.u == 0;
        case Number::Signed:
        case Number::Currency:
            return n.i == 0;
    }
    return false;
}

std::string NumberText(const Number& n) {
    char buf[64];
    switch (n.kind) {
        case Number::Signed:
            std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(n.i));
            break;
        case Number::Unsigned:
            std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(n.u));
            break;
        case Number::Real:
            std::snprintf(buf, sizeof buf, "%.*G", n.digits, n.d);
            break;
        case Number::Currency:
            return CurrencyText(n.i);
    }
    return buf;
}

HRESULT NumberTo(const Number& n, VARTYPE vt, VARIANT& out) {
    std::int64_t s = 0;
    std::uint64_t u = 0;
    HRESULT hr = S_OK;
    out.vt = vt;
    switch (vt) {
        case VT_I1:
            if (SUCCEEDED(hr = ToSigned(n, -128, 127, s))) out.cVal = static_cast<CHAR>(s);
            break;
        case VT_UI1:
            if (SUCCEEDED(hr = ToUnsigned(n, 0xFF, u))) out.bVal = static_cast<BYTE>(u);
            break;
        case VT_I2:
            if (SUCCEEDED(hr = ToSigned(n, -32768, 32767, s))) out.iVal = static_cast<SHORT>(s);
            break;
        case VT_UI2:
            if (SUCCEEDED(hr = ToUnsigned(n, 0xFFFF, u))) out.uiVal = static_cast<USHORT>(u);
            break;
        case VT_I4:
        case VT_INT:
            if (SUCCEEDED(hr = ToSigned(n, std::numeric_limits<LONG>::min(),
                                        std::numeric_limits<LONG>::max(), s))) {
                out.lVal = static_cast<LONG>(s);
            }
            break;
        case VT_UI4:
        case VT_UINT:
            if (SUCCEEDED(hr = ToUnsigned(n, 0xFFFFFFFFu, u))) out.ulVal = static_cast<ULONG>(u);
            break;
        case VT_I8:
            hr = ToSigned(n, std::numeric_limits<std::int64_t>::min(),
                          std::numeric_limits<std::int64_t>::max(), s);
            if (SUCCEEDED(hr)) out.llVal = s;
            break;
        case VT_UI8:
            if (SUCCEEDED(hr = ToUnsigned(n, std::numeric_limits<std::uint64_t>::max(), u))) {
                out.ullVal = u;
            }
            break;
        case VT_R4: {
            double d = AsDouble(n);
            if (std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;
            out.fltVal = static_cast<float>(d);
            break;
        }
        case VT_R8:
        case VT_DATE:
            out.dblVal = AsDouble(n);
            break;
        case VT_CY: {  // a 64-bit count of ten-thousandths
            if (n.kind == Number::Signed) {
                if (__builtin_mul_overflow(n.i, std::int64_t{10000}, &s)) return DISP_E_OVERFLOW;
                out.llVal = s;
                break;
            }
            hr = ToSigned(Real(AsDouble(n) * 10000.0), std::numeric_limits<std::int64_t>::min(),
                          std::numeric_limits<std::int64_t>::max(), s);
            if (SUCCEEDED(hr)) out.llVal = s;
            break;
        }
        case VT_BOOL:
            out.boolVal = IsZero(n) ? VARIANT_FALSE : VARIANT_TRUE;
            break;
        default:
            return DISP_E_TYPEMISMATCH;
    }
    return hr;
}

bool EqualsIgnoringCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return i == a.size() && !b[i];
}

HRESULT Convert(const VARIANT* src, USHORT flags, VARTYPE vt, VARIANT& out) {
    VARTYPE from = src->vt;
    const void* p = &src->llVal;
    if (from & VT_BYREF) {
        if (!src->byref) return E_INVALIDARG;
        from &= static_cast<VARTYPE>(~VT_BYREF);
        if (from == VT_VARIANT) return Convert(src->pvarVal, flags, vt, out);
        if (from & VT_ARRAY) {
            if (vt != from) return DISP_E_TYPEMISMATCH;
            out.vt = vt;
            return SafeArrayCopy(*src->pparray, &out.parray);
        }
        p = src->byref;
    }
    if (from == vt) {
        if (!(src->vt & VT_BYREF)) return VariantCopy(&out, src);
        VARIANT value;  // the referenced value, borrowed
        VariantInit(&value);
        value.vt = from;
        std::size_t size = com::ScalarSize(from);
        if (size == 0) return DISP_E_BADVARTYPE;
        std::memcpy(&value.llVal, p, size);
        return VariantCopy(&out, &value);
    }
    if ((from & VT_ARRAY) || (vt & (VT_ARRAY | VT_BYREF))) return DISP_E_TYPEMISMATCH;
    if (from == VT_NULL || vt == VT_NULL || vt == VT_EMPTY || vt == VT_ERROR || from == VT_ERROR) {
        return DISP_E_TYPEMISMATCH;
    }
    if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        if (from != VT_UNKNOWN && from != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
        IUnknown* unknown = *static_cast<IUnknown* const*>(p);
        out.vt = vt;
        out.punkVal = nullptr;
        if (!unknown) return S_OK;
        if (vt == VT_UNKNOWN) {
            unknown->AddRef();
            out.punkVal = unknown;
            return S_OK;
        }
        void* dispatch = nullptr;
        if (FAILED(unknown->QueryInterface(IID_IDispatch, &dispatch))) return DISP_E_TYPEMISMATCH;
        out.pdispVal = static_cast<IDispatch*>(dispatch);
        return S_OK;
    }
    if (vt == VT_BSTR) {
        std::string text;
        if (from == VT_BOOL) {
            bool truth = *static_cast<const VARIANT_BOOL*>(p) != VARIANT_FALSE;
            if (flags & VARIANT_ALPHABOOL) {
                text = truth ? "True" : "False";
            } else {
                text = truth ? "-1" : "0";
            }
        } else if (from != VT_EMPTY) {
            Number n;
            HRESULT hr = ReadNumber(from, p, n);
            if (FAILED(hr)) return hr;
            text = NumberText(n);
        }
        out.vt = VT_BSTR;
        out.bstrVal = com::ToBstr(text);
        return out.bstrVal ? S_OK : E_OUTOFMEMORY;
    }
    if (vt == VT_BOOL && from == VT_BSTR) {
        std::string text = com::FromBstr(*static_cast<const BSTR*>(p));
        std::size_t b = text.find_first_not_of(" \t"), e = text.find_last_not_of(" \t");
        text = b == std::string::npos ? std::string() : text.substr(b, e - b + 1);
        if (EqualsIgnoringCase(text, "true") || EqualsIgnoringCase(text, "false")) {
            out.vt = VT_BOOL;
            out.boolVal = EqualsIgnoringCase(text, "true") ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        }
    }
    Number n;
    HRESULT hr = ReadNumber(from, p, n);
    if (FAILED(hr)) return hr;
    return NumberTo(n, vt, out);
}

}  // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt) {
    if (!dest || !src) return E_INVALIDARG;
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = Convert(src, flags, vt, result);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    hr = VariantClear(dest);  // after the conversion: dest may be src
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *dest = result;
    return S_OK;
}
