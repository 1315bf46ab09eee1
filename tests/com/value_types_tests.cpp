#include <gtest/gtest.h>

#include <cstring>

#include "com/bstr.h"
#include "com/com.h"
#include "counted_object.h"

namespace {

TEST(Bstr, LengthPrefixTerminatorAndEmbeddedZeros) {
    const OLECHAR text[] = {u'a', 0, u'b', u'c'};
    BSTR b = SysAllocStringLen(text, 4);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b), 4u);
    EXPECT_EQ(SysStringByteLen(b), 8u);
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<char*>(b) - 4, 4);
    EXPECT_EQ(prefix, 8u);
    EXPECT_EQ(b[1], 0);
    EXPECT_EQ(b[4], 0);  // terminated after the last character
    EXPECT_EQ(com::FromBstr(b), std::string("a\0bc", 4));
    SysFreeString(b);

    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(com::FromBstr(nullptr), "");
    BSTR empty = com::ToBstr("");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
    SysFreeString(nullptr);
}

TEST(Bstr, Utf8ConversionBothWays) {
    const std::string text = "K-line \xC3\xA9\xE2\x82\xAC \xF0\x9F\x9A\x97";  // é € and a car
    com::Bstr b(text);
    EXPECT_EQ(SysStringLen(b.get()), 12u);  // the car takes a surrogate pair
    EXPECT_EQ(b.get()[10], 0xD83D);
    EXPECT_EQ(b.str(), text);
    // Broken UTF-8 does not stop the conversion.
    EXPECT_EQ(com::FromBstr(com::Bstr("a\xFF"
                                      "b")
                                .get()),
              "a\xEF\xBF\xBD"
              "b");
    const char16_t lone[] = {u'x', 0xD800, u'y'};
    EXPECT_EQ(com::ToUtf8(std::u16string_view(lone, 3)), "x\xEF\xBF\xBDy");
}

TEST(Variant, CopyIsDeepAndClearFreesWhatItOwns) {
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = com::ToBstr("value");
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &text), S_OK);
    EXPECT_NE(copy.bstrVal, text.bstrVal);
    EXPECT_EQ(com::FromBstr(copy.bstrVal), "value");
    // Copying into a variant that holds something frees that first.
    ASSERT_EQ(VariantCopy(&copy, &text), S_OK);
    EXPECT_EQ(VariantClear(&text), S_OK);
    EXPECT_EQ(text.vt, VT_EMPTY);
    EXPECT_EQ(com::FromBstr(copy.bstrVal), "value");
    VariantClear(&copy);

    testing_support::CountedObject object;
    VARIANT unknown;
    VariantInit(&unknown);
    unknown.vt = VT_UNKNOWN;
    unknown.punkVal = &object;
    object.AddRef();
    VARIANT second;
    VariantInit(&second);
    VariantCopy(&second, &unknown);
    EXPECT_EQ(object.refs, 2);
    VariantClear(&unknown);
    VariantClear(&second);
    EXPECT_EQ(object.refs, 0);

    // A reference is not owned.
    LONG number = 5;
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_BYREF | VT_I4;
    byRef.plVal = &number;
    VARIANT refCopy;
    VariantInit(&refCopy);
    VariantCopy(&refCopy, &byRef);
    EXPECT_EQ(refCopy.plVal, &number);
    EXPECT_EQ(VariantClear(&byRef), S_OK);
    EXPECT_EQ(VariantClear(&refCopy), S_OK);

    VARIANT bad;
    VariantInit(&bad);
    bad.vt = 0x0FFF;
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
}

TEST(Variant, ArraysAreCopiedAndALockedArrayStays) {
    VARIANT a;
    VariantInit(&a);
    a.vt = VT_ARRAY | VT_I4;
    a.parray = SafeArrayCreateVector(VT_I4, 0, 3);
    LONG i = 2, v = 77;
    SafeArrayPutElement(a.parray, &i, &v);
    VARIANT b;
    VariantInit(&b);
    ASSERT_EQ(VariantCopy(&b, &a), S_OK);
    EXPECT_NE(b.parray, a.parray);
    LONG back = 0;
    SafeArrayGetElement(b.parray, &i, &back);
    EXPECT_EQ(back, 77);

    void* data = nullptr;
    SafeArrayAccessData(a.parray, &data);
    EXPECT_EQ(VariantClear(&a), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(a.vt, VT_ARRAY | VT_I4);  // nothing lost
    SafeArrayUnaccessData(a.parray);
    EXPECT_EQ(VariantClear(&a), S_OK);
    VariantClear(&b);
}

TEST(SafeArray, LowerBoundOneVector) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 1, 4);
    ASSERT_NE(array, nullptr);
    LONG lower = 0, upper = 0;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    EXPECT_EQ(lower, 1);
    EXPECT_EQ(upper, 4);
    for (LONG i = 1; i <= 4; ++i) {
        BYTE b = static_cast<BYTE>(i * 10);
        ASSERT_EQ(SafeArrayPutElement(array, &i, &b), S_OK);
    }
    BYTE b = 0;
    LONG outside[] = {0, 5};
    for (LONG index : outside) {
        EXPECT_EQ(SafeArrayGetElement(array, &index, &b), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayPutElement(array, &index, &b), DISP_E_BADINDEX);
    }
    BYTE* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)), S_OK);
    EXPECT_EQ(data[0], 10);
    EXPECT_EQ(data[3], 40);
    SafeArrayUnaccessData(array);
    EXPECT_EQ(SafeArrayGetLBound(array, 2, &lower), DISP_E_BADINDEX);
    SafeArrayDestroy(array);
}

TEST(SafeArray, TwoDimensionsKeepBoundsLikeWindows) {
    SAFEARRAYBOUND bounds[2] = {{3, 1}, {2, -1}};  // first dimension 1..3, second -1..0
    SAFEARRAY* array = SafeArrayCreate(VT_I2, 2, bounds);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(SafeArrayGetDim(array), 2u);
    // Stored last dimension first.
    const SAFEARRAYBOUND* stored = array->rgsabound;
    EXPECT_EQ(stored[0].cElements, 2u);
    EXPECT_EQ(stored[0].lLbound, -1);
    EXPECT_EQ(stored[1].cElements, 3u);
    EXPECT_EQ(stored[1].lLbound, 1);
    LONG lower = 0, upper = 0;
    SafeArrayGetLBound(array, 2, &lower);
    SafeArrayGetUBound(array, 2, &upper);
    EXPECT_EQ(lower, -1);
    EXPECT_EQ(upper, 0);

    for (LONG i = 1; i <= 3; ++i) {
        for (LONG j = -1; j <= 0; ++j) {
            LONG at[] = {i, j};
            SHORT value = static_cast<SHORT>(i * 10 + j);
            ASSERT_EQ(SafeArrayPutElement(array, at, &value), S_OK);
        }
    }
    // The first index varies fastest in memory.
    SHORT* data = static_cast<SHORT*>(array->pvData);
    EXPECT_EQ(data[0], 9);   // (1,-1)
    EXPECT_EQ(data[1], 19);  // (2,-1)
    EXPECT_EQ(data[3], 10);  // (1,0)
    LONG wrong[] = {1, 1};
    SHORT value = 0;
    EXPECT_EQ(SafeArrayGetElement(array, wrong, &value), DISP_E_BADINDEX);
    SafeArrayDestroy(array);
}

TEST(SafeArray, ElementSizesByType) {
    struct Case {
        VARTYPE vt;
        UINT size;
    };
    for (Case c :
         {Case{VT_I1, 1}, Case{VT_UI1, 1}, Case{VT_I2, 2}, Case{VT_BOOL, 2}, Case{VT_UI2, 2},
          Case{VT_I4, 4}, Case{VT_UINT, 4}, Case{VT_R4, 4}, Case{VT_ERROR, 4}, Case{VT_I8, 8},
          Case{VT_R8, 8}, Case{VT_DATE, 8}, Case{VT_CY, 8}, Case{VT_BSTR, sizeof(void*)},
          Case{VT_DISPATCH, sizeof(void*)}, Case{VT_VARIANT, sizeof(VARIANT)}}) {
        SAFEARRAY* array = SafeArrayCreateVector(c.vt, 0, 2);
        ASSERT_NE(array, nullptr) << c.vt;
        EXPECT_EQ(SafeArrayGetElemsize(array), c.size) << c.vt;
        VARTYPE vt = 0;
        SafeArrayGetVartype(array, &vt);
        EXPECT_EQ(vt, c.vt);
        SafeArrayDestroy(array);
    }
    EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
    SAFEARRAYBOUND huge[2] = {{0x80000000u, 0}, {0x80000000u, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 2, huge), nullptr);
}

TEST(SafeArray, LocksCountAndGuardDestroy) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 1);
    void* data = nullptr;
    SafeArrayAccessData(array, &data);
    SafeArrayLock(array);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    SafeArrayUnlock(array);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    SafeArrayUnaccessData(array);
    EXPECT_EQ(SafeArrayUnaccessData(array), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST(SafeArray, StringAndVariantElementsAreOwnedDeeply) {
    SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 2);
    com::Bstr hello("hello");
    LONG at = 0;
    ASSERT_EQ(SafeArrayPutElement(strings, &at, hello.get()), S_OK);
    ASSERT_EQ(SafeArrayPutElement(strings, &at, hello.get()), S_OK);  // replaces, frees old
    BSTR stored = static_cast<BSTR*>(strings->pvData)[0];
    EXPECT_NE(stored, hello.get());
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(strings, &at, &out), S_OK);
    EXPECT_NE(out, stored);
    EXPECT_EQ(com::FromBstr(out), "hello");
    SysFreeString(out);

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(strings, &copy), S_OK);
    EXPECT_NE(static_cast<BSTR*>(copy->pvData)[0], stored);
    EXPECT_EQ(com::FromBstr(static_cast<BSTR*>(copy->pvData)[0]), "hello");
    EXPECT_EQ(static_cast<BSTR*>(copy->pvData)[1], nullptr);
    SafeArrayDestroy(copy);
    SafeArrayDestroy(strings);

    testing_support::CountedObject object;
    SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UNKNOWN;
    v.punkVal = &object;
    ASSERT_EQ(SafeArrayPutElement(variants, &at, &v), S_OK);
    EXPECT_EQ(object.refs, 1);
    ASSERT_EQ(SafeArrayCopy(variants, &copy), S_OK);
    EXPECT_EQ(object.refs, 2);
    SafeArrayDestroy(copy);
    SafeArrayDestroy(variants);
    EXPECT_EQ(object.refs, 0);
}

}  // namespace
