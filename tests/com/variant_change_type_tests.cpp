#include <gtest/gtest.h>

#include <limits>
#include <utility>

#include "com/bstr.h"
#include "com/com.h"

namespace {

VARIANT I4(LONG v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_I4;
    x.lVal = v;
    return x;
}
VARIANT R8(double v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_R8;
    x.dblVal = v;
    return x;
}
VARIANT Text(const char* text) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_BSTR;
    x.bstrVal = com::ToBstr(text);
    return x;
}

HRESULT Change(VARIANT src, VARTYPE vt, VARIANT& out, USHORT flags = 0) {
    VariantInit(&out);
    HRESULT hr = VariantChangeType(&out, &src, flags, vt);
    VariantClear(&src);
    return hr;
}

TEST(VariantChangeType, IntegerRangesOverflow) {
    VARIANT out;
    EXPECT_EQ(Change(I4(255), VT_UI1, out), S_OK);
    EXPECT_EQ(out.bVal, 255);
    EXPECT_EQ(Change(I4(256), VT_UI1, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(I4(-1), VT_UI1, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(I4(-1), VT_UI4, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(I4(-32768), VT_I2, out), S_OK);
    EXPECT_EQ(out.iVal, -32768);
    EXPECT_EQ(Change(I4(40000), VT_I2, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(I4(-129), VT_I1, out), DISP_E_OVERFLOW);
    VARIANT big;
    VariantInit(&big);
    big.vt = VT_UI8;
    big.ullVal = 0xFFFFFFFFFFFFFFFFull;
    EXPECT_EQ(Change(big, VT_I8, out), DISP_E_OVERFLOW);
    big.vt = VT_UI4;
    big.ulVal = 0x80000000u;
    EXPECT_EQ(Change(big, VT_I4, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(big, VT_I8, out), S_OK);
    EXPECT_EQ(out.llVal, 0x80000000ll);
}

TEST(VariantChangeType, FractionsRoundHalfToEven) {
    VARIANT out;
    struct Case {
        double in;
        LONG expected;
    };
    for (Case c : {Case{2.5, 2}, Case{3.5, 4}, Case{-2.5, -2}, Case{-0.5, 0}, Case{1.4999, 1},
                   Case{2.6, 3}}) {
        ASSERT_EQ(Change(R8(c.in), VT_I4, out), S_OK) << c.in;
        EXPECT_EQ(out.lVal, c.expected) << c.in;
    }
    EXPECT_EQ(Change(R8(255.5), VT_UI1, out), DISP_E_OVERFLOW);  // rounds to 256
    EXPECT_EQ(Change(R8(2147483647.4), VT_I4, out), S_OK);
    EXPECT_EQ(Change(R8(2147483647.5), VT_I4, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(R8(9.3e18), VT_I8, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(R8(1e300), VT_R4, out), DISP_E_OVERFLOW);
}

// Currency is exact: its four decimals are never rounded through a double on their way to
// an integer or to text.
TEST(VariantChangeType, CurrencyKeepsItsDigits) {
    auto currency = [](LONGLONG tenThousandths) {
        VARIANT x;
        VariantInit(&x);
        x.vt = VT_CY;
        x.llVal = tenThousandths;
        return x;
    };
    VARIANT out;
    ASSERT_EQ(Change(currency(4160407674589854908LL), VT_UI8, out), S_OK);
    EXPECT_EQ(out.ullVal, 416040767458985ull);
    ASSERT_EQ(Change(currency(4160407674589854908LL), VT_I8, out), S_OK);
    EXPECT_EQ(out.llVal, 416040767458985ll);
    ASSERT_EQ(Change(currency(4160407674589854908LL), VT_BSTR, out), S_OK);
    EXPECT_EQ(com::FromBstr(out.bstrVal), "416040767458985.4908");
    VariantClear(&out);
    ASSERT_EQ(Change(currency(std::numeric_limits<LONGLONG>::min()), VT_BSTR, out), S_OK);
    EXPECT_EQ(com::FromBstr(out.bstrVal), "-922337203685477.5808");
    VariantClear(&out);
    ASSERT_EQ(Change(currency(-5000), VT_BSTR, out), S_OK);
    EXPECT_EQ(com::FromBstr(out.bstrVal), "-0.5");
    VariantClear(&out);
    ASSERT_EQ(Change(currency(120000), VT_BSTR, out), S_OK);
    EXPECT_EQ(com::FromBstr(out.bstrVal), "12");
    VariantClear(&out);
    // Halves to even; negative values never reach an unsigned type.
    for (auto [in, expected] :
         {std::pair{25000LL, 2}, {35000LL, 4}, {-25000LL, -2}, {-25001LL, -3}, {14999LL, 1}}) {
        ASSERT_EQ(Change(currency(in), VT_I4, out), S_OK) << in;
        EXPECT_EQ(out.lVal, expected) << in;
    }
    EXPECT_EQ(Change(currency(-10000), VT_UI8, out), DISP_E_OVERFLOW);
    ASSERT_EQ(Change(currency(-4000), VT_UI8, out), S_OK);  // rounds to 0
    EXPECT_EQ(out.ullVal, 0u);
    ASSERT_EQ(Change(currency(25000), VT_R8, out), S_OK);
    EXPECT_EQ(out.dblVal, 2.5);
}

// Texts at the ends of the 64-bit range, both sides alike.
TEST(VariantChangeType, TextsBeyondTheSixtyFourBitRangeOverflow) {
    VARIANT out;
    ASSERT_EQ(Change(Text("-9223372036854775808"), VT_I8, out), S_OK);
    EXPECT_EQ(out.llVal, std::numeric_limits<LONGLONG>::min());
    EXPECT_EQ(Change(Text("-9223372036854775809"), VT_I8, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(Text("-99999999999999999999"), VT_I8, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(Text("-9223372036854775809.0"), VT_I8, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(Text("9223372036854775808"), VT_I8, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(Text("18446744073709551616"), VT_UI8, out), DISP_E_OVERFLOW);
    ASSERT_EQ(Change(Text("-9223372036854775809"), VT_R8, out), S_OK);
    EXPECT_EQ(out.dblVal, -9223372036854775808.0);
}

TEST(VariantChangeType, TextAndNumbers) {
    VARIANT out;
    ASSERT_EQ(Change(Text(" 42 "), VT_I4, out), S_OK);
    EXPECT_EQ(out.lVal, 42);
    ASSERT_EQ(Change(Text("-7"), VT_I2, out), S_OK);
    EXPECT_EQ(out.iVal, -7);
    ASSERT_EQ(Change(Text("&H1F"), VT_I4, out), S_OK);
    EXPECT_EQ(out.lVal, 31);
    ASSERT_EQ(Change(Text("2.5"), VT_I4, out), S_OK);
    EXPECT_EQ(out.lVal, 2);
    EXPECT_EQ(Change(Text("300"), VT_UI1, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(Text("abc"), VT_I4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Change(Text(""), VT_I4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Change(Text("12abc"), VT_I4, out), DISP_E_TYPEMISMATCH);

    ASSERT_EQ(Change(I4(-1234), VT_BSTR, out), S_OK);
    EXPECT_EQ(com::FromBstr(out.bstrVal), "-1234");
    VariantClear(&out);
    ASSERT_EQ(Change(R8(0.1), VT_BSTR, out), S_OK);
    EXPECT_EQ(com::FromBstr(out.bstrVal), "0.1");
    VariantClear(&out);
}

TEST(VariantChangeType, Booleans) {
    VARIANT out;
    ASSERT_EQ(Change(I4(5), VT_BOOL, out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    ASSERT_EQ(Change(R8(0), VT_BOOL, out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);
    ASSERT_EQ(Change(Text("true"), VT_BOOL, out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    VARIANT truth;
    VariantInit(&truth);
    truth.vt = VT_BOOL;
    truth.boolVal = VARIANT_TRUE;
    ASSERT_EQ(Change(truth, VT_I4, out), S_OK);
    EXPECT_EQ(out.lVal, -1);
    ASSERT_EQ(Change(truth, VT_BSTR, out), S_OK);
    EXPECT_EQ(com::FromBstr(out.bstrVal), "-1");
    VariantClear(&out);
    ASSERT_EQ(Change(truth, VT_BSTR, out, VARIANT_ALPHABOOL), S_OK);
    EXPECT_EQ(com::FromBstr(out.bstrVal), "True");
    VariantClear(&out);
}

TEST(VariantChangeType, InPlaceByReferenceAndRefusals) {
    VARIANT v = Text("17");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);  // frees the text
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 17);
    VARIANT kept = Text("x");
    EXPECT_EQ(VariantChangeType(&kept, &kept, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(kept.vt, VT_BSTR);  // untouched on failure
    VariantClear(&kept);

    BYTE b = 200;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_UI1;
    ref.pbVal = &b;
    VARIANT out;
    VariantInit(&out);
    ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 200);
    ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_UI1), S_OK);
    EXPECT_EQ(out.vt, VT_UI1);

    VARIANT null;
    VariantInit(&null);
    null.vt = VT_NULL;
    EXPECT_EQ(VariantChangeType(&out, &null, 0, VT_I4), DISP_E_TYPEMISMATCH);
    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_I4;
    array.parray = SafeArrayCreateVector(VT_I4, 0, 1);
    EXPECT_EQ(VariantChangeType(&out, &array, 0, VT_I4), DISP_E_TYPEMISMATCH);
    VariantClear(&array);
    VARIANT empty;
    VariantInit(&empty);
    ASSERT_EQ(VariantChangeType(&out, &empty, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 0);
}

}  // namespace
