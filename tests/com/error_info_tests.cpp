#include <gtest/gtest.h>

#include <thread>

#include "com/bstr.h"
#include "com/com.h"

namespace {

IErrorInfo* MakeError(const char16_t* description) {
    ICreateErrorInfo* create = nullptr;
    EXPECT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(description));
    create->SetSource(const_cast<LPOLESTR>(u"Test.Source"));
    create->SetGUID(IID_IDispatch);
    IErrorInfo* info = nullptr;
    EXPECT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    create->Release();
    return info;
}

void SetAndRelease(IErrorInfo* info) {
    SetErrorInfo(0, info);
    info->Release();
}

std::string Description(IErrorInfo* info) {
    com::Bstr text;
    info->GetDescription(text.out());
    return text.str();
}

TEST(ErrorInfo, SetThenGetHandsOverAndClears) {
    IErrorInfo* info = MakeError(u"first");
    ASSERT_EQ(SetErrorInfo(0, info), S_OK);
    info->Release();  // the thread keeps its own reference

    IErrorInfo* got = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(Description(got), "first");
    com::Bstr source;
    got->GetSource(source.out());
    EXPECT_EQ(source.str(), "Test.Source");
    GUID guid{};
    got->GetGUID(&guid);
    EXPECT_EQ(guid, IID_IDispatch);
    got->Release();

    EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE);
    EXPECT_EQ(got, nullptr);

    // A newer error replaces an older one; nullptr clears.
    IErrorInfo* a = MakeError(u"a");
    IErrorInfo* b = MakeError(u"b");
    SetErrorInfo(0, a);
    SetErrorInfo(0, b);
    a->Release();
    b->Release();
    ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
    EXPECT_EQ(Description(got), "b");
    got->Release();
    SetAndRelease(MakeError(u"dropped"));
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE);
}

TEST(ErrorInfo, EachThreadHasItsOwn) {
    IErrorInfo* mine = MakeError(u"main thread");
    SetErrorInfo(0, mine);
    mine->Release();

    std::string seenThere;
    HRESULT thereBefore = S_OK;
    std::thread other([&] {
        IErrorInfo* got = nullptr;
        thereBefore = GetErrorInfo(0, &got);
        IErrorInfo* theirs = MakeError(u"other thread");
        SetErrorInfo(0, theirs);
        theirs->Release();
        GetErrorInfo(0, &got);
        seenThere = Description(got);
        got->Release();
        SetAndRelease(MakeError(u"left behind at exit"));  // released when the thread ends
    });
    other.join();
    EXPECT_EQ(thereBefore, S_FALSE);
    EXPECT_EQ(seenThere, "other thread");

    IErrorInfo* got = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &got), S_OK);
    EXPECT_EQ(Description(got), "main thread");
    got->Release();
}

}  // namespace
