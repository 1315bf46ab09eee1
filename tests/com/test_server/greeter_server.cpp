// The test server: one class with a dual interface, error information and one event.
#include <atomic>
#include <string>

#include "com/bstr.h"
#include "com/class_factory.h"
#include "com/connection_point.h"
#include "com/dispatch_thunk.h"
#include "com/registration.h"
#include "com/typelib.h"
#include "greeter.h"

namespace {

com::ModuleCount g_module;

constexpr com::ParamDesc kAddParams[] = {{"a", VT_I4, com::ParamIn},
                                         {"b", VT_I4, com::ParamIn},
                                         {"sum", VT_I4, com::ParamOut | com::ParamRetval}};
constexpr com::ParamDesc kGreetParams[] = {{"name", VT_BSTR, com::ParamIn},
                                           {"greeting", VT_BSTR, com::ParamOut | com::ParamRetval}};
constexpr com::MemberDesc kGreeterMembers[] = {
    {"Add", DISPID_Greeter_Add, com::MemberKind::Method, kAddParams, &com::Thunk<&IGreeter::Add>},
    {"Greet", DISPID_Greeter_Greet, com::MemberKind::Method, kGreetParams,
     &com::Thunk<&IGreeter::Greet>},
};
constexpr com::InterfaceDesc kIGreeter = {"IGreeter", &IID_IGreeter, true, kGreeterMembers};

const com::ServerRegistration kRegistration = {
    CLSID_Greeter, "ComTest.Greeter.1", "ComTest.Greeter", "Greeter Class", APPID_Greeter,
    "ComTest",     "ComTest.DLL",       LIBID_GreeterLib,  "GreeterLib"};

class Greeter final : public IGreeter, public ISupportErrorInfo, public IConnectionPointContainer {
public:
    Greeter() : point_(static_cast<IGreeter*>(this), this, DIID__IGreeterEvents) {
        g_module.Lock();
    }
    ~Greeter() { g_module.Unlock(); }

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IGreeter) {
            *object = static_cast<IGreeter*>(this);
        } else if (riid == IID_ISupportErrorInfo) {
            *object = static_cast<ISupportErrorInfo*>(this);
        } else if (riid == IID_IConnectionPointContainer) {
            *object = static_cast<IConnectionPointContainer*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return com::GetIDsOfNames(kIGreeter, names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* info, UINT* argErr) override {
        return com::DispatchInvoke(kIGreeter, static_cast<IGreeter*>(this), id, flags, params,
                                   result, info, argErr);
    }

    HRESULT Add(LONG a, LONG b, LONG* sum) override {
        if (!sum) return E_POINTER;
        *sum = a + b;
        return S_OK;
    }
    HRESULT Greet(BSTR name, BSTR* greeting) override {
        if (!greeting) return E_POINTER;
        if (SysStringLen(name) == 0) return Error("A name is needed");
        std::string text = "Hello, " + com::FromBstr(name);
        VARIANT arg;
        VariantInit(&arg);
        arg.vt = VT_BSTR;
        arg.bstrVal = com::ToBstr(text);
        point_.Fire(DISPID_GreeterEvents_Greeted, &arg, 1);
        VariantClear(&arg);
        *greeting = com::ToBstr(text);
        return S_OK;
    }

    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == IID_IGreeter ? S_OK : S_FALSE;
    }

    HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override {
        IConnectionPoint* mine = &point_;
        return com::CreateConnectionPointEnumerator(&mine, 1, points);
    }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
        if (!point) return E_POINTER;
        *point = nullptr;
        if (riid != DIID__IGreeterEvents) return CONNECT_E_NOCONNECTION;
        *point = &point_;
        point_.AddRef();
        return S_OK;
    }

private:
    static HRESULT Error(const char* text) {
        ICreateErrorInfo* create = nullptr;
        if (SUCCEEDED(CreateErrorInfo(&create))) {
            std::u16string description = com::ToUtf16(text);
            std::u16string source = u"ComTest.Greeter.1";
            create->SetGUID(IID_NULL);
            create->SetDescription(description.data());
            create->SetSource(source.data());
            IErrorInfo* info = nullptr;
            if (SUCCEEDED(
                    create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
                SetErrorInfo(0, info);
                info->Release();
            }
            create->Release();
        }
        return DISP_E_EXCEPTION;
    }

    std::atomic<ULONG> refs_{0};
    com::ConnectionPoint point_;
};

}  // namespace

extern "C" {

__attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid,
                                                                 void** object) {
    return com::GetClassObject<Greeter, IGreeter>(g_module, CLSID_Greeter, clsid, riid, object);
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() { return g_module.CanUnloadNow(); }

__attribute__((visibility("default"))) HRESULT DllRegisterServer() {
    std::string path = com::ModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
    if (path.empty()) return SELFREG_E_CLASS;
    return com::RegisterServer(kRegistration, path);
}

__attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
    return com::UnregisterServer(kRegistration);
}

// Lets the tests see that objects are counted.
__attribute__((visibility("default"))) long GreeterObjectCount() { return g_module.Count(); }
}
