#include <gtest/gtest.h>

#include "dravik/automation.h"

namespace dravik {
namespace {

// Owns a VARIANT for the length of a test.
struct Variant {
    VARIANT v;
    Variant() { VariantInit(&v); }
    ~Variant() { VariantClear(&v); }
};

template <typename T>
void PutVector(Variant& out, VARTYPE type, std::vector<T> values, LONG lowerBound = 0) {
    SAFEARRAY* array = SafeArrayCreateVector(type, lowerBound, static_cast<ULONG>(values.size()));
    for (std::size_t k = 0; k < values.size(); ++k) {
        LONG index = lowerBound + static_cast<LONG>(k);
        SafeArrayPutElement(array, &index, &values[k]);
    }
    out.v.vt = static_cast<VARTYPE>(VT_ARRAY | type);
    out.v.parray = array;
}

TEST(ReplyFromVariant, TellsNotAnArrayFromAnEmptyArray) {
    Variant empty;
    EXPECT_FALSE(ReplyFromVariant(empty.v).IsArray());

    Variant scalar;
    scalar.v.vt = VT_I4;
    scalar.v.lVal = 5;
    EXPECT_FALSE(ReplyFromVariant(scalar.v).IsArray());

    Variant none;
    PutVector<LONG>(none, VT_I4, {});
    const Reply reply = ReplyFromVariant(none.v);
    EXPECT_TRUE(reply.IsArray());
    EXPECT_EQ(reply.Size(), 0u);
    EXPECT_THROW(reply.At(0), RunTimeError);
}

TEST(ReplyFromVariant, ReadsIntegerArraysOfEveryWidth) {
    Variant longs;
    PutVector<LONG>(longs, VT_I4, {0xE6, 12, 0x01, 0x2C});
    EXPECT_EQ(ReplyFromVariant(longs.v).Elements(), (std::vector<std::int32_t>{0xE6, 12, 1, 0x2C}));

    Variant bytes;
    PutVector<BYTE>(bytes, VT_UI1, {0xFF, 0});
    EXPECT_EQ(ReplyFromVariant(bytes.v).Elements(), (std::vector<std::int32_t>{255, 0}));

    Variant shorts;
    PutVector<SHORT>(shorts, VT_I2, {-1, 300}, 1);  // element order kept whatever the bound
    EXPECT_EQ(ReplyFromVariant(shorts.v).Elements(), (std::vector<std::int32_t>{-1, 300}));

    Variant variants;
    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
    a.vt = VT_I2;
    a.iVal = 7;
    b.vt = VT_UI1;
    b.bVal = 9;
    PutVector<VARIANT>(variants, VT_VARIANT, {a, b});
    EXPECT_EQ(ReplyFromVariant(variants.v).Elements(), (std::vector<std::int32_t>{7, 9}));
}

TEST(ReplyFromVariant, ArraysOfOtherKindsAreNotReplies) {
    Variant doubles;
    PutVector<double>(doubles, VT_R8, {1.0});
    EXPECT_FALSE(ReplyFromVariant(doubles.v).IsArray());

    Variant big;
    PutVector<ULONG>(big, VT_UI4, {0x80000000u});
    EXPECT_FALSE(ReplyFromVariant(big.v).IsArray());

    Variant matrix;
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    matrix.v.vt = VT_ARRAY | VT_I4;
    matrix.v.parray = SafeArrayCreate(VT_I4, 2, bounds);
    EXPECT_FALSE(ReplyFromVariant(matrix.v).IsArray());
}

TEST(BytesToVariant, MakesAZeroBasedByteVector) {
    Variant request;
    request.v = BytesToVariant({0x31, 0xB8, 0x01, 0x03});
    EXPECT_EQ(request.v.vt, VT_ARRAY | VT_UI1);
    LONG lower = -1;
    SafeArrayGetLBound(request.v.parray, 1, &lower);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(ReplyFromVariant(request.v).Elements(),
              (std::vector<std::int32_t>{0x31, 0xB8, 0x01, 0x03}));
}

TEST(AutomationError, CarriesTheResultCodeAndTheErrorInformation) {
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    std::u16string text = u"Port COM3 could not be opened \u00e9";
    create->SetDescription(text.data());
    IErrorInfo* info = nullptr;
    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
    SetErrorInfo(0, info);
    info->Release();
    create->Release();

    const RunTimeError e = AutomationError(E_ACCESSDENIED);
    EXPECT_EQ(e.Number(), E_ACCESSDENIED);
    EXPECT_EQ(e.Description(), "Port COM3 could not be opened \xc3\xa9");
    // The information was used up: the next failure without any reads generically.
    EXPECT_EQ(AutomationError(E_FAIL).Description(), "Automation error");
}

}  // namespace
}  // namespace dravik
