// End to end: a server library registered as regsvr32 would, created by ProgID through
// the registration, used early-bound and late-bound, with events and error information.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "com/bstr.h"
#include "com/guid_text.h"
#include "com/typelib.h"
#include "greeter.h"
#include "recording_sink.h"
#include "registry/registry.h"

namespace fs = std::filesystem;

namespace {

using testing_support::RecordingSink;

std::string ServerPath() {
    char resolved[PATH_MAX];
    return realpath(COM_TEST_SERVER_PATH, resolved) ? resolved : COM_TEST_SERVER_PATH;
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/com-server-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        home_ = pattern;
        setenv("XDG_CONFIG_HOME", home_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(home_);
    }
    static std::string Read(const std::string& key, const std::string& name = "") {
        std::string value;
        if (!registry::ReadString(HKEY_CLASSES_ROOT, key, name, value)) return "<absent>";
        return value;
    }
    static IGreeter* CreateByProgId() {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(u"ComTest.Greeter", &clsid), S_OK);
        IGreeter* greeter = nullptr;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IGreeter,
                                   reinterpret_cast<void**>(&greeter)),
                  S_OK);
        return greeter;
    }
    static HRESULT CanUnloadNow() {
        void* library = dlopen(ServerPath().c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!library) return E_FAIL;
        auto canUnload = reinterpret_cast<PfnDllCanUnloadNow>(dlsym(library, "DllCanUnloadNow"));
        HRESULT hr = canUnload ? canUnload() : E_FAIL;
        dlclose(library);  // drops only the reference taken here
        return hr;
    }

    fs::path home_;
};

TEST_F(ServerTest, RegistrationWritesTheClassKeysAndRemovesThem) {
    ASSERT_EQ(RegisterServerLibrary(ServerPath().c_str()), S_OK);
    const std::string clsid = com::GuidToString(CLSID_Greeter);
    const std::string appId = com::GuidToString(APPID_Greeter);
    const std::string libId = com::GuidToString(LIBID_GreeterLib);
    EXPECT_EQ(clsid, "{6A3C1F20-52D4-4C1B-9E10-3B7F21448C01}");
    EXPECT_EQ(Read("ComTest.Greeter.1"), "Greeter Class");
    EXPECT_EQ(Read("ComTest.Greeter.1\\CLSID"), clsid);
    EXPECT_EQ(Read("ComTest.Greeter\\CLSID"), clsid);
    EXPECT_EQ(Read("ComTest.Greeter\\CurVer"), "ComTest.Greeter.1");
    EXPECT_EQ(Read("CLSID\\" + clsid), "Greeter Class");
    EXPECT_EQ(Read("CLSID\\" + clsid, "AppID"), appId);
    EXPECT_EQ(Read("CLSID\\" + clsid + "\\ProgID"), "ComTest.Greeter.1");
    EXPECT_EQ(Read("CLSID\\" + clsid + "\\VersionIndependentProgID"), "ComTest.Greeter");
    EXPECT_EQ(Read("CLSID\\" + clsid + "\\InprocServer32"), ServerPath());
    EXPECT_EQ(Read("CLSID\\" + clsid + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(Read("CLSID\\" + clsid + "\\TypeLib"), libId);
    EXPECT_EQ(Read("AppID\\" + appId), "ComTest");
    EXPECT_EQ(Read("AppID\\ComTest.DLL", "AppID"), appId);
    EXPECT_EQ(Read("TypeLib\\" + libId + "\\1.0"), "GreeterLib");
    HKEY programmable = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid + "\\Programmable").c_str(), 0,
                            KEY_READ, &programmable),
              ERROR_SUCCESS);
    RegCloseKey(programmable);

    ASSERT_EQ(UnregisterServerLibrary(ServerPath().c_str()), S_OK);
    for (const std::string& key :
         std::vector<std::string>{"ComTest.Greeter.1", "ComTest.Greeter", "CLSID\\" + clsid,
                                  "AppID\\" + appId, "AppID\\ComTest.DLL", "TypeLib\\" + libId}) {
        HKEY handle = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle),
                  ERROR_FILE_NOT_FOUND)
            << key;
    }
    CLSID found{};
    EXPECT_EQ(CLSIDFromProgID(u"ComTest.Greeter", &found), CO_E_CLASSSTRING);
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Greeter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
}

TEST_F(ServerTest, CreatedByProgIdAndCalledEarlyAndLateBound) {
    ASSERT_EQ(RegisterServerLibrary(ServerPath().c_str()), S_OK);
    IGreeter* greeter = CreateByProgId();
    ASSERT_NE(greeter, nullptr);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);  // an object is alive

    LONG sum = 0;
    EXPECT_EQ(greeter->Add(2, 40, &sum), S_OK);
    EXPECT_EQ(sum, 42);

    // Late-bound by dispid: arguments last first, numbers given as text.
    VARIANT args[2];
    VariantInit(&args[0]);
    args[0].vt = VT_BSTR;
    args[0].bstrVal = com::ToBstr("5");
    VariantInit(&args[1]);
    args[1].vt = VT_I2;
    args[1].iVal = 10;
    DISPPARAMS params{args, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(greeter->Invoke(DISPID_Greeter_Add, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                              &params, &result, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 15);
    VariantClear(&args[0]);

    // Late-bound by name.
    OLECHAR name[] = u"greet";
    LPOLESTR names[] = {name};
    DISPID greet = 0;
    ASSERT_EQ(greeter->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &greet), S_OK);
    EXPECT_EQ(greet, DISPID_Greeter_Greet);
    VARIANT who;
    VariantInit(&who);
    who.vt = VT_BSTR;
    who.bstrVal = com::ToBstr("K-line");
    DISPPARAMS one{&who, nullptr, 1, 0};
    ASSERT_EQ(greeter->Invoke(greet, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &one, &result,
                              nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(com::FromBstr(result.bstrVal), "Hello, K-line");
    VariantClear(&result);
    VariantClear(&who);

    EXPECT_EQ(greeter->Release(), 0u);
    EXPECT_EQ(CanUnloadNow(), S_OK);

    // A second creation reuses the loaded library.
    IGreeter* again = CreateByProgId();
    ASSERT_NE(again, nullptr);
    again->Release();
}

TEST_F(ServerTest, TwoSinksReceiveTheEvent) {
    ASSERT_EQ(RegisterServerLibrary(ServerPath().c_str()), S_OK);
    IGreeter* greeter = CreateByProgId();
    ASSERT_NE(greeter, nullptr);
    IConnectionPointContainer* container = nullptr;
    ASSERT_EQ(greeter->QueryInterface(IID_IConnectionPointContainer,
                                      reinterpret_cast<void**>(&container)),
              S_OK);
    IConnectionPoint* point = nullptr;
    ASSERT_EQ(container->FindConnectionPoint(DIID__IGreeterEvents, &point), S_OK);
    IConnectionPoint* none = nullptr;
    EXPECT_EQ(container->FindConnectionPoint(IID_IGreeter, &none), CONNECT_E_NOCONNECTION);

    RecordingSink first(DIID__IGreeterEvents), second;
    DWORD c1 = 0, c2 = 0;
    ASSERT_EQ(point->Advise(&first, &c1), S_OK);
    ASSERT_EQ(point->Advise(&second, &c2), S_OK);
    com::Bstr name("World");
    com::Bstr greeting;
    ASSERT_EQ(greeter->Greet(name.get(), greeting.out()), S_OK);
    EXPECT_EQ(greeting.str(), "Hello, World");
    ASSERT_EQ(first.calls.size(), 1u);
    EXPECT_EQ(first.calls[0], "1:Hello, World");
    EXPECT_EQ(second.calls, first.calls);

    EXPECT_EQ(point->Unadvise(c1), S_OK);
    ASSERT_EQ(greeter->Greet(name.get(), greeting.out()), S_OK);
    EXPECT_EQ(first.calls.size(), 1u);
    EXPECT_EQ(second.calls.size(), 2u);
    EXPECT_EQ(point->Unadvise(c2), S_OK);
    EXPECT_EQ(first.refs, 0);
    EXPECT_EQ(second.refs, 0);

    point->Release();
    container->Release();
    EXPECT_EQ(greeter->Release(), 0u);
}

TEST_F(ServerTest, RefusedCallLeavesErrorInformation) {
    ASSERT_EQ(RegisterServerLibrary(ServerPath().c_str()), S_OK);
    IGreeter* greeter = CreateByProgId();
    ASSERT_NE(greeter, nullptr);
    ISupportErrorInfo* support = nullptr;
    ASSERT_EQ(greeter->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)),
              S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IGreeter), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
    support->Release();

    com::Bstr greeting;
    EXPECT_EQ(greeter->Greet(nullptr, greeting.out()), DISP_E_EXCEPTION);
    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    com::Bstr description, source;
    info->GetDescription(description.out());
    info->GetSource(source.out());
    EXPECT_EQ(description.str(), "A name is needed");
    EXPECT_EQ(source.str(), "ComTest.Greeter.1");
    info->Release();

    // The same refusal through Invoke arrives in EXCEPINFO.
    VARIANT empty;
    VariantInit(&empty);
    empty.vt = VT_BSTR;
    empty.bstrVal = com::ToBstr("");
    DISPPARAMS one{&empty, nullptr, 1, 0};
    EXCEPINFO excep{};
    EXPECT_EQ(greeter->Invoke(DISPID_Greeter_Greet, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                              &one, nullptr, &excep, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(com::FromBstr(excep.bstrDescription), "A name is needed");
    EXPECT_EQ(com::FromBstr(excep.bstrSource), "ComTest.Greeter.1");
    com::ClearExcepInfo(&excep);
    VariantClear(&empty);
    greeter->Release();
}

TEST_F(ServerTest, ActivationFailuresAreReported) {
    IUnknown* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Greeter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"No.Such.Class", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(RegisterServerLibrary((home_ / "missing.so").c_str()), CO_E_DLLNOTFOUND);

    // A registration that points at a library that is not there.
    const std::string key = "CLSID\\" + com::GuidToString(CLSID_Greeter) + "\\InprocServer32";
    ASSERT_TRUE(registry::WriteString(HKEY_CLASSES_ROOT, key, "", (home_ / "gone.so").string()));
    EXPECT_EQ(CoCreateInstance(CLSID_Greeter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CO_E_DLLNOTFOUND);
    // A bare name would be searched for on the library path: refused.
    ASSERT_TRUE(registry::WriteString(HKEY_CLASSES_ROOT, key, "", "libcom.so"));
    EXPECT_EQ(CoCreateInstance(CLSID_Greeter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CO_E_DLLNOTFOUND);
    EXPECT_EQ(object, nullptr);

    ASSERT_EQ(RegisterServerLibrary(ServerPath().c_str()), S_OK);
    IGreeter* greeter = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Greeter, nullptr, CLSCTX_INPROC_SERVER, IID_IConnectionPoint,
                               reinterpret_cast<void**>(&greeter)),
              E_NOINTERFACE);
    EXPECT_EQ(CanUnloadNow(), S_OK);  // the refused object is gone again
    testing_support::RecordingSink outer;
    EXPECT_EQ(CoCreateInstance(CLSID_Greeter, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CLASS_E_NOAGGREGATION);
}

TEST(Guids, TextRoundTrip) {
    OLECHAR text[39];
    EXPECT_EQ(StringFromGUID2(IID_IDispatch, text, 39), 39);
    EXPECT_EQ(com::ToUtf8(text), "{00020400-0000-0000-C000-000000000046}");
    EXPECT_EQ(StringFromGUID2(IID_IDispatch, text, 38), 0);
    CLSID back{};
    EXPECT_EQ(CLSIDFromString(u"{b196b286-bab4-101a-b69c-00aa00341d07}", &back), S_OK);
    EXPECT_EQ(back, IID_IConnectionPoint);
    EXPECT_EQ(CLSIDFromString(u"{b196b286-bab4-101a-b69c-00aa00341d0}", &back), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString(u"{b196b286-bab4-101a-b69c-00aa00341d07}x", &back), CO_E_CLASSSTRING);
}

}  // namespace
